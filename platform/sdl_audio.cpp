// sdl_audio.cpp -- the sound card for the player: SDL2 audio playing what the track's mixer hands it
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/player.h"

namespace {

// Frames per callback, which is also what the device still holds when a callback returns:
// about 23 ms at 44100 Hz.
constexpr Uint16 bufferFrames = 1024;

// Shared between the player's thread and SDL's audio thread. The count of frames handed
// over and the time of the last callback change together under the spin lock, so a reader
// never pairs a new count with an old time. What the frames hold is the mixer's business.
struct SdlAudioState {
    SDL_AudioDeviceID device = 0;
    bool subsystemUp = false;
    int rate = 0;
    int channels = 0;
    int64_t deviceBuffer = 0;  // frames the device queues after a callback
    int64_t nextFrame = 0;  // audio thread only
    SDL_SpinLock lock = 0;
    int64_t handed = 0;      // under lock
    Uint64 lastCallback = 0;  // performance counter, under lock
    std::atomic<bool> started{false};
};
SdlAudioState sdl;

// After the end, and while paused, the mixer hands over silence and the device keeps
// running, so its position keeps moving.
void SDLCALL fill(void*, Uint8* stream, int len) {
    const int frameBytes = static_cast<int>(sizeof(float)) * sdl.channels;
    const int64_t frames = frameBytes > 0 ? len / frameBytes : 0;
    mixTrack(reinterpret_cast<float*>(stream), frames);
    std::memset(stream + frames * frameBytes, 0, static_cast<size_t>(len - frames * frameBytes));
    sdl.nextFrame += frames;

    const Uint64 now = SDL_GetPerformanceCounter();
    SDL_AtomicLock(&sdl.lock);
    sdl.handed = sdl.nextFrame;
    sdl.lastCallback = now;
    SDL_AtomicUnlock(&sdl.lock);
}

bool sdlVersionMatches() {
    SDL_version linked;
    SDL_GetVersion(&linked);
    return linked.major == SDL_MAJOR_VERSION;
}

void sdlStop() {
    if (sdl.device != 0) SDL_CloseAudioDevice(sdl.device);  // waits for a running callback
    if (sdl.subsystemUp) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdl.device = 0;
    sdl.subsystemUp = false;
    sdl.rate = 0;
    sdl.channels = 0;
    sdl.nextFrame = 0;
    sdl.handed = 0;
    sdl.lastCallback = 0;
    sdl.started = false;
}

// A device opens paused, and a paused device plays silence, so init() opens it and start()
// lets it play. (Closing a device waits for its thread's next wake-up, some 50 ms, so it is
// not opened twice.)
SDL_AudioDeviceID openDevice(int rate, int channels, int64_t* queued) {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = rate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = bufferFrames;
    want.callback = fill;
    SDL_AudioSpec have;
    SDL_zero(have);
    // No changes allowed: SDL converts to whatever the hardware takes, and the callback
    // always sees the track's own layout.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (queued) *queued = have.samples > 0 ? have.samples : bufferFrames;
    return id;
}

bool sdlInit(int rate, int channels) {
    sdlStop();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    sdl.subsystemUp = true;
    sdl.device = openDevice(rate, channels, &sdl.deviceBuffer);
    if (sdl.device == 0) {
        sdlStop();
        return false;
    }
    sdl.rate = rate;
    sdl.channels = channels;
    return true;
}

bool sdlStart() {
    if (!sdl.subsystemUp || sdl.rate <= 0 || sdl.device == 0) return false;
    // Paused since init(): no callback has run, so the counts start from nothing.
    sdl.nextFrame = 0;
    sdl.handed = 0;
    sdl.lastCallback = 0;
    SDL_PauseAudioDevice(sdl.device, 0);
    if (SDL_GetAudioDeviceStatus(sdl.device) != SDL_AUDIO_PLAYING) return false;
    sdl.started = true;
    return true;
}

int64_t sdlAudibleFrame() {
    if (!sdl.started) return 0;
    SDL_AtomicLock(&sdl.lock);
    const int64_t handed = sdl.handed;
    const Uint64 last = sdl.lastCallback;
    SDL_AtomicUnlock(&sdl.lock);
    const Uint64 now = SDL_GetPerformanceCounter();
    const double since =
        now > last ? static_cast<double>(now - last) / static_cast<double>(SDL_GetPerformanceFrequency()) : 0.0;
    return deviceAudibleFrame(handed, sdl.deviceBuffer, since, sdl.rate);
}

}  // namespace

AudioDevice platformAudioDevice() {
    AudioDevice device;
    device.versionMatches = sdlVersionMatches;
    device.init = sdlInit;
    device.start = sdlStart;
    device.audibleFrame = sdlAudibleFrame;
    device.stop = sdlStop;
    device.fedByMixer = true;
    return device;
}
