// playhead.cpp -- the sound card's mix of the track with fades around every jump, and the map from device frames to track frames
#include "audio/playhead.h"

#include <algorithm>
#include <cstring>

namespace {

// Held for a handful of instructions on either thread, so spinning costs less than a mutex
// that could put the sound card's thread to sleep.
struct SpinLocked {
    std::atomic_flag& flag;
    explicit SpinLocked(std::atomic_flag& f) : flag(f) {
        while (flag.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinLocked() { flag.clear(std::memory_order_release); }
};

// A fade of 5 ms: long enough that the jump has no edge to hear, short enough not to smear it.
constexpr int fadesPerSecond = 200;

}  // namespace

void Playhead::begin(int channelCount, int rate, int64_t trackFrame) {
    SpinLocked held(lock);
    channels = channelCount;
    fadeFrames = std::max(1, rate / fadesPerSecond);
    position = trackFrame;
    playing = true;
    generation = 0;
    fade = fadeFrames;
    volume = muted.load(std::memory_order_relaxed) ? 0 : fadeFrames;
    mixed = 0;
    wanted = PlayheadJump{0, trackFrame, true, 0};
    jumps[0] = wanted;
    jumpCount = 1;
}

void Playhead::move(int64_t trackFrame, bool play) {
    SpinLocked held(lock);
    wanted.trackFrame = trackFrame;
    wanted.playing = play;
    ++wanted.generation;
}

void Playhead::mix(float* out, int64_t frames, TrackReader read) {
    PlayheadJump want;
    {
        SpinLocked held(lock);
        want = wanted;
    }
    int64_t done = 0;
    while (done < frames) {
        float* to = out + done * channels;
        const bool moving = want.generation != generation;
        if (moving && (!playing || fade == 0)) {
            // Silent now, so the jump is made here.
            position = want.trackFrame;
            playing = want.playing;
            generation = want.generation;
            fade = 0;
            SpinLocked held(lock);
            jumps[jumpCount % jumpsKept] = PlayheadJump{mixed + done, position, playing, generation};
            ++jumpCount;
            continue;
        }
        if (!playing) {
            std::memset(to, 0, static_cast<size_t>((frames - done) * channels) * sizeof(float));
            break;
        }
        // Up to the end of a fade, or the whole rest at full gain.
        int64_t count = frames - done;
        if (moving) count = std::min<int64_t>(count, fade);
        else if (fade < fadeFrames) count = std::min<int64_t>(count, fadeFrames - fade);
        read(position, count, to);
        if (moving || fade < fadeFrames) {
            for (int64_t f = 0; f < count; ++f) {
                fade += moving ? -1 : 1;
                const float gain = static_cast<float>(fade) / static_cast<float>(fadeFrames);
                for (int c = 0; c < channels; ++c) to[f * channels + c] *= gain;
            }
        }
        position += count;
        done += count;
    }
    applyMute(out, frames);
    mixed += frames;
}

void Playhead::applyMute(float* out, int64_t frames) {
    const int target = muted.load(std::memory_order_relaxed) ? 0 : fadeFrames;
    if (volume == fadeFrames && target == fadeFrames) return;
    for (int64_t f = 0; f < frames; ++f) {
        if (volume != target) volume += volume < target ? 1 : -1;
        const float gain = static_cast<float>(volume) / static_cast<float>(fadeFrames);
        for (int c = 0; c < channels; ++c) out[f * channels + c] *= gain;
    }
}

int64_t Playhead::trackFrameAt(int64_t deviceFrame, bool* heard) {
    PlayheadJump want;
    PlayheadJump at;
    bool any = false;
    bool made = false;
    {
        SpinLocked held(lock);
        want = wanted;
        made = jumpCount > 0;
        const int64_t oldest = std::max<int64_t>(0, jumpCount - jumpsKept);
        for (int64_t i = jumpCount - 1; i >= oldest && !any; --i) {
            at = jumps[i % jumpsKept];
            any = at.deviceFrame <= deviceFrame;
        }
    }
    // Older than every jump kept (only after dozens of moves within the device's latency):
    // the oldest one kept is the best guess.
    const bool reached = made && at.generation == want.generation;
    if (heard) *heard = reached;
    if (!reached) return want.trackFrame;
    if (!at.playing || deviceFrame <= at.deviceFrame) return at.trackFrame;
    return at.trackFrame + (deviceFrame - at.deviceFrame);
}
