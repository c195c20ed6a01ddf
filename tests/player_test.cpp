// player_test.cpp -- the real player under Xvfb: the installed player's sound, pause and seek, and the whole sequence ending by itself
#include "player_kit.h"

#include <algorithm>
#include <cmath>

#include "assets/texture.h"
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

// The viewer's keys on the generator's data, each landing on the frame talumen-render draws at
// its instant, paused: the digits, a frame on and back, 10 s on and back, End and Home, the
// help card over the frame until the next key, which still acts. m before, while it plays:
// the sound goes silent and comes back as the track's own samples, the picture going on.
TEST_F(PlayerRun, TheKeysLandWhereTheTableSaysAndMuteSilencesOnlyTheSound) {
    linkSharedData();
    // Each key, what it says, and the still it shows: byte for byte, or with the help card over
    // its middle (and nothing else changed).
    const struct Step {
        const char* key;
        const char* says;
        int32_t still;
        bool card = false;
    } steps[] = {
        {"1", "at 15.600 s", 15600},     {"period", "at 15.616 s", 15616}, {"period", "at 15.633 s", 15633},
        {"comma", "at 15.616 s", 15616}, {"l", "at 25.616 s", 25616},     {"j", "at 15.616 s", 15616},
        {"question", "", 15616, true},   {"period", "at 15.633 s", 15633}, {"h", "", 15633, true},
        {"j", "at 5.633 s", 5633},       {"4", "at 62.400 s", 62400},
        {"End", "at 150.000 s", 150000}, {"period", "at 150.016 s", 150016}, {"9", "at 140.400 s", 140400},
        {"Home", "at 0.000 s", 0},
    };
    ASSERT_EQ(renderTool("--at 0,5633,15600,15616,15633,25616,62400,140400,150000,150016 '" + scratch + "/stills/'"), 0)
        << readWhole("tool.err");
    const std::string playedPath = scratch + "/played";
    startAt(1280, 720, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + playedPath});
    ASSERT_NE(dialog(), 0u);
    keys("key --delay 150 Down Return");
    ASSERT_NE(waitForWindow("Demo"), 0u) << output();
    size_t heard = 0;
    const auto said = [&](const std::string& line) {
        for (const auto start = Clock::now(); secondsSince(start) < windowWait; pause(0.05))
            if (const size_t at = output().find("talumen: " + line, heard); at != std::string::npos) {
                heard = at + line.size();
                return true;
            }
        return false;
    };
    // Whole stereo frames of floats, however much of the last one the device has written.
    const auto played = [&] { return readWhole(playedPath).size() / 8 * 8; };
    for (const auto start = Clock::now(); played() < 65536 * 4 && secondsSince(start) < windowWait;) pause(0.1);

    keys("key m");
    ASSERT_TRUE(said("sound off")) << output();
    pause(0.2);  // past the fade, and what the device held
    const size_t muted = played();
    const Picture before = screenshot();
    pause(1.0);
    EXPECT_NE(screenshot().rgb, before.rgb) << "the picture stopped with the sound";
    // Muted samples are the track's times 0: some are -0.0.
    const std::string bytes = readWhole(playedPath);
    std::vector<float> silence((bytes.size() - muted) / sizeof(float));
    std::memcpy(silence.data(), bytes.data() + muted, silence.size() * sizeof(float));
    EXPECT_TRUE(silence.size() > 8192 && std::all_of(silence.begin(), silence.end(), [](float s) { return s == 0.0f; }))
        << "sound while muted";
    keys("key m");
    ASSERT_TRUE(said("sound on")) << output();
    pause(0.2);
    const size_t unmuted = played();
    pause(0.5);

    // The card as the build drew it, centred at one texel a pixel, 85 % over the frame.
    JpegDecoder decoder;
    const std::string jpeg = readWhole(std::string(std::getenv("TALUMEN_BIN")) + "/resources/keys.jpg");
    const bool decoded = decoder.begin() && decoder.readSize(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size()) &&
                         decoder.width == 512 && decoder.height == 512 && decoder.decode();
    const std::vector<uint8_t> drawn(decoder.rgb, decoded ? decoder.rgb + 512 * 512 * 3 : decoder.rgb);
    decoder.end();
    ASSERT_TRUE(decoded);
    const int cardX = (1280 - 512) / 2, cardY = (720 - 512) / 2;
    const auto middle = [&](const Picture& whole) {
        Picture part{512, 512, {}};
        for (int y = 0; y < 512; ++y) part.rgb.insert(part.rgb.end(), whole.at(cardX, cardY + y), whole.at(cardX + 512, cardY + y));
        return part;
    };

    keys("key k");
    ASSERT_TRUE(said("paused at ")) << output();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        keys(std::string("key ") + step.key);
        if (*step.says) {
            ASSERT_TRUE(said(step.says)) << output();
        }
        char name[32];
        std::snprintf(name, sizeof name, "/stills/%06d.png", step.still);
        const Picture still = readPng(scratch + name), under = middle(still);
        Picture card = under;
        for (size_t i = 0; i < card.rgb.size(); ++i) card.rgb[i] = uint8_t(std::lround(drawn[i] * 0.85 + under.rgb[i] * 0.15));
        // With the card, the frame shows around it, the card over it in the middle.
        const auto right = [&](const Picture& screen) {
            const long apart = pixelsApart(screen, still);
            return step.card ? apart == pixelsApart(screen, under, cardX, cardY) && psnr(middle(screen), card) >= 35 : apart == 0;
        };
        const Picture screen = screenUntil(right);
        std::printf("%-8s pixels apart from the still at %6d ms: %6ld", step.key, step.still, pixelsApart(screen, still));
        if (step.card) std::printf("; the card's part against the card over the still: %.1f dB", psnr(middle(screen), card));
        std::printf("\n");
        EXPECT_TRUE(right(screen));
    }
    keys("key k");
    ASSERT_TRUE(said("playing from 0.000 s")) << output();
    keys("key Escape");
    expectCleanExit();

    // Past the fade-in after m, the track's own samples, from wherever the clock stood then.
    ASSERT_TRUE(music.open() && music.channels() == 2);
    const std::string all = readWhole(playedPath);
    ASSERT_GT(all.size(), unmuted + 4096 * 2 * sizeof(float));
    std::vector<float> back(4096 * 2), track(40 * 44100 * 2);
    std::memcpy(back.data(), all.data() + unmuted, back.size() * sizeof(float));
    copyTrackFrames(0, 40 * 44100, track.data());
    ASSERT_TRUE(std::any_of(back.begin(), back.end(), [](float s) { return s != 0.0f; })) << "silence after m once more";
    const auto near = [](float want, float got) { return std::fabs(got - want) <= 1e-4f; };
    EXPECT_NE(std::search(track.begin(), track.end(), back.begin(), back.end(), near), track.end())
        << "what played after m once more is not the track";
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
