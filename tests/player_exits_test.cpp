// player_exits_test.cpp -- every way out of the real player: from the dialog, during loading, while it plays, scaled to fit or not, on hostile data; nothing written, nothing forked while threads run
#include "player_kit.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// Where the player is stopped, and how; each way ends with its code (0 unless no window could be
// made), the window gone, the project untouched and only the messages expected. No demo window
// may show while the dialog ends. While it plays, it shows talumen-render's still of the mode
// chosen, scaled to fit where the screen (Xvfb has one mode only) is of another size; where
// f is pressed, it shows it unscaled in a window of the mode's size, and full screen again
// after f once more, the display's mode given back each time.
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
    int screenW = 0, screenH = 0;  // the screen, where it is not of the mode chosen
    bool windowAndBack = false;    // f to a window and f back to full screen before the way out
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
    {"WindowAndBackAt1024x768AndEscapeEnds", "Return", Playing, ByEscape, "", nullptr, {}, 0, 0, 0, true},
    {"DownEnterRunsAt1280x720AndCloseEnds", "Down Return", Playing, ByClose},
    // Scaled onto a larger screen, a smaller one and one of another aspect, one side as wide as the mode.
    {"SigintWhilePlaying1024x768On1920x1080", "Return", Playing, BySigint, "", nullptr, {}, 0, 1920, 1080},
    {"SigtermWhilePlaying1280x720On1920x1080", "Down Return", Playing, BySigterm, "", nullptr, {}, 0, 1920, 1080},
    {"WindowAndBackThenSigterm1024x768On1920x1080", "Return", Playing, BySigterm, "", nullptr, {}, 0, 1920, 1080, true},
    {"SighupWhilePlaying1024x768On800x600", "Return", Playing, BySighup, "", nullptr, {}, 0, 800, 600},
    {"EscapeWhilePlaying1280x720On800x600", "Down Return", Playing, ByEscape, "", nullptr, {}, 0, 800, 600},
    // The window is larger than the screen, centred over it.
    {"WindowAndBackThenClose1280x720On800x600", "Down Return", Playing, ByClose, "", nullptr, {}, 0, 800, 600, true},
    {"CloseWhilePlaying1024x768On1280x1024", "Return", Playing, ByClose, "", nullptr, {}, 0, 1280, 1024},
    {"EscapeWhilePlaying1280x720On1280x1024", "Down Return", Playing, ByEscape, "", nullptr, {}, 0, 1280, 1024},
    // The box for the first picture, over the window as its own, ended with the run.
    {"SigtermOverAMessageBox", "Return", Anywhere, BySigtermOverABox, "p", [] { fs::remove("data/norvi.jpg"); }},
    {"EscapeDuringLoading", "Return", Loading, ByEscape},
    {"CloseDuringLoading", "Return", Loading, ByClose},
    {"SigintDuringLoading", "Return", Loading, BySigint},
    {"SigtermDuringLoading", "Return", Loading, BySigterm},
    {"MusicMissing", "Return", Anywhere, ByItself, "M", [] { fs::remove("data/talumen.ogg"); }},
    {"EveryFileMissing", "Return", Anywhere, ByItself, everyLoadFails, [] { fs::remove_all("data"); }},
    // The still is drawn from the same files, so it shows what the player must.
    {"DamagedFilesPlayOn", "Return", Playing, ByEscape, "pp", [] {
         writeFile("data/talumen.jpg", ""); writeFile("data/3a.jpg", "\x89PNG\r\n\x1a\n garbage");
         writeFile("data/star1.obj", std::string(4096, '\0')); writeFile("data/cube.obj", "v 0 0 0\nf 0/0/0 -1/-1/-1 9/9/9\n"); }},
};

void PrintTo(const Way& way, std::ostream* out) { *out << way.name; }  // names each case in CTest

// What the player's processes forked, as fork_watch (tests/preload) noted it.
struct ForkLog {
    struct Fork {
        int process = 0, number = 0, threads = 0;  // the K-th fork of process, with its threads then
        int child = 0;
        std::string inheritable = "?";  // what a program started right after it would inherit
    };
    std::vector<Fork> forks;
    int sleeper = 0;  // a child the player started before main: neither a box nor a dialog
};

