// wine_test.cpp -- the Windows programs of the zip under Wine on Xvfb: the player's dialog, runs, ways out and hostile data, and talumen-render.exe against the Linux build
#include "player_kit.h"

#include <algorithm>
#include <cmath>

namespace {

namespace fs = std::filesystem;

// The unpacked zip's programs, run in the tests' Wine prefix by wine.sh (tests/wine/CMakeLists.txt
// sets the environment it reads).
std::string launcher() { return std::string(std::getenv("TALUMEN_SOURCE")) + "/tests/wine/wine.sh"; }
std::string unpacked() { return std::getenv("TALUMEN_WINDOWS_PROGRAMS"); }

// Every process of the prefix ends with the case: Wine's own (its desktop, its services) would
// otherwise keep the case's X server, which goes with it, as theirs.
void endWine() {
    const std::string command = "WINEPREFIX='" + std::string(std::getenv("TALUMEN_WINE_PREFIX")) +
                                "' sh -c 'wineserver -k; wineserver -w' 2>/dev/null";
    std::system(command.c_str());
}

struct WinePlayer : PlayerRun {
    void SetUp() override {
        PlayerRun::SetUp();
        program = launcher();
    }

    // Windows ends its lines of text with CR LF.
    std::string output() const {
        std::string text = PlayerRun::output();
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
        return text;
    }

    // The player alone in a folder of its own, with no data beside it (as the build tree's on
    // Linux), so that it reads the project's data/ or says what is missing there.
    void startAlone(int width, int height, std::vector<std::string> environment) {
        const std::string folder = scratch + "/alone";
        fs::create_directory(folder);
        fs::copy_file(unpacked() + "/talumen.exe", folder + "/talumen.exe");
        environment.push_back("TALUMEN_WINDOWS_PROGRAMS=" + folder);
        startAt(width, height, environment);
    }
    void TearDown() override {
        if (pid > 0 && !exited) kill(pid, SIGKILL), waitpid(pid, nullptr, 0), exited = true;
        endWine();
        PlayerRun::TearDown();
    }

    // A box of this caption, over the demo's window as its own where that is up, answered with
    // Enter; false when none came.
    bool answerBox(const std::string& caption, bool owned) {
        const Window box = waitForWindow(caption);
        if (!box) return false;
        Window owner = 0;
        const Window demo = findWindow("Demo");
        if (owned) {
            EXPECT_TRUE(demo && XGetTransientForHint(display, box, &owner) && owner == demo) << "the box has no owner";
        } else {
            EXPECT_EQ(demo, 0u) << "the demo's window is up";
        }
        // The box takes the keys as it shows: its OK button has the focus.
        keys("key Return");
        for (const auto start = Clock::now(); findWindow(caption) == box && secondsSince(start) < exitWait;) pause(0.1);
        return true;
    }
};

// Where the player is stopped, and how, as on Linux (player_exits_test.cpp): each way ends with
// its code, the demo's window gone, the screen in its mode, the project untouched and the
// messages of Linux said, each in a box over the demo's window. While it plays, the screen is
// talumen-render's still of the mode chosen.
enum Phase { InTheDialog, Playing, Anywhere };
enum How { ByItself, ByEscape, ByClose, ByTheEnd };
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
};
const char* everyLoadFails = "ppppppppmmpppmpppmmpppmpM";
const Way ways[] = {
    {"EscapeInTheDialog", nullptr, InTheDialog, ByEscape},
    {"CloseBoxOfTheDialog", nullptr, InTheDialog, ByClose},
    {"ExitButton", "Tab Tab space", InTheDialog},
    {"InvisibleVideoDriverRefused", "Return", InTheDialog, ByItself, "w", nullptr, {"SDL_VIDEODRIVER=offscreen"}, 1},
    {"EnterRunsAt1024x768AndEscapeEnds", "Return", Playing, ByEscape},
    {"DownEnterRunsAt1280x720AndCloseEnds", "Down Return", Playing, ByClose},
    // Where the screen has no such mode, scaled to fit at the screen's own.
    {"EscapeWhilePlaying1024x768On1280x720", "Return", Playing, ByEscape, "", nullptr, {}, 0, 1280, 720},
    // Page Down four times reaches the credits at 150 s; the end comes 6 s later.
    {"TheEndEndsIt", "Return", Playing, ByTheEnd},
    {"MusicMissing", "Return", Anywhere, ByItself, "M", [] { fs::remove("data/talumen.ogg"); }},
    {"EveryFileMissing", "Return", Anywhere, ByItself, everyLoadFails, [] { fs::remove_all("data"); }},
    {"DamagedFilesPlayOn", "Return", Playing, ByEscape, "pp", [] {
         writeFile("data/talumen.jpg", ""); writeFile("data/3a.jpg", "\x89PNG\r\n\x1a\n garbage");
         writeFile("data/star1.obj", std::string(4096, '\0')); writeFile("data/cube.obj", "v 0 0 0\nf 0/0/0 -1/-1/-1 9/9/9\n"); }},
};

