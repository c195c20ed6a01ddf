// player_e2e.cpp -- the real player under Xvfb: what it plays, and the whole sequence ending by itself
#include "player_kit.h"

#include <algorithm>
#include <cmath>

#include "audio/music.h"

namespace {

TEST_F(PlayerRun, WhatIsPlayedStartsWithTheTracksFirstSamples) {
    startAt(1024, 768, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + scratch + "/played"});
    ASSERT_NE(dialog(), 0u);
    keys("key Return");
    ASSERT_NE(waitForWindow("Demo"), 0u);
    pause(1.5);
    keys("key Escape");
    expectCleanExit();
    const size_t frames = 8192, lead = 1024 * 2;  // the reference: the track decoded as the player decodes it
    ASSERT_TRUE(music.open() && music.frameCount() >= int64_t(frames) && music.channels() == 2);
    const std::vector<float> expected(music.samples(), music.samples() + frames * 2);
    // SDL may write one buffer of its paused device (up to 1024 frames of exact zeros) before
    // the first callback; the track must follow that, unchanged.
    const std::string played = readText(scratch + "/played");
    ASSERT_GE(played.size(), (expected.size() + lead) * sizeof(float)) << "too little was played";
    std::vector<float> heard(expected.size() + lead);
    std::memcpy(heard.data(), played.data(), heard.size() * sizeof(float));
    bool found = false;
    for (size_t offset = 0; offset <= lead && !found; offset += 2)
        found = std::all_of(heard.begin(), heard.begin() + offset, [](float s) { return s == 0.0f; }) &&
                std::equal(expected.begin(), expected.end(), heard.begin() + offset,
                           [](float want, float got) { return std::fabs(got - want) <= 1e-4f; });
    EXPECT_TRUE(found) << "what was played is not the track's start after at most 1024 silent frames";
}

TEST_F(PlayerRun, TheWholeSequencePlaysAndEndsByItself) {
    startAt(1024, 768);
    ASSERT_NE(dialog(), 0u);
    keys("key Return");
    ASSERT_NE(waitForWindow("Demo"), 0u);
    const auto shown = Clock::now();
    expectCleanExit(200);
    // The clock starts once loading and the music are done, after the window appears.
    EXPECT_GE(secondsSince(shown), 155.0);
    std::printf("peak resident memory of the player over the whole run: %ld KiB\n", usage.ru_maxrss);
    RecordProperty("peak_rss_kib", static_cast<int>(usage.ru_maxrss));
}

}  // namespace
