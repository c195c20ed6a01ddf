// music.h -- the demo's one track: decoding, playing, and the loudness the scenes read
#pragma once
#include <cstdint>

// The sound output, supplied by the platform layer. The default device plays nothing
// and hears the track at elapsedMs, the virtual clock of offline rendering.
struct AudioDevice {
    // False when the audio library found at run time is not the one we were built for.
    bool (*versionMatches)() = nullptr;
    // Opens the output for this rate and channel count; false when no device opens.
    bool (*init)(int rate, int channels) = nullptr;
    // Plays the interleaved float frames from their start; false when playback cannot start.
    bool (*start)(const float* frames, int64_t frameCount) = nullptr;
    // Index of the frame audible now (may run past the end of the track).
    int64_t (*audibleFrame)() = nullptr;
    // Stops playback and closes the output.
    void (*stop)() = nullptr;
};

// The offline device: always present, silent, audible frame = elapsedMs at the track's rate.
AudioDevice clockAudioDevice();
extern AudioDevice audioDevice;

// The frame a real device is playing now: framesHanded were given to it in callbacks,
// bufferFrames of them are still queued when a callback returns, and the queue has drained
// for secondsSinceCallback since. The guess never runs past what was handed over (a stalled
// device stays put) and is 0 before the first callback.
int64_t deviceAudibleFrame(int64_t framesHanded, int64_t bufferFrames, double secondsSinceCallback,
                           int rate);
// The frame heard at ms on the virtual clock: floor(ms x rate / 1000), negative before the start.
int64_t clockAudibleFrame(int32_t ms, int rate);

// Limits on what open() accepts: longer tracks are cut, other formats refused.
constexpr int64_t maxTrackSeconds = 600;
constexpr int64_t maxTrackSamples = int64_t(1) << 26;  // 256 MiB of floats, all channels
constexpr int maxTrackChannels = 8;
constexpr int minTrackRate = 8000;
constexpr int maxTrackRate = 192000;

constexpr int spectrumBins = 512;
constexpr int fftSize = 1024;

struct Music {
    uint32_t stream = 0;                 // non-zero once the track is open
    float spectrum[spectrumBins] = {};   // magnitudes of the newest reading

    // Set by tests and by a fixed --level: every reading returns what it returns.
    double (*levelSource)() = nullptr;

    bool open();   // "Bass version error", "Bass init error" or "Music opening error" on failure
    bool play();   // "Music play error" on failure; the demo then runs on in silence
    void stop();
    // Sum of the 512 FFT magnitudes of the 1024 newest audible mono samples; a new
    // spectrum on every call. 0 before any sound and after the end of the track.
    long double level();

    // The decoded track, for the tools and tests; empty until open() and after stop().
    int64_t frameCount() const;
    int rate() const;
    int channels() const;
    const float* samples() const;  // interleaved, channels per frame
};

extern Music music;
extern const char* musicPath;  // "data/talumen.ogg"
