// music.cpp -- opens, plays and stops the track and measures its loudness with FFTW
#include "audio/music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/globals.h"
#include "base/message.h"
#include "assets/data_path.h"
#include "audio/level.h"
#include "audio/playhead.h"

Music music;
const char* musicPath = "data/talumen.ogg";
AudioDevice audioDevice = clockAudioDevice();

namespace {

// What the program knows of the track it plays; the samples themselves are the track's own
// (track.h), read while the device plays, so they are freed only after the device is closed.
struct TrackState {
    int channels = 0;
    int rate = 0;
    bool playing = false;
    int clockRate = 0;  // the rate the clock device was opened at
};
TrackState track;
// Where a device fed by the mixer plays the track; started by play().
Playhead playhead;
// The frames of one reading, copied out of the track.
std::vector<float> levelWindow;
// The newest reading of the track and the frame its window ended before. On the virtual clock
// every reading of a frame hears the same window, and the same window gives the same sum.
struct LastReading {
    int64_t end = 0;
    long double value = 0.0L;
    bool valid = false;
};
LastReading lastReading;

bool clockVersionMatches() { return true; }
bool clockInit(int rate, int) {
    track.clockRate = rate;
    return true;
}
bool clockStart() { return true; }
int64_t clockAudible() { return clockAudibleFrame(elapsedMs, track.clockRate); }
void clockStop() {}

void error(const char* text) { messageBox(text, "Error"); }

// The track frame audible now, and whether the newest move is heard yet.
int64_t heardTrackFrame(bool* heard) {
    const int64_t frame = audioDevice.audibleFrame ? audioDevice.audibleFrame() : 0;
    if (audioDevice.fedByMixer) return playhead.trackFrameAt(frame, heard);
    if (heard) *heard = true;
    return frame;
}

void freeTrack() {
    closeTrack();
    lastReading.valid = false;
    track.channels = 0;
    track.rate = 0;
    track.playing = false;
}

}  // namespace

void mixTrack(float* out, int64_t frames) { playhead.mix(out, frames, copyTrackFrames); }

AudioDevice clockAudioDevice() {
    AudioDevice device;
    device.versionMatches = clockVersionMatches;
    device.init = clockInit;
    device.start = clockStart;
    device.audibleFrame = clockAudible;
    device.stop = clockStop;
    return device;
}

int64_t deviceAudibleFrame(int64_t framesHanded, int64_t bufferFrames, double secondsSinceCallback,
                           int rate) {
    if (framesHanded <= 0 || rate <= 0) return 0;
    if (bufferFrames < 0) bufferFrames = 0;
    if (bufferFrames > framesHanded) bufferFrames = framesHanded;
    int64_t drained = 0;
    if (secondsSinceCallback > 0.0) {
        const double frames = std::floor(secondsSinceCallback * rate);
        drained = frames >= static_cast<double>(bufferFrames) ? bufferFrames : static_cast<int64_t>(frames);
    }
    return framesHanded - bufferFrames + drained;
}

int64_t clockAudibleFrame(int32_t ms, int rate) {
    const int64_t scaled = static_cast<int64_t>(ms) * rate;
    // Floor division, so that negative times stay before the first frame.
    int64_t frame = scaled / 1000;
    if (scaled % 1000 != 0 && scaled < 0) --frame;
    return frame;
}

void Music::startReading(int fps, int32_t untilMs, bool lowPriority) {
    if (stream != 0) return;
    readingFps = fps;
    openTrack(dataPath(musicPath).c_str(), fps, untilMs, lowPriority);
}

int64_t Music::clockFramesMeasured(int fps) const {
    if (levelSource || stream == 0 || fps != readingFps) return INT64_MAX;
    return trackClockFramesReady();
}

