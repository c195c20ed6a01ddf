// music_test.cpp -- the loudness measure, the audible position, and opening and playing the track
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "app/globals.h"
#include "audio/level.h"
#include "audio/music.h"
#include "ogg_fixture.h"
#include "testkit.h"

namespace {

std::vector<float> sine(int frames, int channels, double hz, int rate, float amplitude) {
    return silenceThenSine(0.0, static_cast<double>(frames) / rate, hz, amplitude, channels, rate);
}

// A level reading at elapsed milliseconds on the virtual clock.
float levelAt(int32_t ms) {
    elapsedMs = ms;
    return static_cast<float>(music.level());
}

bool openTrack(const std::vector<float>& frames, int channels, int rate) {
    if (!writeOggVorbis(musicPath, frames, channels, rate)) return false;
    audioDevice = clockAudioDevice();
    return music.open();
}

}  // namespace

TEST(Level, SilenceAndWindowsOutsideTheTrackReadZero) {
    std::vector<float> quiet(4096 * 2, 0.0f);
    float spectrum[512];
    for (float& bin : spectrum) bin = 7.0f;
    EXPECT_EQ(measureLevel(quiet.data(), 4096, 2, 2048, spectrum), 0.0L);
    for (float bin : spectrum) ASSERT_EQ(bin, 0.0f);

    const std::vector<float> loud = sine(4096, 2, 1000.0, 44100, 1.0f);
    EXPECT_EQ(measureLevel(loud.data(), 4096, 2, 0, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(loud.data(), 4096, 2, -5000, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(loud.data(), 4096, 2, 4096 + 1024, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(loud.data(), 4096, 2, INT64_MAX, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(loud.data(), 4096, 2, INT64_MIN, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(nullptr, 4096, 2, 2048, nullptr), 0.0L);
    // The last frames of the track still count near the window's oldest end.
    EXPECT_GT(measureLevel(loud.data(), 4096, 2, 4096 + 1000, nullptr), 0.0L);
}

TEST(Level, FullScaleSineReadsAboutOneWhateverTheLayout) {
    for (double hz : {440.0, 1000.0, 3000.0, 43.06640625 * 40}) {
        const std::vector<float> mono = sine(8192, 1, hz, 44100, 1.0f);
        float spectrum[512];
        const long double reading = measureLevel(mono.data(), 8192, 1, 6000, spectrum);
        EXPECT_NEAR(static_cast<double>(reading), 1.0, 0.15) << hz << " Hz";
        // The energy sits at the sine's bin, where the scenes' spectrum users look for it.
        const int peak = static_cast<int>(std::max_element(spectrum, spectrum + 512) - spectrum);
        EXPECT_NEAR(peak, hz * 1024 / 44100, 1.0) << hz << " Hz";
    }
    // Half scale reads half: the measure is linear in amplitude.
    const std::vector<float> half = sine(8192, 1, 1000.0, 44100, 0.5f);
    EXPECT_NEAR(static_cast<double>(measureLevel(half.data(), 8192, 1, 6000, nullptr)), 0.5, 0.08);
}

TEST(Level, MixesEveryChannelToMono) {
    const std::vector<float> both = sine(4096, 2, 1000.0, 44100, 1.0f);
    std::vector<float> leftOnly = both;
    std::vector<float> opposed = both;
    for (size_t f = 0; f < 4096; ++f) {
        leftOnly[f * 2 + 1] = 0.0f;
        opposed[f * 2 + 1] = -opposed[f * 2];
    }
    const double full = static_cast<double>(measureLevel(both.data(), 4096, 2, 3000, nullptr));
    EXPECT_NEAR(static_cast<double>(measureLevel(leftOnly.data(), 4096, 2, 3000, nullptr)), full / 2, 1e-3);
    EXPECT_NEAR(static_cast<double>(measureLevel(opposed.data(), 4096, 2, 3000, nullptr)), 0.0, 1e-4);
}

TEST(Level, ReadsTheSamplesThatEndAtTheAudibleFrame) {
    // A burst at frames 10000..10999: the window ending at 10000 has none of it, the
    // window ending at 10001 has its first frame; the one ending at 12022 still has its
    // last (the oldest frame of a window weighs nothing), the one ending at 12024 none.
    std::vector<float> frames(20000, 0.0f);
    for (int f = 10000; f < 11000; ++f) frames[f] = f % 2 ? 0.8f : -0.8f;
    EXPECT_EQ(measureLevel(frames.data(), 20000, 1, 10000, nullptr), 0.0L);
    EXPECT_GT(measureLevel(frames.data(), 20000, 1, 10001, nullptr), 0.0L);
    EXPECT_GT(measureLevel(frames.data(), 20000, 1, 12022, nullptr), 0.0L);
    EXPECT_EQ(measureLevel(frames.data(), 20000, 1, 12024, nullptr), 0.0L);
}

TEST(AudiblePosition, DeviceFramesLessTheBufferPlusTheTimeSinceTheCallback) {
    EXPECT_EQ(deviceAudibleFrame(0, 1024, 0.5, 44100), 0);        // no callback yet
    EXPECT_EQ(deviceAudibleFrame(1024, 1024, 0.0, 44100), 0);     // the first buffer is queued
    EXPECT_EQ(deviceAudibleFrame(1024, 1024, 0.010, 44100), 441);
    EXPECT_EQ(deviceAudibleFrame(44100, 1024, 0.0, 44100), 43076);
    EXPECT_EQ(deviceAudibleFrame(44100, 1024, 0.005, 48000), 43316);
    // A device that stops calling back never plays past what it was given.
    EXPECT_EQ(deviceAudibleFrame(44100, 1024, 3.0, 44100), 44100);
    EXPECT_EQ(deviceAudibleFrame(44100, 1024, -1.0, 44100), 43076);
    // A buffer larger than what was handed over cannot put the position before the start.
    EXPECT_EQ(deviceAudibleFrame(512, 1024, 0.0, 44100), 0);
}

TEST(AudiblePosition, ClockFollowsElapsedMilliseconds) {
    EXPECT_EQ(clockAudibleFrame(0, 44100), 0);
    EXPECT_EQ(clockAudibleFrame(1, 44100), 44);
    EXPECT_EQ(clockAudibleFrame(1000, 44100), 44100);
    EXPECT_EQ(clockAudibleFrame(156000, 48000), 7488000);
    EXPECT_EQ(clockAudibleFrame(-1, 44100), -45);
    EXPECT_EQ(clockAudibleFrame(INT32_MAX, 192000), int64_t(INT32_MAX) * 192);
}

TEST(Music, TrackSilentForASecondThenLoud) {
    TempDir dir;
    recordMessages();
    ASSERT_TRUE(openTrack(silenceThenSine(1.0, 1.0, 1000.0, 0.9f, 2, 44100), 2, 44100));
    EXPECT_EQ(music.rate(), 44100);
    EXPECT_EQ(music.channels(), 2);
    EXPECT_EQ(music.frameCount(), 88200);

    EXPECT_EQ(levelAt(1500), 0.0f) << "nothing is audible before play()";
    ASSERT_TRUE(music.play());
    EXPECT_EQ(levelAt(0), 0.0f);
    EXPECT_LT(levelAt(500), 0.01f);
    EXPECT_LT(levelAt(980), 0.05f);
    EXPECT_GT(levelAt(1100), 0.7f);
    EXPECT_GT(levelAt(1900), 0.7f);
    EXPECT_GT(music.spectrum[23], 0.2f);  // 1000 Hz is bin 23
    EXPECT_EQ(levelAt(2100), 0.0f) << "after the end of the track";
    EXPECT_TRUE(recordedMessages().empty());

    music.stop();
    EXPECT_EQ(music.stream, 0u);
    EXPECT_EQ(levelAt(1500), 0.0f);
    for (float bin : music.spectrum) ASSERT_EQ(bin, 0.0f);
    music.stop();
}

TEST(Music, MonoAndOtherRatesPlayAtTheirOwnPace) {
    TempDir dir;
    recordMessages();
    ASSERT_TRUE(openTrack(silenceThenSine(0.5, 0.5, 2000.0, 1.0f, 1, 48000), 1, 48000));
    EXPECT_EQ(music.rate(), 48000);
    EXPECT_EQ(music.channels(), 1);
    ASSERT_TRUE(music.play());
    EXPECT_LT(levelAt(400), 0.05f);
    EXPECT_NEAR(levelAt(800), 1.0f, 0.2f);
    EXPECT_EQ(levelAt(1100), 0.0f);
    EXPECT_TRUE(recordedMessages().empty());
    music.stop();
}

TEST(Music, UnplayableFilesAreOpeningErrors) {
    TempDir dir;
    const std::string good = "good.ogg";
    ASSERT_TRUE(writeOggVorbis(good, silenceThenSine(0.0, 2.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    const auto goodBytes = std::filesystem::file_size(good);
    std::string bytes(goodBytes, '\0');
    FILE* in = fopen(good.c_str(), "rb");
    ASSERT_TRUE(in);
    ASSERT_EQ(fread(bytes.data(), 1, bytes.size(), in), bytes.size());
    fclose(in);

    struct Case {
        const char* what;
        std::string contents;  // empty name: no file at all
        bool present = true;
    };
    std::vector<Case> cases = {
        {"missing", "", false},
        {"empty", ""},
        {"garbage", std::string(5000, 'x')},
        {"only the Vorbis headers", bytes.substr(0, 4000)},
        {"a picture", std::string("\xff\xd8\xff\xe0") + std::string(2000, '\0')},
    };
    for (const Case& c : cases) {
        recordMessages();
        audioDevice = clockAudioDevice();
        std::filesystem::remove(musicPath);
        if (c.present) writeFile(musicPath, c.contents);
        EXPECT_FALSE(music.open()) << c.what;
        EXPECT_EQ(music.stream, 0u) << c.what;
        ASSERT_EQ(recordedMessages(), std::vector<std::string>{"Error: Music opening error"}) << c.what;
        EXPECT_FALSE(music.play()) << c.what;
        EXPECT_EQ(recordedMessages().back(), "Error: Music play error") << c.what;
        EXPECT_EQ(levelAt(500), 0.0f) << c.what;
    }

    recordMessages();
    ASSERT_TRUE(writeOggNotVorbis(musicPath));
    EXPECT_FALSE(music.open());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Music opening error"});
}

TEST(Music, TruncatedOrDamagedTrackPlaysWhatDecodes) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis("good.ogg", silenceThenSine(0.0, 10.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    std::string bytes(std::filesystem::file_size("good.ogg"), '\0');
    FILE* in = fopen("good.ogg", "rb");
    ASSERT_TRUE(in);
    ASSERT_EQ(fread(bytes.data(), 1, bytes.size(), in), bytes.size());
    fclose(in);

    // Cut in half, and with a stretch in the middle overwritten.
    std::string damaged = bytes;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 2; ++i) damaged[i] = static_cast<char>(i * 7);
    for (const std::string& contents : {bytes.substr(0, bytes.size() / 2), damaged}) {
        recordMessages();
        audioDevice = clockAudioDevice();
        writeFile(musicPath, contents);
        ASSERT_TRUE(music.open()) << contents.size();
        EXPECT_GT(music.frameCount(), 44100 / 2);
        EXPECT_LT(music.frameCount(), 10 * 44100);
        ASSERT_TRUE(music.play());
        EXPECT_GT(levelAt(200), 0.3f);
        EXPECT_TRUE(recordedMessages().empty());
        music.stop();
    }
}

namespace {
bool refuse() { return false; }
bool refuseInit(int, int) { return false; }
bool refuseStart(const float*, int64_t) { return false; }
int closed = 0;
void countClose() { ++closed; }
double fixedReading() { return 2.5; }
}  // namespace

TEST(Music, DeviceFailuresGiveTheirOwnMessages) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 1.0, 500.0, 0.5f, 2, 44100), 2, 44100));

    recordMessages();
    audioDevice = clockAudioDevice();
    audioDevice.versionMatches = refuse;
    EXPECT_FALSE(music.open());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Bass version error"});

    // No output at all is reported before a bad file, as the library would have.
    recordMessages();
    audioDevice = clockAudioDevice();
    audioDevice.init = refuseInit;
    std::filesystem::remove(musicPath);
    EXPECT_FALSE(music.open());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Bass init error"});

    // A bad file gives back the output it opened.
    recordMessages();
    audioDevice = clockAudioDevice();
    audioDevice.stop = countClose;
    closed = 0;
    EXPECT_FALSE(music.open());
    EXPECT_EQ(closed, 1);

    recordMessages();
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 1.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    audioDevice = clockAudioDevice();
    audioDevice.start = refuseStart;
    ASSERT_TRUE(music.open());
    EXPECT_FALSE(music.play());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Music play error"});
    EXPECT_EQ(levelAt(500), 0.0f) << "the demo runs on in silence";
    music.stop();
}

TEST(Music, LevelSourceOverridesEveryReading) {
    TempDir dir;
    music.levelSource = fixedReading;
    EXPECT_EQ(music.level(), 2.5L);  // with nothing open
    ASSERT_TRUE(openTrack(silenceThenSine(1.0, 0.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    ASSERT_TRUE(music.play());
    EXPECT_EQ(levelAt(500), 2.5f);
    music.levelSource = nullptr;
    EXPECT_EQ(levelAt(500), 0.0f);
    music.stop();
}

TEST(Music, MutatedFilesNeverCrash) {
    // Fixed seed: the same damaged files on every run. Each open either fails with the
    // opening message or plays a track of sane size.
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis("good.ogg", silenceThenSine(0.2, 0.8, 600.0, 0.7f, 2, 44100), 2, 44100));
    std::string bytes(std::filesystem::file_size("good.ogg"), '\0');
    FILE* in = fopen("good.ogg", "rb");
    ASSERT_TRUE(in);
    ASSERT_EQ(fread(bytes.data(), 1, bytes.size(), in), bytes.size());
    fclose(in);

    uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 150; ++round) {
        std::string damaged = bytes;
        const int flips = 1 + static_cast<int>(next() % 20);
        for (int i = 0; i < flips; ++i) damaged[next() % damaged.size()] = static_cast<char>(next());
        if (round % 3 == 0) damaged.resize(next() % damaged.size());
        writeFile(musicPath, damaged);
        recordMessages();
        audioDevice = clockAudioDevice();
        if (music.open()) {
            EXPECT_LE(music.frameCount(), maxTrackSeconds * music.rate()) << round;
            ASSERT_TRUE(music.play());
            for (int32_t ms = 0; ms < 1200; ms += 100) {
                const float reading = levelAt(ms);
                ASSERT_TRUE(std::isfinite(reading) && reading >= 0.0f && reading < 100.0f) << round;
            }
            music.stop();
        } else {
            EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Music opening error"}) << round;
        }
    }
}
