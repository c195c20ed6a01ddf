// music.cpp -- decodes the track with libvorbisfile and measures its loudness with FFTW
#include "audio/music.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/globals.h"
#include "app/message.h"
#include "assets/data_path.h"
#include "audio/level.h"
#include "audio/playhead.h"

Music music;
const char* musicPath = "data/talumen.ogg";
AudioDevice audioDevice = clockAudioDevice();

namespace {

// The whole track, decoded at open() and kept until stop(); the device reads it while it
// plays, so it is freed only after the device is closed.
struct TrackState {
    std::vector<float> samples;  // interleaved, channels per frame, each in [-1, 1]
    int64_t frameCount = 0;
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
bool clockStart(const float*, int64_t) { return true; }
int64_t clockAudible() { return clockAudibleFrame(elapsedMs, track.clockRate); }
void clockStop() {}

void error(const char* text) { messageBox(text, "Error"); }

// Reads the stream into track.samples. A corrupt stretch is skipped; a stream that breaks
// off keeps what came before the break. False when nothing at all decodes.
bool decodeAll(OggVorbis_File& file) {
    const int64_t maxSamples =
        std::min<int64_t>(maxTrackSeconds * track.rate * track.channels, maxTrackSamples);
    std::vector<float>& out = track.samples;
    out.clear();
    lastReading.valid = false;
    // The header's length is only a hint: a hostile file may claim anything.
    const ogg_int64_t total = ov_pcm_total(&file, -1);
    if (total > 0 && total < maxSamples) out.reserve(static_cast<size_t>(total * track.channels));

    int section = 0;
    int holes = 0;
    int64_t used = 0;
    while (used < maxSamples) {
        float** pcm = nullptr;
        const long got = ov_read_float(&file, &pcm, 4096, &section);
        if (got == 0) break;
        if (got == OV_HOLE) {
            // Each hole is a lost page; a file of nothing but holes must still end.
            if (++holes > 1000) break;
            continue;
        }
        if (got < 0) break;
        // A chained file may change its layout mid-stream; keep only the first layout.
        const vorbis_info* info = ov_info(&file, -1);
        if (!info || info->channels != track.channels || info->rate != track.rate) break;
        const int64_t frames = std::min<int64_t>(got, (maxSamples - used) / track.channels);
        out.resize(static_cast<size_t>(used + frames * track.channels));
        float* write = out.data() + used;
        for (int64_t f = 0; f < frames; ++f) {
            for (int c = 0; c < track.channels; ++c) {
                const float v = pcm[c][f];
                // Vorbis may overshoot full scale a little; the output clips there anyway.
                *write++ = std::isfinite(v) ? std::fmax(-1.0f, std::fmin(1.0f, v)) : 0.0f;
            }
        }
        used += frames * track.channels;
        if (frames < got) break;
    }
    track.frameCount = used / track.channels;
    out.shrink_to_fit();
    return track.frameCount > 0;
}

// The track frame audible now, and whether the newest move is heard yet.
int64_t heardTrackFrame(bool* heard) {
    const int64_t frame = audioDevice.audibleFrame ? audioDevice.audibleFrame() : 0;
    if (audioDevice.fedByMixer) return playhead.trackFrameAt(frame, heard);
    if (heard) *heard = true;
    return frame;
}

void freeTrack() {
    lastReading.valid = false;
    track.samples.clear();
    track.samples.shrink_to_fit();
    track.frameCount = 0;
    track.channels = 0;
    track.rate = 0;
    track.playing = false;
}

}  // namespace

void copyTrackFrames(int64_t first, int64_t count, float* out) {
    const int channels = track.channels;
    if (count <= 0 || channels <= 0) return;
    int64_t lead = count;  // frames before the track's first (all of them when none is in it)
    int64_t inside = 0;
    if (first < track.frameCount && first > -count) {
        lead = first < 0 ? -first : 0;
        inside = std::min(count - lead, track.frameCount - (first + lead));
    }
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels);
    std::memset(out, 0, static_cast<size_t>(lead) * frameBytes);
    if (inside > 0)
        std::memcpy(out + lead * channels, track.samples.data() + (first + lead) * channels,
                    static_cast<size_t>(inside) * frameBytes);
    std::memset(out + (lead + inside) * channels, 0, static_cast<size_t>(count - lead - inside) * frameBytes);
}

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

bool Music::open() {
    if (stream != 0) return true;
    if (audioDevice.versionMatches && !audioDevice.versionMatches()) {
        error("Bass version error");
        return false;
    }

    // The file's layout decides how the output is opened, so its headers are read first;
    // a file that fails still lets the output be tried, so that a machine with no sound
    // hears about that first.
    OggVorbis_File file;
    const bool fileOpen = ov_fopen(dataPath(musicPath).c_str(), &file) == 0;
    bool usable = false;
    if (fileOpen) {
        const vorbis_info* info = ov_info(&file, -1);
        if (info && info->channels >= 1 && info->channels <= maxTrackChannels && info->rate >= minTrackRate &&
            info->rate <= maxTrackRate) {
            track.channels = info->channels;
            track.rate = static_cast<int>(info->rate);
            usable = true;
        }
    }
    const int rate = usable ? track.rate : 44100;
    const int channels = usable ? track.channels : 2;
    if (audioDevice.init && !audioDevice.init(rate, channels)) {
        if (fileOpen) ov_clear(&file);
        freeTrack();
        error("Bass init error");
        return false;
    }

    const bool decoded = usable && decodeAll(file);
    if (fileOpen) ov_clear(&file);
    if (!decoded) {
        // The output opened above is given back: a failed open leaves nothing behind.
        if (audioDevice.stop) audioDevice.stop();
        freeTrack();
        error("Music opening error");
        return false;
    }
    prepareLevelMeasure();
    stream = 1;
    return true;
}

bool Music::play() {
    if (stream != 0) playhead.begin(track.channels, track.rate, 0);
    if (stream == 0 || !audioDevice.start || !audioDevice.start(track.samples.data(), track.frameCount)) {
        error("Music play error");
        return false;
    }
    track.playing = true;
    return true;
}

void Music::stop() {
    if (stream == 0) return;
    // The device reads the samples until it is closed, so it goes first.
    if (audioDevice.stop) audioDevice.stop();
    freeTrack();
    stream = 0;
    for (float& bin : spectrum) bin = 0.0f;
}

int64_t Music::frameCount() const { return track.frameCount; }
int Music::rate() const { return track.rate; }
int Music::channels() const { return track.channels; }
const float* Music::samples() const { return track.samples.data(); }

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
        if (end <= 0 || end - fftSize >= track.frameCount) {
            for (float& bin : spectrum) bin = 0.0f;
            lastReading.valid = false;
        } else if (lastReading.valid && lastReading.end == end) {
            reading = lastReading.value;  // and spectrum still holds its magnitudes
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

int32_t Music::audibleMs(bool* heard) {
    if (heard) *heard = true;
    if (stream == 0 || !track.playing || track.rate <= 0) return 0;
    const int64_t frame = heardTrackFrame(heard);
    // Rounded up, so that an instant turned into a frame and back is the same instant.
    const int64_t ms = (frame * 1000 + track.rate - 1) / track.rate;
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(ms, 0), INT32_MAX));
}