bool Music::open() {
    if (stream != 0) return true;
    if (audioDevice.versionMatches && !audioDevice.versionMatches()) {
        freeTrack();
        error("Bass version error");
        return false;
    }

    // The file's layout decides how the output is opened, so its headers are read first;
    // a file that fails still lets the output be tried, so that a machine with no sound
    // hears about that first.
    if (!trackIsOpen()) openTrack(dataPath(musicPath).c_str(), 0, 0, false);
    const TrackLayout layout = trackLayout();
    const bool usable = layout.channels > 0;
    track.channels = layout.channels;
    track.rate = layout.rate;
    const int rate = usable ? track.rate : 44100;
    const int channels = usable ? track.channels : 2;
    if (audioDevice.init && !audioDevice.init(rate, channels)) {
        freeTrack();
        error("Bass init error");
        return false;
    }

    // Only the first frames are waited for; the rest decode while the demo plays.
    if (!usable || !trackStarts()) {
        // The output opened above is given back: a failed open leaves nothing behind.
        if (audioDevice.stop) audioDevice.stop();
        freeTrack();
        error("Music opening error");
        return false;
    }
    // The track plays up to a chained stream it cannot convert.
    const std::string cut = trackEndNote(layout);
    if (!cut.empty()) messageBox(cut.c_str(), "talumen");
    lastReading.valid = false;
    prepareLevelMeasure();
    stream = 1;
    return true;
}

bool Music::play() {
    // The sound card's reads wait for no thread below the player's from here on.
    if (stream != 0) raiseTrackPriority();
    if (stream != 0) playhead.begin(track.channels, track.rate, 0);
    if (stream == 0 || !audioDevice.start || !audioDevice.start()) {
        error("Music play error");
        return false;
    }
    track.playing = true;
    // A mute asked for in an earlier run holds in this one.
    if (muted) setMuted(true);
    return true;
}

void Music::stop() {
    if (stream == 0) {
        // A track read ahead of an open() that never came.
        freeTrack();
        readingFps = 0;
        return;
    }
    // The device reads the samples until it is closed, so it goes first.
    if (audioDevice.stop) audioDevice.stop();
    freeTrack();
    stream = 0;
    readingFps = 0;
    for (float& bin : spectrum) bin = 0.0f;
}

int64_t Music::frameCount() const { return stream != 0 ? trackFrameCount() : 0; }
int Music::rate() const { return track.rate; }
int Music::channels() const { return track.channels; }

long double Music::level() {
    long double reading = 0.0L;
    if (tape && tape->replaying) {
        if (tape->next < tape->readings.size()) reading = tape->readings[tape->next++];
        return reading;
    }
    if (levelSource) {
        reading = levelSource();
    } else {
        // On the virtual clock the track is heard wherever the device is, even where it
        // could not start: a catch-up lands on the state offline rendering has.
        const bool heard = virtualClock ? stream != 0 : track.playing && audioDevice.audibleFrame;
        const int64_t end = !heard ? 0 : virtualClock ? clockAudibleFrame(elapsedMs, track.rate) : heardTrackFrame(nullptr);
        if (end <= 0 || (end >= fftSize && !trackHolds(end - fftSize))) {
            for (float& bin : spectrum) bin = 0.0f;
            lastReading.valid = false;
        } else if (lastReading.valid && lastReading.end == end) {
            reading = lastReading.value;
        } else if (trackClockReading(end, reading)) {
            // Measured on the track's thread, from the same samples in the same way.
            lastReading = LastReading{end, reading, true};
        } else {
            levelWindow.resize(static_cast<size_t>(fftSize * track.channels));
            copyTrackFrames(end - fftSize, fftSize, levelWindow.data());
            reading = measureLevel(levelWindow.data(), fftSize, track.channels, fftSize, spectrum);
            lastReading = LastReading{end, reading, true};
        }
    }
    if (tape) tape->readings.push_back(reading);
    return reading;
}

void Music::moveTo(int32_t ms, bool playing) {
    if (stream == 0 || !track.playing) return;
    if (audioDevice.fedByMixer)
        playhead.move(clockAudibleFrame(std::max(ms, 0), track.rate), playing);
    else if (audioDevice.moveTo)
        audioDevice.moveTo(std::max(ms, 0), playing);
}

void Music::setMuted(bool mute) {
    muted = mute;
    playhead.muted.store(mute, std::memory_order_relaxed);
    if (!audioDevice.fedByMixer && audioDevice.setMuted) audioDevice.setMuted(mute);
}

int32_t Music::audibleMs(bool* heard) {
    if (heard) *heard = true;
    if (stream == 0 || !track.playing || track.rate <= 0) return 0;
    const int64_t frame = heardTrackFrame(heard);
    // Rounded up, so that an instant turned into a frame and back is the same instant.
    const int64_t ms = (frame * 1000 + track.rate - 1) / track.rate;
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(ms, 0), INT32_MAX));
}
