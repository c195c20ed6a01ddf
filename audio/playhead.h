// playhead.h -- what the sound card plays of the track: paused and moved without a click, and which track frame each device frame held
#pragma once
#include <atomic>
#include <cstdint>

// From deviceFrame on, the device plays the track from trackFrame on (playing), or holds it
// there in silence (paused). generation numbers the moves the program asked for.
struct PlayheadJump {
    int64_t deviceFrame = 0;
    int64_t trackFrame = 0;
    bool playing = false;
    uint32_t generation = 0;
};

// Copies the track's interleaved frames first..first+count-1 into out, silence outside it.
using TrackReader = void (*)(int64_t first, int64_t count, float* out);

// The sound card's thread fills its buffers through mix(); the program's thread moves the
// playhead and asks what is audible. The two meet only under a short spin lock.
//
// A move is made silently: what plays fades out over fadeFrames, the jump is made, and a
// playing track fades in over fadeFrames, so neither a seek nor a pause clicks. Each jump is
// noted with the device frame it starts at; the frames the device has already queued still
// hold the old position, so the audible track frame is looked up by device frame, and until
// the device is heard to have reached the newest move, the track is audible where that move
// goes: the picture waits for the sound rather than showing the old place again.
struct Playhead {
    static constexpr int jumpsKept = 64;

    int channels = 0;
    int fadeFrames = 0;

    // The program's side.
    PlayheadJump wanted;  // the newest move asked for (under lock)

    // The sound card's side.
    int64_t position = 0;  // track frame of the next frame mixed
    bool playing = false;
    uint32_t generation = 0;
    int fade = 0;  // the gain in fadeFrames steps: 0 silent, fadeFrames full
    int64_t mixed = 0;  // device frames mixed so far

    // The viewer's mute: the program's wish, and the sound card's gain on top of the mix, which
    // follows it over fadeFrames so that muting clicks no more than a jump does.
    std::atomic<bool> muted{false};
    int volume = 0;  // in fadeFrames steps, as fade

    // The jumps as the device made them, the oldest overwritten first (under lock).
    PlayheadJump jumps[jumpsKept];
    int64_t jumpCount = 0;
    std::atomic_flag lock = ATOMIC_FLAG_INIT;

    // Playing from trackFrame at full gain from the device's first frame; no device is mixing yet.
    void begin(int channels, int rate, int64_t trackFrame);
    // From now on: the track from trackFrame, playing or held silent.
    void move(int64_t trackFrame, bool playing);
    // frames device frames, interleaved, read from the track through read.
    void mix(float* out, int64_t frames, TrackReader read);
    // The mute's gain on frames mixed already.
    void applyMute(float* out, int64_t frames);
    // The track frame audible at deviceFrame; heard is false while the newest move is not yet.
    int64_t trackFrameAt(int64_t deviceFrame, bool* heard = nullptr);
};
