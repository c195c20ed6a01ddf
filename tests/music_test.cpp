// music_test.cpp -- the loudness measure, the audible position, and opening and playing the track
#include <gtest/gtest.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "base/globals.h"
#include "audio/level.h"
#include "audio/music.h"
#include "audio/playhead.h"
#include "ogg_fixture.h"
#include "testkit.h"

namespace {

using Messages = std::vector<std::string>;

long double levelOf(const std::vector<float>& frames, int channels, int64_t end, float* spectrum = nullptr) {
    return measureLevel(frames.data(), int64_t(frames.size()) / channels, channels, end, spectrum);
}

float levelAt(int32_t ms) {
    elapsedMs = ms;
    return static_cast<float>(music.level());
}

// The times the sound output was closed.
int closed = 0;

}  // namespace

TEST(Level, SilenceOrFramesOutsideTheWindowReadZeroAndASineAboutItsAmplitude) {
    EXPECT_EQ(levelOf(std::vector<float>(8192, 0.0f), 2, 2048), 0.0L);
    // A burst at frames 10000..10999 enters the window ending at 10001 and has left it by
    // 12024 (the oldest frame of a window weighs nothing); far ends read nothing either.
    std::vector<float> burst(20000, 0.0f);
    for (int f = 10000; f < 11000; ++f) burst[f] = f % 2 ? 0.8f : -0.8f;
    for (auto [end, heard] : {std::pair{int64_t(10000), false}, {10001, true}, {12022, true}, {12024, false},
                              {INT64_MAX, false}, {INT64_MIN, false}})
        EXPECT_EQ(levelOf(burst, 1, end) > 0.0L, heard) << end;
    for (auto [hz, amplitude] : {std::pair{440.0, 1.0f}, {1000.0, 1.0f}, {1722.65625, 1.0f}, {3000.0, 0.5f}}) {
        float spectrum[512];
        std::vector<float> wave = silenceThenSine(0.0, 0.2, hz, amplitude, 2, 44100);
        EXPECT_NEAR(double(levelOf(wave, 2, 6000, spectrum)), amplitude, 0.15 * amplitude) << hz;
        EXPECT_NEAR(std::max_element(spectrum, spectrum + 512) - spectrum, hz * 1024 / 44100, 1.0) << hz;
        // The mono mix is the mean of the channels: a silent right channel halves the reading.
        for (size_t f = 1; f < wave.size(); f += 2) wave[f] = 0.0f;
        EXPECT_NEAR(double(levelOf(wave, 2, 6000)), amplitude / 2.0, 0.08 * amplitude) << hz;
    }
}

TEST(AudiblePosition, DeviceAndClockArithmetic) {
    // 0 before any callback, never before the start, never past what was handed over.
    const struct { int64_t handed, buffer; double since; int rate; int64_t want; } device[] = {
        {0, 1024, 0.5, 44100, 0}, {1024, 1024, 0.0, 44100, 0}, {1024, 1024, 0.010, 44100, 441},
        {44100, 1024, 0.005, 48000, 43316}, {44100, 1024, 3.0, 44100, 44100},
        {44100, 1024, -1.0, 44100, 43076}, {512, 1024, 0.0, 44100, 0}};
    for (const auto& d : device) EXPECT_EQ(deviceAudibleFrame(d.handed, d.buffer, d.since, d.rate), d.want) << d.handed;
    const struct { int32_t ms; int rate; int64_t want; } clock[] = {
        {1, 44100, 44}, {156000, 48000, 7488000}, {-1, 44100, -45}, {INT32_MAX, 192000, int64_t(INT32_MAX) * 192}};
    for (const auto& c : clock) EXPECT_EQ(clockAudibleFrame(c.ms, c.rate), c.want) << c.ms;
}

// A track of 0.5 in both channels from frame 0 on: what the mixer hands out is its gain.
static void halfTrack(int64_t first, int64_t count, float* out) {
    for (int64_t i = 0; i < count; ++i) out[2 * i] = out[2 * i + 1] = first + i >= 0 ? 0.5f : 0.0f;
}

// A seek and a pause fade out and in over 220 frames (5 ms at 44100 Hz) and never step by more;
// while the device still plays the old place, the new one is what counts as heard.
TEST(Playhead, PausesAndJumpsWithoutAClickAndKnowsWhereTheSoundIs) {
    Playhead head;
    head.begin(2, 44100, 0);
    std::vector<float> out;
    const auto mix = [&](int64_t frames) {
        out.resize(out.size() + size_t(frames) * 2);
        head.mix(out.data() + out.size() - frames * 2, frames, halfTrack);
    };
    mix(1000);
    EXPECT_EQ(out.front(), 0.5f) << "the track's first frame, not faded in";
    head.move(90000, true);
    bool heard = true;
    EXPECT_EQ(head.trackFrameAt(1100, &heard), 90000);
    EXPECT_FALSE(heard);
    mix(1000);  // fades out from device frame 1000, jumps at 1220
    EXPECT_EQ(head.trackFrameAt(1219), 90000);
    EXPECT_EQ(head.trackFrameAt(1500, &heard), 90280);
    EXPECT_TRUE(heard);
    EXPECT_EQ(out[2 * 1219], 0.0f) << "the fade out ends in silence";
    head.move(90500, false);  // paused at 90500
    mix(2000);
    EXPECT_EQ(head.trackFrameAt(3900), 90500);
    EXPECT_EQ(out.back(), 0.0f) << "sound while paused";
    head.move(90500, true);
    mix(500);  // silent already: the jump is at once, at device frame 4000
    EXPECT_EQ(head.trackFrameAt(4400), 90900);
    EXPECT_EQ(out.back(), 0.5f);
    // Muted, the sound fades to silence as after a jump and the track goes on under it.
    head.muted = true;
    mix(500);
    EXPECT_EQ(out.back(), 0.0f) << "sound while muted";
    EXPECT_EQ(head.trackFrameAt(4900), 91400) << "the position goes on";
    head.muted = false;
    mix(500);
    EXPECT_EQ(out.back(), 0.5f);
    float largestStep = 0.0f;
    for (size_t i = 2; i < out.size(); ++i) largestStep = std::max(largestStep, std::fabs(out[i] - out[i - 2]));
    EXPECT_LE(largestStep, 0.5f / 220 + 1e-6f);
}