ForkLog readForkLog(const std::string& path) {
    ForkLog log;
    std::istringstream lines(readWhole(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, held;
        int a = 0, b = 0, c = 0;
        words >> kind >> a >> b;
        if (kind == "sleeper") log.sleeper = a;
        if (kind == "fork" && words >> c) log.forks.push_back({a, b, c});
        if (kind == "open") std::getline(words >> std::ws, held);
        if (kind == "born") words >> c;
        for (ForkLog::Fork& fork : log.forks) {
            if (kind == "born" && fork.process == b && fork.number == c) fork.child = a;
            if (kind == "open" && fork.process == a && fork.number == b) fork.inheritable = held;
        }
    }
    return log;
}

// Still the "sleep" it was started as, and not a zombie.
bool sleeping(int process) {
    const std::string stat = readWhole("/proc/" + std::to_string(process) + "/stat");
    const size_t name = stat.find(" (sleep) ");
    return name != std::string::npos && stat.size() > name + 9 && stat[name + 9] != 'Z' && stat[name + 9] != 'X';
}

// The process that made a window, as it says itself; 0 where it does not.
int windowProcess(Display* display, Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = nullptr;
    int process = 0;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type,
                           &format, &count, &after, &value) == Success && value && count == 1 && format == 32)
        process = static_cast<int>(*reinterpret_cast<unsigned long*>(value));
    if (value) XFree(value);
    return process;
}

struct PlayerExit : PlayerRun, ::testing::WithParamInterface<Way> {
    std::string forkLog = scratch + "/forks";
    void TearDown() override {
        if (const int sleeper = readForkLog(forkLog).sleeper) kill(sleeper, SIGKILL);
        PlayerRun::TearDown();
    }
};

