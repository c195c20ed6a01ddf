// player_kit.h -- the player's end-to-end harness: its own Xvfb, the player in a process of its own, windows found through Xlib
#pragma once
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "testkit.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every file the player loads, as black pictures and one-triangle meshes, so that anything
// the scenes draw from them stays black; and a short tone as the track.
inline void writeFixtureData(bool withMusic) {
    const char* pictures[] = {"norvi", "talumen", "farewell", "2a", "2b", "4a", "4b", "4c", "adieu",
                              "3a", "3b", "7c", "6a", "forever", "1b", "goaway", "credits"};
    for (const char* name : pictures) writeSolidJpeg(std::string("data/") + name + ".jpg", 16, 16, 0, 0, 0);
    const char* meshes[] = {"star1", "tunnel", "cube", "city", "island", "tree"};
    for (const char* name : meshes)
        writeFile(std::string("data/") + name + ".obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1/1 2/2/1 3/3/1\n");
    if (!withMusic) return;
    const int made = std::system(
        "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=4:sample_rate=44100 "
        "-ac 2 -c:a libvorbis data/talumen.ogg");
    ASSERT_EQ(made, 0) << "ffmpeg could not make the fixture track";
}

inline int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// One Xvfb at exactly the mode under test, on a display number it picks itself. The root is
// white, so any part of the screen the demo's window leaves uncovered shows.
struct XServer {
    pid_t pid = 0;
    int number = -1;
    Display* display = nullptr;

    bool start(int width, int height, bool fonts = true) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            // The server goes with the test, however the test ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(fds[1], 3);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, 1);
            dup2(devNull, 2);
            if (fonts) {
                execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-wr",
                       static_cast<char*>(nullptr));
            } else {
                // Only the server's built-in fonts: a message box cannot find one to draw with.
                execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-wr",
                       "-fp", "built-ins", static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(fds[1]);
        std::string digits;
        pollfd ready = {fds[0], POLLIN, 0};
        while (poll(&ready, 1, 15000) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            digits += c;
        }
        close(fds[0]);
        if (digits.empty()) return false;
        number = std::atoi(digits.c_str());
        display = XOpenDisplay(name().c_str());
        // Windows come and go while we look at them; a vanished one is simply not there.
        XSetErrorHandler(ignoreXErrors);
        return display != nullptr;
    }

    std::string name() const { return ":" + std::to_string(number); }

    ~XServer() {
        if (display) XCloseDisplay(display);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

    std::string windowName(Window window) {
        std::string found;
        const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
        for (Atom property : {netName, static_cast<Atom>(XA_WM_NAME)}) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, window, property, 0, 256, False, AnyPropertyType, &type, &format, &count,
                                   &after, &data) == Success &&
                data) {
                if (format == 8 && count > 0) found.assign(reinterpret_cast<char*>(data), count);
                XFree(data);
            }
            if (!found.empty()) break;
        }
        return found;
    }

    // A mapped window with this title, searched from the root down; 0 when there is none.
    Window findWindow(const std::string& title) {
        return search(DefaultRootWindow(display), title);
    }

    Window search(Window parent, const std::string& title) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
        Window found = 0;
        for (unsigned i = count; i-- > 0 && !found;) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
                windowName(children[i]) == title) {
                found = children[i];
            } else {
                found = search(children[i], title);
            }
        }
        if (children) XFree(children);
        return found;
    }

    Window waitForWindow(const std::string& title, double seconds) {
        const auto start = Clock::now();
        while (secondsSince(start) < seconds) {
            if (Window window = findWindow(title)) return window;
            pause(0.1);
        }
        return 0;
    }

    XWindowAttributes attributes(Window window) {
        XWindowAttributes result;
        std::memset(&result, 0, sizeof result);
        XGetWindowAttributes(display, window, &result);
        return result;
    }

    // What a window manager's close box does: ask the window to close itself.
    void requestClose(Window window) {
        XEvent event;
        std::memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }

    // Pixels of the whole screen that are not black.
    long litPixels() {
        const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0);
        XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, width, height, AllPlanes, ZPixmap);
        if (!image) return -1;
        long lit = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                if ((pixel & 0xf0f0f0) != 0) ++lit;
            }
        XDestroyImage(image);
        return lit;
    }

    // Keys go through XTEST; with no window manager the focus follows the pointer unless a
    // window took it, so the pointer goes over the target first.
    void keys(const std::string& arguments) {
        const std::string command = "DISPLAY=" + name() + " xdotool " + arguments;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    void focus(Window window) {
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }
};