TEST(Music, TrackSilentForASecondThenLoudInEitherLayout) {
    TempDir dir;
    for (auto [channels, rate] : {std::pair{2, 44100}, {1, 48000}}) {
        ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(1.0, 1.0, 1000.0, 0.9f, channels, rate), channels, rate));
        ASSERT_TRUE(music.open());
        EXPECT_EQ(music.frameCount(), 2 * rate);
        EXPECT_EQ(levelAt(1500), 0.0f) << "nothing is audible before play()";
        ASSERT_TRUE(music.play());
        for (auto [ms, low, high] : {std::tuple{500, 0.0f, 0.01f}, {980, 0.0f, 0.05f}, {1100, 0.75f, 1.05f},
                                     {1900, 0.75f, 1.05f}, {2100, 0.0f, 0.0f}}) {
            const float reading = levelAt(ms);
            EXPECT_TRUE(reading >= low && reading <= high) << rate << " Hz at " << ms << " ms: " << reading;
        }
        music.stop();
        EXPECT_EQ(levelAt(1500), 0.0f) << "after stop()";
    }
}

// A page lost mid-stream is skipped, and what follows it numbered on from what came before: read
// back to front, past what the held seconds hold, each stretch is what one decode from the start
// gives, though a seek after the loss would land elsewhere.
TEST(Music, AStreamWithALostPageReadsTheSameInAnyOrder) {
    TempDir dir;
    std::vector<float> frames(12 * 44100 * 2);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = 0.5f * std::sin(0.001f * float(i % 100003) * float(i % 7 + 1));
    ASSERT_TRUE(writeOggVorbis("whole.ogg", frames, 2, 44100));
    std::string bytes = readWhole("whole.ogg");
    size_t page = 0;
    for (int n = 0; n < 30; ++n) page = bytes.find("OggS", page + 1);
    writeFile(musicPath, bytes.erase(page, bytes.find("OggS", page + 1) - page));
    std::vector<float> decoded;
    OggVorbis_File file;
    ASSERT_EQ(ov_fopen(musicPath, &file), 0);
    float** pcm = nullptr;
    int section = 0;
    for (long n; (n = ov_read_float(&file, &pcm, 4096, &section)) > 0 || n == OV_HOLE;)
        for (long i = 0; i < n; ++i) decoded.insert(decoded.end(), {pcm[0][i], pcm[1][i]});
    ov_clear(&file);
    ASSERT_TRUE(music.open());
    ASSERT_EQ(music.frameCount(), int64_t(decoded.size() / 2));
    std::vector<float> read(decoded.size());
    for (int64_t end = music.frameCount(), first; end > 0; end = first) {
        first = std::max<int64_t>(0, end - 20000);
        copyTrackFrames(first, end - first, read.data() + first * 2);
    }
    EXPECT_TRUE(read == decoded);
    music.stop();
}

TEST(Music, UnplayableFilesGiveTheirMessagesAndTheDemoRunsOnInSilence) {
    TempDir dir;
    ASSERT_TRUE(writeOggNotVorbis("other.ogg"));
    std::ifstream other("other.ogg", std::ios::binary);
    audioDevice.stop = [] { ++closed; };
    for (const std::string& contents : {std::string(), std::string(5000, 'x'), std::string(std::istreambuf_iterator<char>(other), {})}) {
        recordMessages();
        std::remove(musicPath);
        if (!contents.empty()) writeFile(musicPath, contents);
        EXPECT_FALSE(music.open()) << contents.size();
        EXPECT_FALSE(music.play());
        EXPECT_EQ(recordedMessages(), (Messages{"Error: Music opening error", "Error: Music play error"}));
        EXPECT_EQ(levelAt(500), 0.0f);
    }
    EXPECT_EQ(closed, 3) << "a failed open gives back the output it opened";
    recordMessages();
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 1.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    audioDevice.start = [] { return false; };
    ASSERT_TRUE(music.open());
    EXPECT_FALSE(music.play());
    EXPECT_EQ(recordedMessages(), Messages{"Error: Music play error"});
    EXPECT_EQ(levelAt(500), 0.0f);
}