void PrintTo(const Way& way, std::ostream* out) { *out << way.name; }

struct WineExit : WinePlayer, ::testing::WithParamInterface<Way> {};

TEST_P(WineExit, EndsCleanly) {
    const Way& way = GetParam();
    if (way.spoil) way.spoil();
    const bool wide = way.dialogKeys && std::string(way.dialogKeys) == "Down Return";
    const int width = wide ? 1280 : 1024, height = wide ? 720 : 768;
    const std::string still = scratch + "/still.png";
    const std::string mode = std::to_string(width) + "x" + std::to_string(height);
    if (way.phase == Playing) { ASSERT_EQ(renderTool("--fps 10 --size " + mode + " --at 2000 '" + still + "'"), 0) << readWhole("tool.err"); }
    const int screenW = way.screenW ? way.screenW : width, screenH = way.screenH ? way.screenH : height;
    boxesDrawn = true;  // Wine draws its boxes with its own fonts
    startAlone(screenW, screenH, way.environment);
    Window window = dialog();
    ASSERT_NE(window, 0u) << "no setup dialog: " << output();
    if (way.phase == InTheDialog) {
        // The title picture at the top: colour where the dialog itself is grey.
        const Picture screen = screenshot();
        XWindowAttributes at{};
        XGetWindowAttributes(display, window, &at);
        long coloured = 0;
        for (int y = at.y + 40; y < at.y + 150; ++y)
            for (int x = at.x + 20; x < at.x + at.width - 20; ++x) {
                const uint8_t* p = screen.at(x, y);
                coloured += std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 40;
            }
        EXPECT_GT(coloured, 5000) << "no picture in the dialog";
    }
    if (way.dialogKeys) keys("key --delay 150 " + std::string(way.dialogKeys));
    if (way.phase == Playing) {
        window = waitForWindow("Demo");
        ASSERT_NE(window, 0u) << "no demo window: " << output();
        XWindowAttributes at{};
        XGetWindowAttributes(display, window, &at);
        EXPECT_EQ(std::vector<int>({at.x, at.y, at.width, at.height}), std::vector<int>({0, 0, screenW, screenH}));
    }
    for (const char* code = way.messages; *code; ++code) {
        const char* caption = *code == 'm' ? "App" : *code == 'w' ? "talumen" : "Error";
        ASSERT_TRUE(answerBox(caption, *code != 'w')) << "no box for '" << *code << "': " << output();
    }
    if (way.phase == Playing) {
        long litOutside = 0;
        const double db = screenAgainstScaled(readPng(still), width, height, screenW, screenH, litOutside);
        EXPECT_GE(db, 30.0);
        EXPECT_EQ(litOutside, 0) << "the screen around the picture is not black";
        EXPECT_EQ(findWindow("norvi"), 0u) << "the dialog is still up";
        ASSERT_FALSE(waitExit(0)) << "the player ended by itself: " << output();
    }
    if (way.how == ByEscape) keys("key Escape");
    if (way.how == ByClose) requestClose(window);
    if (way.how == ByTheEnd) keys("key --delay 300 Next Next Next Next");
    for (const auto start = Clock::now(); way.phase == InTheDialog && !waitExit(0.05) && secondsSince(start) < exitWait;)
        ASSERT_EQ(findWindow("Demo"), 0u) << "a demo window showed";
    expectCleanExit(exitWait + 30, way.code);
    EXPECT_EQ(std::vector<int>({DisplayWidth(display, 0), DisplayHeight(display, 0)}), std::vector<int>({screenW, screenH}))
        << "the screen's mode was not given back";
    std::string expected = screenW == width && screenH == height ? "" : "talumen: the " + mode + " display mode is not available; playing at " + std::to_string(screenW) + "x" + std::to_string(screenH) + ", scaled to fit\n";
    if (way.how == ByTheEnd) expected += "talumen: at 56.500 s\ntalumen: at 92.500 s\ntalumen: at 121.000 s\ntalumen: at 150.000 s\n";
    for (const char* code = way.messages; *code; ++code)
        expected += *code == 'p' ? "Error: Read params error!\n" : *code == 'm' ? "App: Error opening .obj file\n"
                    : *code == 'M' ? "Error: Music opening error\n"
                                   : "talumen: Cannot play full screen: no display (the video driver \"offscreen\" shows nothing)\n";
    EXPECT_EQ(output(), expected);
}

