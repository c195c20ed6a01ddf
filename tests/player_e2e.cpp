// player_e2e.cpp -- the real player under Xvfb, driven as a viewer would: dialog, window, keys, close, the whole run
#include "player_kit.h"

#include <vorbis/vorbisfile.h>

#include <cmath>

namespace {

void expectFullScreenBlack(XServer& server, Window demo, int width, int height) {
    const XWindowAttributes at = server.attributes(demo);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 0);
    EXPECT_EQ(at.width, width);
    EXPECT_EQ(at.height, height);
    // Give the loop a few frames; the white root would show wherever the window does not cover.
    pause(1.5);
    EXPECT_EQ(server.findWindow("norvi"), 0u) << "the dialog is still up";
    EXPECT_EQ(server.litPixels(), 0) << "the screen is not all black";
}

TEST_F(PlayerRun, EnterRunsAt1024x768FullScreenBlackAndEscapeEnds) {
    startAt(1024, 768);
    const Window demo = runDemo("Return");
    ASSERT_NE(demo, 0u) << "no demo window after Enter";
    expectFullScreenBlack(server, demo, 1024, 768);
    server.keys("key Escape");
    expectCleanExit();
    EXPECT_EQ(server.findWindow("Demo"), 0u);
}

TEST_F(PlayerRun, DownThenEnterRunsAt1280x720AndClosingTheWindowEnds) {
    startAt(1280, 720);
    const Window demo = runDemo("Down Return");
    ASSERT_NE(demo, 0u) << "no demo window after Down, Enter";
    expectFullScreenBlack(server, demo, 1280, 720);
    server.requestClose(demo);
    expectCleanExit();
    EXPECT_EQ(server.findWindow("Demo"), 0u);
}

TEST_F(PlayerRun, EscapeInTheDialogEndsWithoutWindow) {
    startAt(1024, 768);
    ASSERT_NE(dialog(), 0u);
    server.keys("key Escape");
    expectEndWithoutDemo();
}

TEST_F(PlayerRun, CloseBoxEndsWithoutWindow) {
    startAt(1024, 768);
    const Window window = dialog();
    ASSERT_NE(window, 0u);
    // The close box: no resolution is chosen, so the window creation refuses the 0 x 0 mode.
    server.requestClose(window);
    expectEndWithoutDemo();
}

TEST_F(PlayerRun, ExitButtonEndsWithoutWindow) {
    startAt(1024, 768);
    ASSERT_NE(dialog(), 0u);
    // From the checked choice: "Run Demo", then "Exit"; space presses the focused button.
    server.keys("key --delay 150 Tab Tab space");
    expectEndWithoutDemo();
}

TEST_F(PlayerRun, InvisibleVideoDriversAreRefused) {
    // Run Demo with a driver that would play unseen: the window creation must fail, silently.
    startAt(1024, 768, true, true, {"SDL_VIDEODRIVER=offscreen"});
    ASSERT_NE(dialog(), 0u);
    server.keys("key Return");
    expectEndWithoutDemo();
    EXPECT_EQ(readText(player.errors), "");
}

TEST_F(PlayerRun, StopSignalsEndThroughTheNormalWayOut) {
    startAt(1024, 768);
    ASSERT_NE(runDemo("Return"), 0u);
    pause(0.5);
    kill(player.pid, SIGTERM);
    expectCleanExit();
    EXPECT_EQ(server.findWindow("Demo"), 0u);
}

TEST_F(PlayerRun, StopSignalInTheDialogEndsWithoutWindow) {
    startAt(1024, 768);
    ASSERT_NE(dialog(), 0u);
    kill(player.pid, SIGINT);
    expectEndWithoutDemo();
}

TEST_F(PlayerRun, MissingMusicIsReportedOnStderrWhenNoBoxCanBeShown) {
    startAt(1024, 768, false, false);
    ASSERT_NE(runDemo("Return"), 0u);
    expectCleanExit();
    EXPECT_NE(readText(player.errors).find("Error: Music opening error\n"), std::string::npos)
        << readText(player.errors);
}

TEST_F(PlayerRun, MissingMusicShowsAModalBox) {
    startAt(1024, 768, false, true);
    ASSERT_NE(runDemo("Return"), 0u);
    const Window box = server.waitForWindow("Error", windowWait);
    ASSERT_NE(box, 0u) << "no message box";
    // The box holds the player until it is answered.
    EXPECT_FALSE(player.waitExit(1.0));
    server.focus(box);
    server.keys("key Return");
    expectCleanExit();
    EXPECT_EQ(readText(player.errors).find("Music opening error"), std::string::npos) << "a box was shown, not a line";
}

// The track's first frames, decoded as the player decodes them.
std::vector<float> trackStart(const char* path, int frames) {
    std::vector<float> samples;
    OggVorbis_File file;
    if (ov_fopen(path, &file) != 0) return samples;
    while (static_cast<int>(samples.size()) < frames * 2) {
        float** pcm = nullptr;
        int section = 0;
        const long got = ov_read_float(&file, &pcm, 1024, &section);
        if (got <= 0) break;
        for (long i = 0; i < got; ++i) {
            samples.push_back(pcm[0][i]);
            samples.push_back(pcm[1][i]);
        }
    }
    ov_clear(&file);
    samples.resize(std::min<size_t>(samples.size(), static_cast<size_t>(frames) * 2));
    return samples;
}

TEST_F(PlayerRun, WhatIsPlayedStartsWithTheTracksFirstSamples) {
    startAt(1024, 768, true, true, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=played.raw"});
    ASSERT_NE(runDemo("Return"), 0u);
    pause(1.5);
    server.keys("key Escape");
    expectCleanExit();

    const int frames = 8192;
    const std::vector<float> expected = trackStart("data/talumen.ogg", frames);
    ASSERT_EQ(expected.size(), static_cast<size_t>(frames) * 2);
    const std::string played = readText("played.raw");
    // SDL may write one buffer of its paused device (up to 1024 frames of exact zeros)
    // before the first callback; the track must follow that, unchanged.
    const size_t lead = 1024 * 2;
    ASSERT_GE(played.size(), (expected.size() + lead) * sizeof(float)) << "too little was played";
    std::vector<float> heard(expected.size() + lead);
    std::memcpy(heard.data(), played.data(), heard.size() * sizeof(float));
    auto matchesFrom = [&](size_t offset) {
        for (size_t i = 0; i < offset; ++i)
            if (heard[i] != 0.0f) return false;
        for (size_t i = 0; i < expected.size(); ++i)
            if (std::fabs(heard[offset + i] - expected[i]) > 1e-4f) return false;
        return true;
    };
    bool found = false;
    for (size_t offset = 0; offset <= lead && !found; offset += 2) found = matchesFrom(offset);
    EXPECT_TRUE(found) << "what was played is not the track's start after at most 1024 silent frames";
}

TEST_F(PlayerRun, TheWholeSequencePlaysAndEndsByItself) {
    startAt(1024, 768);
    ASSERT_NE(runDemo("Return"), 0u);
    const auto shown = Clock::now();
    ASSERT_TRUE(player.waitExit(200)) << "the player did not end by itself";
    EXPECT_EQ(player.exitCode(), 0);
    // The clock starts once loading and the music are done, after the window appears.
    EXPECT_GE(secondsSince(shown), 155.0);
    EXPECT_EQ(server.findWindow("Demo"), 0u);
    std::printf("peak resident memory of the player over the whole run: %ld KiB\n", player.usage.ru_maxrss);
    RecordProperty("peak_rss_kib", static_cast<int>(player.usage.ru_maxrss));
}

}  // namespace
