// sdl_audio_check.cpp -- the player's SDL sound device on SDL's dummy and disk drivers
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/music.h"
#include "ogg_fixture.h"
#include "platform/platform.h"
#include "testkit.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits, for at most limit seconds, until the device has played past frame.
bool waitForFrame(int64_t frame, double limit) {
    const auto start = Clock::now();
    while (audioDevice.audibleFrame() <= frame) {
        if (secondsSince(start) > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

TEST(SdlAudio, PositionFollowsWallTimeAndNeverRunsAhead) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempDir dir;
    recordMessages();
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 3.0, 1000.0, 0.9f, 2, 44100), 2, 44100));
    audioDevice = platformAudioDevice();
    ASSERT_TRUE(music.open());
    const auto started = Clock::now();
    ASSERT_TRUE(music.play());

    int64_t previous = 0;
    bool heard = false;
    while (secondsSince(started) < 0.6) {
        const int64_t frame = audioDevice.audibleFrame();
        const double wall = secondsSince(started);
        EXPECT_GE(frame, previous);
        // The device cannot be heard before it was started.
        EXPECT_LE(frame, static_cast<int64_t>(wall * 44100) + 441) << wall;
        previous = frame;
        if (frame > 2048 && music.level() > 0.7L) heard = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    // A loaded machine may run the audio thread late, never far behind.
    EXPECT_GT(previous, static_cast<int64_t>(0.2 * 44100));
    EXPECT_TRUE(heard);
    EXPECT_TRUE(recordedMessages().empty());
    music.stop();
    music.stop();
}

TEST(SdlAudio, DiskDriverRecordsTheTrackFromItsFirstSample) {
    TempDir dir;
    const std::string recording = dir.path + "/played.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", recording.c_str(), 1);
    // Mono at 48 kHz: the device takes the track's own layout.
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 0.4, 700.0, 0.8f, 1, 48000), 1, 48000));
    audioDevice = platformAudioDevice();
    ASSERT_TRUE(music.open());
    ASSERT_EQ(music.channels(), 1);
    ASSERT_TRUE(music.play());
    const int64_t frames = music.frameCount();
    const std::vector<float> decoded(music.samples(), music.samples() + frames);
    ASSERT_TRUE(waitForFrame(frames + 4800, 5.0));
    music.stop();

    std::ifstream in(recording, std::ios::binary);
    std::vector<float> played(std::filesystem::file_size(recording) / sizeof(float));
    in.read(reinterpret_cast<char*>(played.data()), static_cast<std::streamsize>(played.size() * sizeof(float)));
    // SDL opens a device paused and may write one paused buffer of silence before the
    // track begins; after that the track must follow exactly, then silence.
    int64_t lead = 0;
    while (lead < static_cast<int64_t>(played.size()) && played[lead] == 0.0f) ++lead;
    ASSERT_NE(decoded[0], 0.0f);
    ASSERT_LE(lead, 1024);
    ASSERT_GE(static_cast<int64_t>(played.size()), lead + frames + 1024);
    for (int64_t i = 0; i < frames; ++i) ASSERT_EQ(played[lead + i], decoded[i]) << "frame " << i;
    for (int64_t i = lead + frames; i < static_cast<int64_t>(played.size()); ++i) ASSERT_EQ(played[i], 0.0f) << i;
}

TEST(SdlAudio, NoOutputIsAnInitError) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    TempDir dir;
    recordMessages();
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 0.2, 700.0, 0.8f, 2, 44100), 2, 44100));
    audioDevice = platformAudioDevice();
    EXPECT_TRUE(audioDevice.versionMatches());
    EXPECT_FALSE(music.open());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Bass init error"});
    music.stop();
}
