// player_exits_test.cpp -- every way out of the real player: from the dialog, during loading, in the loop, on hostile data; nothing written
#include "player_kit.h"

namespace {

namespace fs = std::filesystem;

// Where the player is stopped, and how; each way ends with its code (0 unless no window could be
// made), the window gone, the project untouched and only the messages expected. No demo window
// may show while the dialog ends.
enum Phase { InTheDialog, Loading, Playing, Anywhere };
enum How { ByItself, ByEscape, ByClose, BySigint, BySigterm, BySighup, BySigtermOverABox };
struct Way {
    const char* name = "";
    const char* dialogKeys = "Return";  // "Down Return" picks 1280x720
    Phase phase = Playing;
    How how = ByItself;
    const char* messages = "";  // in order, one letter each: p a picture's, m a mesh's, M the music's, w the window's
    void (*spoil)() = nullptr;
    std::vector<std::string> environment = {};
    int code = 0;
};
const char* everyLoadFails = "ppppppppmmpppmpppmmpppmpM";
const Way ways[] = {
    {"EscapeInTheDialog", nullptr, InTheDialog, ByEscape},
    {"CloseBoxOfTheDialog", nullptr, InTheDialog, ByClose},  // no mode chosen: the 0 x 0 window is refused
    {"SigintInTheDialog", nullptr, InTheDialog, BySigint},
    {"ExitButton", "Tab Tab space", InTheDialog},  // from the checked choice, through "Run Demo"
    // A demo nobody can see is a failure, said as such.
    {"InvisibleVideoDriverRefused", "Return", InTheDialog, ByItself, "w", nullptr, {"SDL_VIDEODRIVER=offscreen"}, 1},
    {"EnterRunsAt1024x768AndEscapeEnds", "Return", Playing, ByEscape},
    {"DownEnterRunsAt1280x720AndCloseEnds", "Down Return", Playing, ByClose},
    {"SigintWhilePlaying", "Return", Playing, BySigint},
    {"SigtermWhilePlaying", "Return", Playing, BySigterm},
    {"SighupWhilePlaying", "Return", Playing, BySighup},
    // The box for the first picture, over the window as its own, ended with the run.
    {"SigtermOverAMessageBox", "Return", Anywhere, BySigtermOverABox, "p", [] { fs::remove("data/norvi.jpg"); }},
    {"EscapeDuringLoading", "Return", Loading, ByEscape},
    {"CloseDuringLoading", "Return", Loading, ByClose},
    {"SigintDuringLoading", "Return", Loading, BySigint},
    {"SigtermDuringLoading", "Return", Loading, BySigterm},
    {"MusicMissing", "Return", Anywhere, ByItself, "M", [] { fs::remove("data/talumen.ogg"); }},
    {"EveryFileMissing", "Return", Anywhere, ByItself, everyLoadFails, [] { fs::remove_all("data"); }},
    {"DataIsAFile", "Return", Anywhere, ByItself, everyLoadFails, [] { fs::remove_all("data"); writeFile("data", ""); }},
    {"DamagedFilesPlayOn", "Return", Playing, ByEscape, "pp", [] {
         writeFile("data/norvi.jpg", ""); writeFile("data/3a.jpg", "\x89PNG\r\n\x1a\n garbage");
         writeFile("data/star1.obj", std::string(4096, '\0')); writeFile("data/cube.obj", "v 0 0 0\nf 0/0/0 -1/-1/-1 9/9/9\n"); }},
};

void PrintTo(const Way& way, std::ostream* out) { *out << way.name; }  // names each case in CTest

struct PlayerExit : PlayerRun, ::testing::WithParamInterface<Way> {};

TEST_P(PlayerExit, EndsCleanly) {
    const Way& way = GetParam();
    if (way.spoil) way.spoil();
    // A million-face tree, the last mesh loaded, keeps loading busy long enough to be caught at it.
    std::string faces;
    for (int i = 0; way.phase == Loading && i < 1000000; ++i) faces += "f 1/1/1 2/2/1 3/3/1\n";
    if (way.phase == Loading) writeFile("data/tree.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n" + faces);
    const bool wide = way.dialogKeys && std::string(way.dialogKeys) == "Down Return";
    const int width = wide ? 1280 : 1024, height = wide ? 720 : 768;
    boxesDrawn = way.how == BySigtermOverABox;
    startAt(width, height, way.environment);
    Window window = dialog();
    if (way.dialogKeys) keys("key --delay 150 " + std::string(way.dialogKeys));
    if (way.phase == Loading || way.phase == Playing) window = waitForWindow("Demo");
    ASSERT_NE(window, 0u) << (way.phase == InTheDialog ? "no dialog" : "no demo window");
    if (way.phase == Loading) {
        // Caught while the player holds the tree open: polled often, as loading lasts about a second.
        const fs::path treePath = fs::absolute("data/tree.obj"), fds = "/proc/" + std::to_string(pid) + "/fd";
        bool reading = false;
        std::error_code error;
        for (const auto start = Clock::now(); !reading && secondsSince(start) < windowWait; pause(0.002))
            for (const auto& fd : fs::directory_iterator(fds, error)) reading = reading || fs::read_symlink(fd.path(), error) == treePath;
        ASSERT_TRUE(reading) << "loading was not caught";
    }
    if (way.phase == Playing) {
        // Full screen at the mode chosen, and black from edge to edge, bands included (the root is white).
        XWindowAttributes at{};
        XGetWindowAttributes(display, window, &at);
        EXPECT_EQ(std::vector<int>({at.x, at.y, at.width, at.height}), std::vector<int>({0, 0, width, height}));
        pause(3.0);
        EXPECT_EQ(findWindow("norvi"), 0u) << "the dialog is still up";
        XImage* screen = XGetImage(display, DefaultRootWindow(display), 0, 0, width, height, AllPlanes, ZPixmap);
        ASSERT_NE(screen, nullptr);
        long lit = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) lit += (XGetPixel(screen, x, y) & 0xf0f0f0) != 0;
        XDestroyImage(screen);
        if (!way.spoil) { EXPECT_EQ(lit, 0) << "the screen is not all black"; }
        ASSERT_FALSE(waitExit(0)) << "the player ended by itself: " << output();
    }
    if (way.how == ByEscape) keys("key Escape");
    if (way.how == ByClose) requestClose(window);
    if (way.how == BySigtermOverABox) {
        const Window box = waitForWindow("Error");
        ASSERT_NE(box, 0u) << "no message box: " << output();
        Window owner = 0;
        EXPECT_TRUE(XGetTransientForHint(display, box, &owner) && owner == findWindow("Demo")) << "the box has no owner";
    }
    if (way.how == BySighup) kill(pid, SIGHUP);
    if (way.how == BySigint || way.how == BySigterm || way.how == BySigtermOverABox)
        kill(pid, way.how == BySigint ? SIGINT : SIGTERM);
    for (const auto start = Clock::now(); way.phase == InTheDialog && !waitExit(0.05) && secondsSince(start) < exitWait;)
        ASSERT_EQ(findWindow("Demo"), 0u) << "a demo window showed";
    expectCleanExit(exitWait + 60, way.code);  // a stop during loading waits for its end
    std::string expected;
    for (const char* code = way.messages; *code; ++code)
        expected += *code == 'p' ? "Error: Read params error!\n" : *code == 'm' ? "App: Error opening .obj file\n"
                    : *code == 'M' ? "Error: Music opening error\n"
                                   : "talumen: Cannot play full screen: no display (the video driver \"offscreen\" shows nothing)\n";
    EXPECT_EQ(output(), expected);
}

// With no display the dialog cannot open: that is said, and the run fails.
TEST_F(PlayerRun, WithoutADisplayItSaysSoAndFails) {
    startAt(1024, 768, {"DISPLAY="});
    expectCleanExit(exitWait, 1);
    EXPECT_EQ(output(), "talumen: Cannot show the setup dialog: there is no display to play on.\n");
}

INSTANTIATE_TEST_SUITE_P(Ways, PlayerExit, ::testing::ValuesIn(ways));

}  // namespace
