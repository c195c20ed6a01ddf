// player_kit.h -- the player's end-to-end harness: its own Xvfb, the player in a process of its own, windows found through Xlib
#pragma once
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "ogg_fixture.h"
#include "picture.h"
#include "snapshot.h"
#include "testkit.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
inline void pause(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

// The pixels of picture that the screen shows otherwise, the picture's top-left corner at (x, y)
// of the screen; the part of it off the screen is not looked at.
inline long pixelsApart(const Picture& screen, const Picture& picture, int x = 0, int y = 0) {
    long apart = 0;
    for (int row = std::max(0, -y); row < picture.height && y + row < screen.height; ++row)
        for (int column = std::max(0, -x); column < picture.width && x + column < screen.width; ++column)
            apart += std::memcmp(screen.at(x + column, y + row), picture.at(column, row), 3) != 0;
    return apart;
}

// How long a step may take on a loaded two-core machine; a hang shows as a failure, not a stall.
inline const double windowWait = 40, exitWait = 20;

// The player in a process of its own, on an Xvfb of its own at the mode under test (it cannot switch
// modes), in a fresh project closed to writing that must be unchanged after the run (root may write).
struct PlayerRun : ::testing::Test {
    TempDir dir;
    std::string scratch = dir.path + ".scratch";  // outside the project: the player's output, what a case lets it write
    pid_t serverPid = 0, pid = 0;                 // the X server's and the player's
    std::string displayName;
    Display* display = nullptr;
    int status = 0;
    bool exited = false;
    rusage usage{};  // of the whole run, once exited: ru_maxrss is its peak resident memory in KiB
    TreeSnapshot before;
    std::string program;  // the player to run; empty: the one just built
    bool boxesDrawn = false;  // whether the server has the fonts that message boxes draw with

    // Every file the player loads: black pictures and one-triangle meshes, and silence, so that
    // the picture stands still and shows nothing but the logo card (norvi.jpg). The card has soft
    // gradients and hard block edges, so a misplaced or mis-scaled frame costs many decibels.
    // Cases spoil the files at will.
    void SetUp() override {
        std::filesystem::create_directory(scratch);
        const std::vector<uint8_t> black(16 * 16 * 3, 0);
        for (const char* name : {"talumen", "farewell", "2a", "2b", "4a", "4b", "4c", "adieu", "3a", "3b", "7c", "6a",
                                 "forever", "1b", "goaway", "credits"})
            writeJpeg(std::string("data/") + name + ".jpg", 16, 16, black.data(), 100);
        std::vector<uint8_t> card;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) card.insert(card.end(), {uint8_t(40 + 3 * x), uint8_t(30 + 3 * y), uint8_t((x / 4 + y / 4) % 2 ? 220 : 20)});
        writeJpeg("data/norvi.jpg", 64, 64, card.data(), 95);
        for (const char* name : {"star1", "tunnel", "cube", "city", "island", "tree"})
            writeFile(std::string("data/") + name + ".obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1/1 2/2/1 3/3/1\n");
        ASSERT_TRUE(writeOggVorbis("data/talumen.ogg", silenceThenSine(20, 0, 440, 0.0f, 2, 44100), 2, 44100));
    }

    void TearDown() override {
        if (pid > 0 && !exited) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        if (display) XCloseDisplay(display);
        if (serverPid > 0) kill(serverPid, SIGTERM), waitpid(serverPid, nullptr, 0);
        EXPECT_EQ(std::system("chmod -R u+w ."), 0);
        std::filesystem::remove_all(scratch);
    }

    // The server's root is white, so any part the demo's window leaves uncovered shows. With only
    // its built-in fonts (unless boxesDrawn) a message box finds none to draw with, so every
    // message lands on stderr.
    void startAt(int width, int height, const std::vector<std::string>& environment = {}) {
        ASSERT_EQ(std::system("chmod -R a-w ."), 0);
        before = snapshotTree(dir.path);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        if ((serverPid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // the server goes with the test, however the test ends
            dup2(fds[1], 3);
            dup2(open("/dev/null", O_WRONLY), 2);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            std::vector<const char*> args = {"Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-wr"};
            if (!boxesDrawn) args.insert(args.end(), {"-fp", "built-ins"});
            args.push_back(nullptr);
            execvp("Xvfb", const_cast<char* const*>(args.data()));
            _exit(127);
        }
        close(fds[1]);
        pollfd ready = {fds[0], POLLIN, 0};
        std::string number;
        for (char c = 0; poll(&ready, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        close(fds[0]);
        displayName = ":" + number;
        display = number.empty() ? nullptr : XOpenDisplay(displayName.c_str());
        ASSERT_NE(display, nullptr) << "Xvfb did not start";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows come and go while we look at them
        if ((pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            unsetenv("WAYLAND_DISPLAY");
            setenv("DISPLAY", displayName.c_str(), 1);
            // One rendering thread, as the tests run side by side on few cores; no shader cache in the home.
            for (const char* entry : {"GDK_BACKEND=x11", "NO_AT_BRIDGE=1", "SDL_AUDIODRIVER=dummy", "LP_NUM_THREADS=1",
                                      "MESA_SHADER_CACHE_DISABLE=true"})
                putenv(const_cast<char*>(entry));
            for (const std::string& entry : environment) putenv(strdup(entry.c_str()));
            const int out = open((scratch + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1), dup2(out, 2);
            closefrom(3);  // the player starts with the standard streams alone, as from a shell
            const char* bin = std::getenv("TALUMEN_BIN");
            const std::string player = program.empty() ? std::string(bin ? bin : ".") + "/talumen" : program;
            execl(player.c_str(), "talumen", static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // A mapped window with this title, searched from the root down; 0 when there is none.
    Window findWindow(const std::string& title, Window parent = 0) {
        Window root = 0, up = 0, *children = nullptr, found = 0;
        unsigned count = 0;
        if (!XQueryTree(display, parent ? parent : DefaultRootWindow(display), &root, &up, &children, &count)) return 0;
        for (unsigned i = count; i-- > 0 && !found;) {
            XWindowAttributes at;
            XTextProperty name{};  // its bytes always come with a NUL after them
            const bool shown = XGetWindowAttributes(display, children[i], &at) && at.map_state == IsViewable;
            const bool named = shown && XGetWMName(display, children[i], &name) && name.value;
            found = named && title == reinterpret_cast<char*>(name.value) ? children[i] : findWindow(title, children[i]);
            if (name.value) XFree(name.value);
        }
        if (children) XFree(children);
        return found;
    }

    Window waitForWindow(const std::string& title) {
        for (const auto start = Clock::now(); secondsSince(start) < windowWait; pause(0.1))
            if (Window window = findWindow(title)) return window;
        return 0;
    }

    // What a window manager's close box does: ask the window to close itself.
    void requestClose(Window window) {
        XEvent event{};
        event.xclient = {ClientMessage, 0, True, display, window, XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }

    void keys(const std::string& arguments) {
        const std::string command = "DISPLAY=" + displayName + " xdotool " + arguments;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // True once the player ended within the time given (looked at once at least).
    bool waitExit(double seconds) {
        const auto start = Clock::now();
        while (!(exited = exited || wait4(pid, &status, WNOHANG, &usage) == pid) && secondsSince(start) < seconds)
            pause(0.05);
        return exited;
    }

    std::string output() const { return readWhole(scratch + "/output"); }

    // The whole screen as the X server shows it.
    Picture screenshot() {
        const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0);
        XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, width, height, AllPlanes, ZPixmap);
        if (!image) return {};
        Picture picture{width, height, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                picture.rgb.insert(picture.rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
            }
        XDestroyImage(image);
        return picture;
    }

    // Whether the pointer shows where it is: the cursor the server shows there has a pixel
    // that is not wholly transparent.
    bool pointerShown() {
        XFixesCursorImage* cursor = XFixesGetCursorImage(display);
        bool seen = false;
        for (int i = 0; cursor && i < cursor->width * cursor->height && !seen; ++i) seen = (cursor->pixels[i] >> 24) != 0;
        if (cursor) XFree(cursor);
        return seen;
    }

    // The screen's size as the server has it now, which a change of display mode changes.
    std::vector<int> screenSize() {
        Window root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth);
        return {int(width), int(height)};
    }

    // Where a window lies and its size, relative to the screen (no window manager reparents it).
    std::vector<int> geometry(Window window) {
        XWindowAttributes at{};
        XGetWindowAttributes(display, window, &at);
        return {at.x, at.y, at.width, at.height};
    }

    // The screen once good says it is right, or the last one looked at within windowWait: a
    // loaded machine may take its time over loading and the first frames.
    template <typename Good> Picture screenUntil(const Good& good) {
        Picture screen = screenshot();
        for (const auto start = Clock::now(); !good(screen) && secondsSince(start) < windowWait; pause(0.2))
            screen = screenshot();
        return screen;
    }

    // The PSNR of the picture on a screenW x screenH screen against a still of width x height,
    // scaled to fit and centred, once it is right or windowWait has passed; litOutside counts
    // the lit pixels around the picture. It prints the figure it ends with.
    double screenAgainstScaled(const Picture& still, int width, int height, int screenW, int screenH, long& litOutside) {
        const double scale = std::min(double(screenW) / width, double(screenH) / height);
        const int w = static_cast<int>(std::lround(width * scale)), h = static_cast<int>(std::lround(height * scale));
        double db = 0;
        screenUntil([&](const Picture& screen) {
            db = psnrOfScaled(still, screen, (screenW - w) / 2, (screenH - h) / 2, w, h, litOutside);
            return db >= 40 && litOutside == 0;
        });
        std::printf("PSNR of the screen against the still: %.1f dB\n", db);
        return db;
    }

    // The setup dialog, centred, with the pointer over it so that keys (sent through XTEST) reach
    // it: with no window manager the focus follows the pointer unless a window took it.
    Window dialog() {
        const Window window = waitForWindow("norvi");
        XWindowAttributes at{};
        EXPECT_TRUE(window && XGetWindowAttributes(display, window, &at)) << "no setup dialog";
        EXPECT_NEAR(at.x + at.width / 2, DisplayWidth(display, 0) / 2, 2) << "the dialog is not centred";
        EXPECT_NEAR(at.y + at.height / 2, DisplayHeight(display, 0) / 2, 2) << "the dialog is not centred";
        keys("mousemove " + std::to_string(at.x + at.width / 2) + " " + std::to_string(at.y + at.height / 2));
        pause(0.3);
        return window;
    }

    void expectCleanExit(double seconds = exitWait, int code = 0) {
        ASSERT_TRUE(waitExit(seconds)) << "the player did not end";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == code) << "status " << status << ": " << output();
        EXPECT_EQ(findWindow("Demo"), 0u) << "the demo window is still up";
        EXPECT_EQ(snapshotDifferences(before, snapshotTree(dir.path)), "") << "the player wrote into its project";
    }
};
