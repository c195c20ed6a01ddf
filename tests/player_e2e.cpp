// player_e2e.cpp -- the real player under Xvfb: what it plays, and the whole sequence ending by itself
#include "player_kit.h"

#include <algorithm>
#include <cmath>
#include <functional>

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
    std::vector<float> expected(frames * 2);
    copyTrackFrames(0, frames, expected.data());
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

// Space holds the picture, drawn again the same when the window is uncovered, and the sound;
// the keys seek, landing on the frame talumen-render draws at that instant, across the cubes'
// hand-over to the city; on Space again the sound goes on from where the picture stands.
TEST_F(PlayerRun, KeysPauseAndSeekWithTheSound) {
    std::filesystem::remove_all("data");
    std::filesystem::create_directory_symlink(sharedData(), "data");
    ASSERT_EQ(renderTool("--at 92500 '" + scratch + "/still.png'"), 0) << readText("tool.err");
    const std::string playedPath = scratch + "/played";
    startAt(1280, 720, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + playedPath});
    ASSERT_NE(dialog(), 0u);
    keys("key --delay 150 Down Return");
    ASSERT_NE(waitForWindow("Demo"), 0u) << output();
    const auto said = [&](const std::string& lines) {
        for (const auto start = Clock::now(); secondsSince(start) < windowWait; pause(0.1))
            if (output().find(lines) != std::string::npos) return true;
        return false;
    };
    // Each line comes once its frame is on screen; a loaded machine may show it a little later.
    const auto screenUntil = [&](const std::function<bool(const Picture&)>& good) {
        Picture screen = screenshot();
        for (const auto start = Clock::now(); !good(screen) && secondsSince(start) < windowWait; pause(0.2))
            screen = screenshot();
        return screen;
    };
    pause(1.0);
    keys("key space");
    ASSERT_TRUE(said("talumen: paused at ")) << output();
    pause(0.5);
    const Picture held = screenshot();
    const Window cover = XCreateSimpleWindow(display, DefaultRootWindow(display), 200, 150, 400, 300, 0, 0, 0xffffff);
    XMapRaised(display, cover), XFlush(display), pause(0.5);
    XDestroyWindow(display, cover), XFlush(display);
    const auto same = [&](const Picture& screen) { return screen.rgb == held.rgb; };
    EXPECT_TRUE(same(screenUntil(same))) << "the paused frame changed: " << output();
    pause(1.0);
    EXPECT_TRUE(same(screenshot())) << "the paused frame changed: " << output();

    keys("key --delay 300 Home Next Next Left Right");
    ASSERT_TRUE(said("at 0.000 s\ntalumen: at 56.500 s\ntalumen: at 92.500 s\ntalumen: at 82.500 s\ntalumen: at 92.500 s\n"))
        << output();
    const Picture still = readPng(scratch + "/still.png");
    const double db = psnr(screenUntil([&](const Picture& screen) { return psnr(screen, still) >= 40; }), still);
    std::printf("PSNR of the screen after five seeks against the still at 92500 ms: %.1f dB\n", db);
    EXPECT_GE(db, 40.0);
    const size_t paused = readText(playedPath).size();
    pause(0.5);
    const std::string quiet = readText(playedPath).substr(paused);
    EXPECT_TRUE(!quiet.empty() && quiet.find_first_not_of('\0') == std::string::npos) << "sound while paused";

    keys("key space");
    ASSERT_TRUE(said("talumen: playing from 92.500 s")) << output();
    pause(1.5);
    keys("key Escape");
    expectCleanExit();
    // Past the 5 ms fade-in, the track's own samples from 92.5 s on.
    ASSERT_TRUE(music.open());
    const int64_t first = (92500 + 5) * int64_t(music.rate()) / 1000;
    // Read here from the start; the player, which held only the last seconds, read it after a seek.
    std::vector<float> track(8192 * 2);
    copyTrackFrames(first, 8192, track.data());
    const std::string after = readText(playedPath).substr(paused);
    std::vector<float> heard(after.size() / sizeof(float));
    std::memcpy(heard.data(), after.data(), heard.size() * sizeof(float));
    EXPECT_NE(std::search(heard.begin(), heard.end(), track.begin(), track.end()), heard.end())
        << "the track from 92.5 s was not played after the pause";
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
