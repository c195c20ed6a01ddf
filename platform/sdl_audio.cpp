// sdl_audio.cpp -- the sound card for the player: SDL2 audio playing the decoded track
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/platform.h"

namespace {

// Frames per callback, which is also what the device still holds when a callback returns:
// about 23 ms at 44100 Hz.
constexpr Uint16 bufferFrames = 1024;

// Shared between the player's thread and SDL's audio thread. The track and its length are
// written only while the device is paused or locked; the position and the time of the last
// callback change together under the spin lock, so a reader never pairs a new count with
// an old time.
struct SdlAudioState {
    SDL_AudioDeviceID device = 0;
    bool subsystemUp = false;
    int rate = 0;
    int channels = 0;
    int64_t deviceBuffer = 0;  // frames the device queues after a callback
    const float* track = nullptr;
    int64_t trackFrames = 0;
    int64_t nextFrame = 0;  // audio thread only
    SDL_SpinLock lock = 0;
    int64_t handed = 0;      // under lock
    Uint64 lastCallback = 0;  // performance counter, under lock
    std::atomic<bool> started{false};
};
SdlAudioState sdl;

void SDLCALL fill(void*, Uint8* stream, int len) {
    const int frameBytes = static_cast<int>(sizeof(float)) * sdl.channels;
    const int64_t frames = frameBytes > 0 ? len / frameBytes : 0;
    float* out = reinterpret_cast<float*>(stream);
    int64_t fromTrack = 0;
    if (sdl.track && sdl.nextFrame < sdl.trackFrames) {
        fromTrack = sdl.trackFrames - sdl.nextFrame;
        if (fromTrack > frames) fromTrack = frames;
        std::memcpy(out, sdl.track + sdl.nextFrame * sdl.channels, static_cast<size_t>(fromTrack * frameBytes));
    }
    // After the end the device keeps running on silence, so the position keeps moving.
    std::memset(stream + fromTrack * frameBytes, 0, static_cast<size_t>(len - fromTrack * frameBytes));
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
    sdl.track = nullptr;
    sdl.trackFrames = 0;
    sdl.nextFrame = 0;
    sdl.handed = 0;
    sdl.lastCallback = 0;
    sdl.started = false;
}

bool sdlInit(int rate, int channels) {
    if (sdl.device != 0) sdlStop();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    sdl.subsystemUp = true;
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
    sdl.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (sdl.device == 0) {
        sdlStop();
        return false;
    }
    sdl.rate = rate;
    sdl.channels = channels;
    sdl.deviceBuffer = have.samples > 0 ? have.samples : bufferFrames;
    return true;
}

bool sdlStart(const float* frames, int64_t frameCount) {
    if (sdl.device == 0) return false;
    SDL_LockAudioDevice(sdl.device);
    sdl.track = frames;
    sdl.trackFrames = frames ? frameCount : 0;
    sdl.nextFrame = 0;
    SDL_AtomicLock(&sdl.lock);
    sdl.handed = 0;
    sdl.lastCallback = 0;
    SDL_AtomicUnlock(&sdl.lock);
    SDL_UnlockAudioDevice(sdl.device);
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
    return device;
}
