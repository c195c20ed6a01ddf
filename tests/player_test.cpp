// player_test.cpp -- the real player under Xvfb: the installed player's sound, pause and seek, and the whole sequence ending by itself
#include "player_kit.h"

#include <algorithm>
#include <cmath>

#include "audio/music.h"

namespace {

// Installed under a prefix of its own and started in a folder whose data/ holds no track, the
// player plays the installed data (the generator's) and says nothing but what the keys do: it
// plays the track from its first sample; Space holds the picture, drawn again the same when
// another window has covered it, and the sound; the keys seek, landing on the frame
// talumen-render draws at that instant, across the cubes' hand-over to the city; on Space again
// the sound goes on from where the picture stands.
TEST_F(PlayerRun, TheInstalledPlayerPlaysItsDataAndPausesAndSeeksWithTheSound) {
    const std::string prefix = scratch + "/usr", track = prefix + "/share/talumen/data/talumen.ogg";
    const std::string install = "cmake --install '" + std::string(std::getenv("TALUMEN_BIN")) + "' --prefix '" + prefix + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;
    std::filesystem::remove("data/talumen.ogg");
    program = prefix + "/bin/talumen";
    ASSERT_EQ(renderTool("--data '" + prefix + "/share/talumen/data' --at 92500 '" + scratch + "/still.png'"), 0) << readWhole("tool.err");
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
    // SDL may write one buffer of its paused device (up to 1024 frames of exact zeros) before
    // the first callback; the track's first 8192 frames must follow that, unchanged.
    const size_t frames = 8192, lead = 1024 * 2;
    const auto playedEnough = [&] {
        const std::string bytes = readWhole(playedPath);
        const size_t from = bytes.find_first_not_of('\0');
        return from != std::string::npos && bytes.size() - from >= (frames * 2 + lead) * sizeof(float) + 65536;
    };
    for (const auto start = Clock::now(); !playedEnough() && secondsSince(start) < windowWait;) pause(0.1);
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
    const size_t paused = readWhole(playedPath).size();
    pause(0.5);
    const std::string quiet = readWhole(playedPath).substr(paused);
    EXPECT_TRUE(!quiet.empty() && quiet.find_first_not_of('\0') == std::string::npos) << "sound while paused";

    keys("key space");
    ASSERT_TRUE(said("talumen: playing from 92.500 s")) << output();
    pause(1.5);
    keys("key Escape");
    expectCleanExit();
    EXPECT_EQ(output().find("Error"), std::string::npos) << "a load failed: " << output();
    musicPath = track.c_str();
    ASSERT_TRUE(music.open() && music.channels() == 2);
    const std::string bytes = readWhole(playedPath);
    std::vector<float> played(bytes.size() / sizeof(float)), start(frames * 2);
    std::memcpy(played.data(), bytes.data(), played.size() * sizeof(float));
    copyTrackFrames(0, frames, start.data());
    bool found = false;
    for (size_t offset = 0; offset <= lead && !found; offset += 2)
        found = std::all_of(played.begin(), played.begin() + offset, [](float s) { return s == 0.0f; }) &&
                std::equal(start.begin(), start.end(), played.begin() + offset,
                           [](float want, float got) { return std::fabs(got - want) <= 1e-4f; });
    EXPECT_TRUE(found) << "what was played is not the track's start after at most 1024 silent frames";
    // Past the 5 ms fade-in, the track's own samples from 92.5 s on.
    const int64_t first = (92500 + 5) * int64_t(music.rate()) / 1000;
    // Read here from the start; the player, which held only the last seconds, read it after a seek.
    std::vector<float> resumed(8192 * 2);
    copyTrackFrames(first, 8192, resumed.data());
    EXPECT_NE(std::search(played.begin() + paused / sizeof(float), played.end(), resumed.begin(), resumed.end()), played.end())
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
