// sdl_audio_check.cpp -- the player's SDL sound device on SDL's dummy driver, and no device at all
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/music.h"
#include "ogg_fixture.h"
#include "platform/player.h"
#include "testkit.h"

TEST(SdlAudio, NoOutputIsAnInitErrorAndThePositionFollowsWallTimeWithoutRunningAhead) {
    TempDir dir;
    recordMessages();
    // Mono at 48 kHz: the device takes the track's own layout and pace.
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 3.0, 1000.0, 0.9f, 1, 48000), 1, 48000));
    audioDevice = platformAudioDevice();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(music.open());
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Error: Bass init error"});
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(music.open());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(music.play());
    int64_t previous = 0;
    bool heard = false;
    for (double wall = 0; wall < 0.6;) {
        const int64_t frame = audioDevice.audibleFrame();
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_GE(frame, previous);
        EXPECT_LE(frame, static_cast<int64_t>(wall * 48000) + 480) << wall;
        previous = frame;
        heard = heard || (frame > 2048 && music.level() > 0.7L);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    // A loaded machine may run the audio thread late, never far behind.
    EXPECT_GT(previous, static_cast<int64_t>(0.2 * 48000));
    EXPECT_TRUE(heard);
    EXPECT_EQ(recordedMessages().size(), 1u);
    music.stop();
}
