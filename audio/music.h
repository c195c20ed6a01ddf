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
};

extern Music music;
extern const char* musicPath;  // "data/talumen.ogg"