INSTANTIATE_TEST_SUITE_P(Ways, WineExit, ::testing::ValuesIn(ways));

// Unzipped anywhere and started from a folder whose data/ is not the demo's, the player plays the
// data beside it: paused, then sought by the keys to the city's start, the screen holds Linux's
// still there. (Playing on, the landing frame is on screen for one frame only, which a busy
// machine's screenshots miss.)
TEST_F(WinePlayer, TheUnzippedPlayerPlaysTheDataBesideIt) {
    fs::remove("data/talumen.ogg");
    ASSERT_EQ(renderTool("--data '" + unpacked() + "/data' --at 92500 '" + scratch + "/still.png'"), 0) << readWhole("tool.err");
    startAt(1280, 720);
    ASSERT_NE(dialog(), 0u) << output();
    keys("key --delay 150 Down Return");
    ASSERT_NE(waitForWindow("Demo"), 0u) << output();
    pause(1.0);
    keys("key --delay 300 space Home Next Next");
    const Picture still = readPng(scratch + "/still.png");
    const double db = psnr(screenUntil([&](const Picture& screen) { return psnr(screen, still) >= 40; }), still);
    std::printf("PSNR of the screen after the seeks against Linux's still at 92500 ms: %.1f dB\n", db);
    EXPECT_GE(db, 30.0);
    keys("key Escape");
    expectCleanExit();
    // Where the pause landed depends on how soon the keys came.
    const std::string out = output();
    const std::string seeks = "talumen: at 0.000 s\ntalumen: at 56.500 s\ntalumen: at 92.500 s\n";
    EXPECT_EQ(out.rfind("talumen: paused at ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << out;
    EXPECT_TRUE(out.size() > seeks.size() && out.compare(out.size() - seeks.size(), seeks.size(), seeks) == 0) << out;
}

// talumen-render.exe in a folder of its own, on an X server of its own (Wine's windows, the hidden
// one included, need one), on the generator's data.
struct WineRender : ::testing::Test {
    TempDir dir;
    pid_t server = 0;
    std::string displayName;

    void SetUp() override {
        linkSharedData();
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        if ((server = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(fds[1], 3);
            dup2(open("/dev/null", O_WRONLY), 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        pollfd ready = {fds[0], POLLIN, 0};
        std::string number;
        for (char c = 0; poll(&ready, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        displayName = ":" + number;
    }
    void TearDown() override {
        endWine();
        if (server > 0) kill(server, SIGTERM), waitpid(server, nullptr, 0);
    }

    // talumen-render.exe with these arguments and environment: its exit code, its output in out.
    int windowsRender(const std::string& args, std::string& out, const std::string& env = "") {
        const std::string command = "DISPLAY=" + displayName + " LP_NUM_THREADS=1 " + env + " '" + launcher() +
                                    "' talumen-render " + args + " >wine.out 2>&1";
        const int status = std::system(command.c_str());
        out = readWhole("wine.out");
        for (size_t at; (at = out.find("\r\n")) != std::string::npos;) out.erase(at, 1);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Stills of every scene, at both display modes and at a size of its own, written over stills of
// the same names: each within 35 dB of the Linux build's. They measure the whole chain under
// Windows' C library and compilers: the pictures' decoding, the meshes' parsing, the track's
// loudness through FFTW (which moves the scenes), and the GL calls through WGL; both draw on Mesa.
TEST_F(WineRender, StillsMatchTheLinuxBuild) {
    struct Size { const char* size; const char* instants; } sizes[] = {
        {"1280x720", "14500,40000,60000,75000,94000,110000,130000,152000"},
        {"1024x768", "3000,100000"},
        {"640x480", "60000"},
    };
    std::string out, err;
    for (const Size& size : sizes) {
        const std::string args = std::string("--size ") + size.size + " --at " + size.instants;
        ASSERT_EQ(windowsRender(args + " windows/", out), 0) << out;
        // Again over the stills just written: files replace those of the same name.
        ASSERT_EQ(windowsRender(args + " windows/", out), 0) << out;
        ASSERT_EQ(renderTool(args + " linux/", &err), 0) << err;
        std::string instants = size.instants;
        for (size_t from = 0; from < instants.size();) {
            size_t to = instants.find(',', from);
            if (to == std::string::npos) to = instants.size();
            const std::string ms = instants.substr(from, to - from);
            from = to + 1;
            char name[32];
            std::snprintf(name, sizeof name, "/%06d.png", std::atoi(ms.c_str()));
            const double db = psnr(readPng("windows" + std::string(name)), readPng("linux" + std::string(name)));
            std::printf("%s at %s ms: %.1f dB\n", size.size, ms.c_str(), db);
            EXPECT_GE(db, 35.0) << size.size << " at " << ms << " ms";
        }
    }
    EXPECT_EQ(out, "");
}

// Frame timings, and video through the encoder's pipe: without ffmpeg.exe on PATH a clear
// message and nothing written; with a stand-in for it (which writes the raw frames it is fed)
// in a folder whose name, like the video's, has a space in it, the frames arrive whole, as
// Linux draws them; an encoder that fails is reported with its last word, and nothing stays.
TEST_F(WineRender, BenchAndVideo) {
    std::string out;
    ASSERT_EQ(windowsRender("--bench --fps 1 --size 320x180", out), 0) << out;
    EXPECT_NE(out.find("\ncity "), std::string::npos) << out;
    EXPECT_EQ(windowsRender("--from 0 --to 1000 demo.mp4", out), 1);
    EXPECT_EQ(out, "talumen-render: ffmpeg is not on PATH; .mp4 and .mkv output need it (ffmpeg.exe, from a build of "
                   "ffmpeg for Windows, in a folder on PATH)\n");

    const std::string tools = fs::current_path().string() + "/the tools";
    fs::create_directory(tools);
    fs::copy_file(std::string(std::getenv("TALUMEN_STAND_IN")) + "/ffmpeg.exe", tools + "/ffmpeg.exe");
    const std::string path = "WINEPATH='Z:" + tools + "'";
    ASSERT_EQ(windowsRender("--fps 10 --lossless --from 93000 --to 93500 'my demo.mkv'", out, path), 0) << out;
    ASSERT_EQ(renderTool("--fps 10 --from 93000 --to 93500 frames/"), 0) << readWhole("tool.err");
    const std::string raw = readWhole("my demo.mkv");
    const size_t frameBytes = 1280 * 720 * 3;
    ASSERT_EQ(raw.size(), 6 * frameBytes);
    for (int k = 0; k < 6; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/%06d.png", k);
        Picture sent{1280, 720, std::vector<uint8_t>(raw.begin() + k * frameBytes, raw.begin() + (k + 1) * frameBytes)};
        const double db = psnr(sent, readPng(name));
        std::printf("frame %d through the pipe against Linux's: %.1f dB\n", k, db);
        EXPECT_GE(db, 35.0);
    }

    EXPECT_EQ(windowsRender("--fps 10 --from 93000 --to 93500 refused.mp4", out, path + " TALUMEN_STAND_IN_REFUSE=1"), 1);
    EXPECT_EQ(out.rfind("talumen-render: ffmpeg stopped taking frames: stand-in: refused after ", 0), 0u) << out;
    EXPECT_FALSE(fs::exists("demo.mp4") || fs::exists("refused.mp4") || fs::exists("refused.mp4.part"));
    // The encoder's log went with it.
    size_t logs = 0;
    for (const auto& entry : fs::recursive_directory_iterator(std::string(std::getenv("TALUMEN_WINE_PREFIX")) + "/drive_c/users"))
        logs += entry.path().filename().string().rfind("tal", 0) == 0 && entry.path().extension() == ".tmp";
    EXPECT_EQ(logs, 0u);
}

}  // namespace