TEST_P(PlayerExit, EndsCleanly) {
    const Way& way = GetParam();
    if (way.spoil) way.spoil();
    // A million-face tree, the last mesh loaded, keeps loading busy long enough to be caught at it.
    std::string faces;
    for (int i = 0; way.phase == Loading && i < 1000000; ++i) faces += "f 1/1/1 2/2/1 3/3/1\n";
    if (way.phase == Loading) writeFile("data/tree.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n" + faces);
    const bool wide = way.dialogKeys && std::string(way.dialogKeys) == "Down Return";
    const int width = wide ? 1280 : 1024, height = wide ? 720 : 768;
    const int screenW = way.screenW ? way.screenW : width, screenH = way.screenH ? way.screenH : height;
    const std::string still = scratch + "/still.png";
    const std::string mode = std::to_string(width) + "x" + std::to_string(height);
    if (way.phase == Playing) { ASSERT_EQ(renderTool("--fps 10 --size " + mode + " --at 2000 '" + still + "'"), 0) << readWhole("tool.err"); }
    boxesDrawn = way.how == BySigtermOverABox;
    std::vector<std::string> environment = way.environment;
    const char* preloaded = std::getenv("LD_PRELOAD");
    environment.push_back("LD_PRELOAD=" FORK_WATCH_LIBRARY + std::string(preloaded && *preloaded ? ":" : "") + (preloaded ? preloaded : ""));
    environment.insert(environment.end(), {"TALUMEN_FORK_LOG=" + forkLog, "TALUMEN_FORK_SLEEPER=1"});
    startAt(screenW, screenH, environment);
    Window window = dialog();
    const int dialogProcess = windowProcess(display, window);
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
        // Full screen, the whole mode as large as the screen allows, centred, and black around it
        // (the root is white), with no pointer. A frame 3 pixels off already falls to about 32 dB;
        // a right one is above 60.
        const Picture reference = readPng(still);
        const auto fullScreen = [&] {
            // At the mode the window keeps its place and size: the pointer tells the two apart.
            for (const auto start = Clock::now(); (geometry(window)[2] != screenW || pointerShown()) && secondsSince(start) < windowWait;)
                pause(0.1);
            EXPECT_EQ(geometry(window), std::vector<int>({0, 0, screenW, screenH}));
            long litOutside = 0;
            const double db = screenAgainstScaled(reference, width, height, screenW, screenH, litOutside);
            EXPECT_GE(db, 40.0);
            EXPECT_EQ(litOutside, 0) << "the screen around the picture is not black";
            EXPECT_FALSE(pointerShown()) << "the pointer shows over the full-screen picture";
        };
        fullScreen();
        if (way.windowAndBack) {
            // The pointer stays at the screen's centre, over the window, whose keys it takes.
            keys("key f");
            const std::vector<int> placed = {(screenW - width) / 2, (screenH - height) / 2, width, height};
            for (const auto start = Clock::now(); (geometry(window) != placed || !pointerShown()) && secondsSince(start) < windowWait;)
                pause(0.1);
            EXPECT_EQ(geometry(window), placed) << "not a window of the mode's size, centred";
            long apart = 0;
            screenUntil([&](const Picture& screen) { return (apart = pixelsApart(screen, reference, placed[0], placed[1])) == 0; });
            std::printf("pixels of the window that differ from the still: %ld\n", apart);
            EXPECT_EQ(apart, 0);
            EXPECT_TRUE(pointerShown()) << "no pointer over the window";
            EXPECT_EQ(screenSize(), std::vector<int>({screenW, screenH})) << "the display's own mode was not given back";
            keys("key f");
            fullScreen();
        }
        EXPECT_EQ(findWindow("norvi"), 0u) << "the dialog is still up";
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
    EXPECT_EQ(screenSize(), std::vector<int>({screenW, screenH})) << "the display mode was not given back";
    std::string expected = screenW == width && screenH == height ? "" : "talumen: the " + mode + " display mode is not available; playing at " + std::to_string(screenW) + "x" + std::to_string(screenH) + ", scaled to fit\n";
    for (const char* code = way.messages; *code; ++code)
        expected += *code == 'p' ? "Error: Read params error!\n" : *code == 'm' ? "App: Error opening .obj file\n"
                    : *code == 'M' ? "Error: Music opening error\n"
                                   : "talumen: Cannot play full screen: no display (the video driver \"offscreen\" shows nothing)\n";
    EXPECT_EQ(output(), expected);

    // No process of the player's forks while it runs other threads (the loads' helpers, the
    // track's, the GL driver's): the child could be handed a lock one of them held.
    const ForkLog log = readForkLog(forkLog);
    for (const ForkLog::Fork& fork : log.forks)
        EXPECT_EQ(fork.threads, 1) << (fork.process == pid ? "the player" : "process " + std::to_string(fork.process))
                                   << " forked with other threads running";
    // A program started while the dialog is up (as its process is forked, say) would inherit
    // nothing from the player: the dialog's pipe is closed on exec.
    const auto forked = std::find_if(log.forks.begin(), log.forks.end(), [&](const ForkLog::Fork& fork) { return fork.child == dialogProcess; });
    EXPECT_TRUE(dialogProcess > 0 && forked != log.forks.end() && forked->process == pid) << "the dialog's process (" << dialogProcess << ") was not seen forked: " << readWhole(forkLog);
    EXPECT_EQ(forked != log.forks.end() ? forked->inheritable : "", "") << "what a program started as the dialog came up would inherit";
    // A stop with a box up ended that box and no other child of the player's.
    EXPECT_TRUE(sleeping(log.sleeper)) << "a child of the player's that was no box was ended";
    for (const auto start = Clock::now(); findWindow("Error") && secondsSince(start) < exitWait;) pause(0.1);
    EXPECT_EQ(findWindow("Error"), 0u) << "a message box outlived the player";
}

// With no display the dialog cannot open: that is said, and the run fails.
TEST_F(PlayerRun, WithoutADisplayItSaysSoAndFails) {
    startAt(1024, 768, {"DISPLAY="});
    expectCleanExit(exitWait, 1);
    EXPECT_EQ(output(), "talumen: Cannot show the setup dialog: there is no display to play on.\n");
}

INSTANTIATE_TEST_SUITE_P(Ways, PlayerExit, ::testing::ValuesIn(ways));

}  // namespace
