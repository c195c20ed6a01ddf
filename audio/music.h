// music.h -- the demo's one track: decoding, playing, and the loudness the scenes read
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/track.h"

// The sound output, supplied by the platform layer. The default device plays nothing
// and hears the track at elapsedMs, the virtual clock of offline rendering.
struct AudioDevice {
    // False when the audio library found at run time is not the one we were built for.
    bool (*versionMatches)() = nullptr;
    // Opens the output for this rate and channel count; false when no device opens.
    bool (*init)(int rate, int channels) = nullptr;
    // Plays the track from its start; false when playback cannot start. A device fed by the
    // mixer takes its sound from mixTrack(); any other reads it with copyTrackFrames().
    bool (*start)() = nullptr;
    // Index of the frame audible now (may run past the end of the track): a frame of the
    // device's own output when it is fed by the mixer, else a frame of the track.
    int64_t (*audibleFrame)() = nullptr;
    // Stops playback and closes the output.
    void (*stop)() = nullptr;
    // True for a device that fills its buffers with mixTrack(): it follows Music::moveTo
    // through the mixer, pausing and jumping without a click.
    bool fedByMixer = false;
    // For a device that plays the track by itself: from now on its sound is the track from ms
    // on, playing or held silent, and its audible frame follows. Music::moveTo calls it.
    void (*moveTo)(int32_t ms, bool playing) = nullptr;
    // For a device that plays the track by itself: silences it or gives it back, the position
    // going on either way. Music::setMuted calls it.
    void (*setMuted)(bool muted) = nullptr;
    // Its audible frame never stands still while the track plays: where its sound is held back
    // or stalls, the device carries the position on by a clock of its own, so the player's
    // counter need not take over.
    bool keepsTime = false;
};

// The next frames frames of what a device fed by the mixer plays, interleaved in the track's
// layout: the track where Music::moveTo put it, faded around every move, silence while held
// or past the end. Called on the device's own thread.
void mixTrack(float* out, int64_t frames);

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

// One frame's readings, kept so that the frame can be drawn again exactly.
struct ReadingTape {
    std::vector<long double> readings;
    size_t next = 0;  // the next one handed out again
    bool replaying = false;
};

struct Music {
    uint32_t stream = 0;                 // non-zero once the track is open
    // Magnitudes of the newest reading measured here from the samples; a reading of the
    // clock's frames that the track's thread measured (track.h) leaves it as it was.
    float spectrum[spectrumBins] = {};

    // Set by tests and by a fixed --level: every reading returns what it returns.
    double (*levelSource)() = nullptr;
    // True while frames run on the virtual clock (catch-ups, a seek's first frame): readings
    // hear the track at elapsedMs, as offline rendering does, whatever the device plays.
    bool virtualClock = false;
    // While set, every reading is recorded on it, or, while it replays, taken from it.
    ReadingTape* tape = nullptr;
    // The clock whose loudness the track's thread measures ahead (startReading); 0: none.
    int readingFps = 0;

    // Starts decoding the track ahead of open(), while the rest of the start-up goes on: a run
    // on the fps clock up to untilMs then finds its loudness measured (track.h). No message:
    // open() says what failed, in its place in the start-up. Dropped by stop().
    void startReading(int fps, int32_t untilMs, bool lowPriority);
    bool open();   // "Bass version error", "Bass init error" or "Music opening error" on failure
    bool play();   // "Music play error" on failure; the demo then runs on in silence
    void stop();
    // Sum of the 512 FFT magnitudes of the 1024 newest audible mono samples; a new
    // spectrum on every call. 0 before any sound and after the end of the track.
    long double level();

    // From now on the sound is the track from ms on, playing or held silent (paused), after
    // a few milliseconds' fade of what plays. Moves a device fed by the mixer, or one that
    // moves itself (AudioDevice::moveTo).
    void moveTo(int32_t ms, bool playing);
    // Silences the sound or gives it back, after a few milliseconds' fade; the position, and so
    // the clock and the loudness the scenes read, go on unchanged.
    void setMuted(bool muted);
    bool muted = false;

    // The track's audible position in ms: what the device plays now, or, until the newest
    // move is heard (heard false), where it moves to. The clock of a playing demo.
    int32_t audibleMs(bool* heard = nullptr);

    // The frames of the fps clock, from 0 on, whose loudness a reading finds without waiting for
    // the track's thread: those it has measured, or all where the readings are taken another way
    // (a fixed level, no track, or a track read whole).
    int64_t clockFramesMeasured(int fps) const;

    // The track's layout, 0 until open() and after stop(); its length decodes it to the end
    // once. Its frames are read with copyTrackFrames().
    int64_t frameCount() const;
    int rate() const;
    int channels() const;
};

extern Music music;
extern const char* musicPath;  // "data/talumen.ogg"
