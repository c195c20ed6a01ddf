// player_screens.cpp -- the player on screens without the chosen mode: scaled to fit, as talumen-render draws it; the installed player
#include "player_kit.h"

#include <cmath>

namespace {

namespace fs = std::filesystem;

// A screen of screenW x screenH (Xvfb has that one mode only) and the mode chosen in the dialog.
struct Screen {
    int screenW = 0, screenH = 0, width = 0, height = 0;
};
const Screen screens[] = {
    {1920, 1080, 1024, 768}, {1920, 1080, 1280, 720},  // larger
    {800, 600, 1024, 768},   {800, 600, 1280, 720},    // smaller
    {1280, 1024, 1024, 768}, {1280, 1024, 1280, 720},  // another aspect, one side as wide as the mode
};
void PrintTo(const Screen& s, std::ostream* out) {
    *out << s.width << "x" << s.height << "On" << s.screenW << "x" << s.screenH;
}

std::string scaledLine(int width, int height, int screenW, int screenH) {
    return "talumen: the " + std::to_string(width) + "x" + std::to_string(height) +
           " display mode is not available; playing at " + std::to_string(screenW) + "x" + std::to_string(screenH) +
           ", scaled to fit\n";
}

// A still picture while the music is silent: every reading is 0, so the opening's overlay wipes
// the moving backdrop and only the logo card shows, in the mode's pixel space. The card has soft
// gradients and hard block edges, so a misplaced or mis-scaled frame costs many decibels.
void writeSteadyFixture() {
    const int side = 64;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            rgb.insert(rgb.end(), {uint8_t(40 + 3 * x), uint8_t(30 + 3 * y), uint8_t(((x / 4 + y / 4) % 2) ? 220 : 20)});
    writeJpeg("data/norvi.jpg", side, side, rgb.data(), 95);
    ASSERT_TRUE(writeOggVorbis("data/talumen.ogg", silenceThenSine(20, 0, 440, 0.0f, 2, 44100), 2, 44100));
}

// The still scaled bilinearly onto the area (pixel centres mapped onto pixel centres) and compared
// there; elsewhere the screen must be black. PSNR in dB over the area's RGB channels.
double psnrOfScaled(const Picture& still, const Picture& screen, int x0, int y0, int w, int h, long& litOutside) {
    double squares = 0;
    litOutside = 0;
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
            const uint8_t* got = screen.at(x, y);
            if (x < x0 || x >= x0 + w || y < y0 || y >= y0 + h) {
                litOutside += (got[0] | got[1] | got[2]) > 15;
                continue;
            }
            const double u = std::clamp((x - x0 + 0.5) * still.width / w - 0.5, 0.0, still.width - 1.0);
            const double v = std::clamp((y - y0 + 0.5) * still.height / h - 0.5, 0.0, still.height - 1.0);
            const int u0 = static_cast<int>(u), v0 = static_cast<int>(v);
            const int u1 = std::min(u0 + 1, still.width - 1), v1 = std::min(v0 + 1, still.height - 1);
            const double fu = u - u0, fv = v - v0;
            for (int c = 0; c < 3; ++c) {
                const double top = still.at(u0, v0)[c] * (1 - fu) + still.at(u1, v0)[c] * fu;
                const double bottom = still.at(u0, v1)[c] * (1 - fu) + still.at(u1, v1)[c] * fu;
                const double d = top * (1 - fv) + bottom * fv - got[c];
                squares += d * d;
            }
        }
    const double mse = squares / (3.0 * w * h);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

struct PlayerScaled : PlayerRun, ::testing::WithParamInterface<Screen> {};

TEST_P(PlayerScaled, ShowsTheStillOfTheModeScaledToFitAndEndsWithEscape) {
    const Screen s = GetParam();
    writeSteadyFixture();
    const std::string still = scratch + "/still.png";
    const std::string render = std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-render --fps 10 --size " +
                               std::to_string(s.width) + "x" + std::to_string(s.height) + " --data data --at 2000 '" +
                               still + "' 2>'" + scratch + "/render.err'";
    ASSERT_EQ(std::system(render.c_str()), 0) << render << "\n" << readText(scratch + "/render.err");
    const Picture reference = readPng(still);
    ASSERT_EQ(reference.width, s.width);
    long lit = 0;
    for (size_t i = 0; i < reference.rgb.size(); i += 3) lit += reference.rgb[i] > 15;
    ASSERT_GT(lit, long(s.width) * (s.width == 1024 ? 576 : 720) / 2) << "the still shows too little to compare";

    startAt(s.screenW, s.screenH);
    ASSERT_NE(dialog(), 0u);
    keys(std::string("key --delay 150 ") + (s.width == 1280 ? "Down Return" : "Return"));
    const Window window = waitForWindow("Demo");
    ASSERT_NE(window, 0u) << output();
    XWindowAttributes at{};
    XGetWindowAttributes(display, window, &at);
    EXPECT_EQ(std::vector<int>({at.x, at.y, at.width, at.height}), std::vector<int>({0, 0, s.screenW, s.screenH}));
    // Fitted by hand: the whole mode, as large as the screen allows, centred.
    const double scale = std::min(double(s.screenW) / s.width, double(s.screenH) / s.height);
    const int w = static_cast<int>(std::lround(s.width * scale)), h = static_cast<int>(std::lround(s.height * scale));
    // Looked at until the first frames are up (loading takes its time on a loaded machine).
    double psnr = 0;
    long litOutside = 0;
    for (const auto start = Clock::now(); secondsSince(start) < windowWait && !(psnr >= 40 && litOutside == 0);) {
        pause(1.0);
        const Picture screen = screenshot();
        ASSERT_EQ(screen.width, s.screenW);
        psnr = psnrOfScaled(reference, screen, (s.screenW - w) / 2, (s.screenH - h) / 2, w, h, litOutside);
    }
    std::printf("PSNR of the scaled picture against the still: %.1f dB\n", psnr);
    // A frame 3 pixels off already falls to about 32 dB; a right one is above 60.
    EXPECT_GE(psnr, 40.0);
    EXPECT_EQ(litOutside, 0) << "the screen around the picture is not black";

    keys("key Escape");
    expectCleanExit();
    EXPECT_EQ(output(), scaledLine(s.width, s.height, s.screenW, s.screenH));
}

INSTANTIATE_TEST_SUITE_P(Screens, PlayerScaled, ::testing::ValuesIn(screens));

// Installed under a prefix of its own and started in a folder whose data/ holds no track, the player
// plays the installed data: nothing fails to load, so the one line it says is the scaling's.
TEST_F(PlayerRun, TheInstalledPlayerPlaysItsOwnDataFromAnyFolder) {
    const std::string install = "cmake --install '" + std::string(std::getenv("TALUMEN_BIN")) + "' --prefix '" +
                                scratch + "/usr' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;
    fs::remove("data/talumen.ogg");
    program = scratch + "/usr/bin/talumen";
    startAt(1920, 1080);
    ASSERT_NE(dialog(), 0u);
    keys("key Return");
    ASSERT_NE(waitForWindow("Demo"), 0u) << output();
    // Shown once the sides are black (the root is white) and the 1440 x 1080 picture has something in it.
    long lit = 0, litSides = -1;
    for (const auto start = Clock::now(); secondsSince(start) < windowWait && (litSides != 0 || lit <= 1000);) {
        pause(1.0);
        const Picture screen = screenshot();
        lit = litSides = 0;
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x) {
                const uint8_t* p = screen.at(x, y);
                ((x < 240 || x >= 1680) ? litSides : lit) += (p[0] | p[1] | p[2]) > 40;
            }
    }
    EXPECT_EQ(litSides, 0) << "the picture is not scaled to fit";
    EXPECT_GT(lit, 1000) << "nothing of the demo shows";
    keys("key Escape");
    expectCleanExit();
    EXPECT_EQ(output(), scaledLine(1024, 768, 1920, 1080));
}

}  // namespace