// The player in its own process, in the current directory, its stderr kept in a file.
struct Player {
    pid_t pid = 0;
    int status = 0;
    bool exited = false;
    rusage usage{};  // of the whole run, once exited: ru_maxrss is its peak resident memory in KiB
    std::string errors = "player-stderr.txt";

    void start(const XServer& server, const std::vector<std::string>& environment = {}) {
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setenv("DISPLAY", server.name().c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            setenv("GDK_BACKEND", "x11", 1);
            setenv("NO_AT_BRIDGE", "1", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            // Tests run side by side on few cores.
            setenv("LP_NUM_THREADS", "1", 1);
            for (const std::string& entry : environment) putenv(strdup(entry.c_str()));
            const int out = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            const char* bin = std::getenv("TALUMEN_BIN");
            const std::string player = std::string(bin ? bin : ".") + "/talumen";
            execl(player.c_str(), "talumen", static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // True once the player ended within the time given.
    bool waitExit(double seconds) {
        const auto start = Clock::now();
        while (!exited && secondsSince(start) < seconds) {
            if (wait4(pid, &status, WNOHANG, &usage) == pid) exited = true;
            else pause(0.05);
        }
        return exited;
    }

    int exitCode() const { return exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

    ~Player() {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

// How long a step may take on a loaded two-core machine; a hang shows as a failure, not a stall.
inline const double windowWait = 40;
inline const double exitWait = 20;

struct PlayerRun : ::testing::Test {
    TempDir dir;
    XServer server;
    Player player;

    void startAt(int width, int height, bool withMusic = true, bool fonts = true,
                 const std::vector<std::string>& environment = {}) {
        writeFixtureData(withMusic);
        ASSERT_TRUE(server.start(width, height, fonts)) << "Xvfb did not start";
        player.start(server, environment);
    }

    Window dialog() {
        const Window window = server.waitForWindow("norvi", windowWait);
        EXPECT_NE(window, 0u) << "no setup dialog";
        if (window) {
            const XWindowAttributes at = server.attributes(window);
            const int screenW = DisplayWidth(server.display, 0), screenH = DisplayHeight(server.display, 0);
            EXPECT_NEAR(at.x + at.width / 2, screenW / 2, 2) << "the dialog is not centred";
            EXPECT_NEAR(at.y + at.height / 2, screenH / 2, 2) << "the dialog is not centred";
            server.keys("mousemove " + std::to_string(at.x + at.width / 2) + " " + std::to_string(at.y + at.height / 2));
            pause(0.3);
        }
        return window;
    }

    Window runDemo(const std::string& keys) {
        if (!dialog()) return 0;
        server.keys("key --delay 150 " + keys);
        return server.waitForWindow("Demo", windowWait);
    }

    void expectCleanExit() {
        ASSERT_TRUE(player.waitExit(exitWait)) << "the player did not end";
        EXPECT_EQ(player.exitCode(), 0);
    }

    // The dialog closed without "Run Demo": the player ends and no demo window ever shows.
    void expectEndWithoutDemo() {
        const auto start = Clock::now();
        while (!player.waitExit(0.05) && secondsSince(start) < exitWait) EXPECT_EQ(server.findWindow("Demo"), 0u);
        expectCleanExit();
        EXPECT_EQ(readText(player.errors).find("Error: "), std::string::npos) << readText(player.errors);
    }
};
