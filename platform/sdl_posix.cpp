// sdl_posix.cpp -- the player's stop signals (SIGINT, SIGTERM, SIGHUP) and its message boxes over SDL2, on POSIX systems
#include <SDL.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "base/message.h"
#include "platform/player.h"
#include "platform/sdl_box_process.h"

// Set by SIGINT, SIGTERM and SIGHUP; read wherever Escape is, so a signal leaves through the
// same shut-down and the display mode is given back.
static volatile sig_atomic_t stopSignalled = 0;
// The handler's word to a wait for a message box, which a signal taken by another thread would
// not wake.
static int stopPipe[2] = {-1, -1};

static void onStopSignal(int) {
    const int saved = errno;
    stopSignalled = 1;
    const char byte = 1;
    if (stopPipe[1] >= 0 && write(stopPipe[1], &byte, 1) < 0) {
        // Full or gone: the flag alone still ends the run.
    }
    errno = saved;
}

void installSignalHandlers() {
    if (stopPipe[0] < 0 && pipe(stopPipe) == 0) {
        // The handler's write must never block, and no process started later inherits the pipe.
        fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
        fcntl(stopPipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(stopPipe[1], F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // A second signal falls back to the default action, so a viewer who insists still gets out.
    action.sa_flags = SA_RESETHAND;
    // A closed terminal (SIGHUP) ends the run as Ctrl+C and SIGTERM do, display mode given back.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

static bool displayPresent() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool stopRequested() { return stopSignalled != 0; }

static void showBox(const char* text, const char* caption) {
    if (!text) text = "";
    if (!caption || !*caption) caption = "Error";
    // No box once a stop signal came: a modal box would hold the way out open, and one that a
    // signal catches while it shows is ended with it. Over the full-screen window a box is its
    // window's, so that a window manager keeps it on top, and the pointer shows while it is up
    // (and after it, over a window that is not full screen).
    bool shown = false;
    if (!stopSignalled && displayPresent()) {
        SDL_Window* window = static_cast<SDL_Window*>(demoWindow.window);
        const int pointer = window ? SDL_ShowCursor(SDL_QUERY) : SDL_ENABLE;
        if (window) SDL_ShowCursor(SDL_ENABLE);
        shown = showBoxFromProcess(text, caption, window, stopPipe[0], stopRequested);
        if (window) SDL_ShowCursor(pointer);
    }
    if (!shown) writeMessageLine(text, caption);
}

// The boxes' process is forked here, before any thread starts; where it cannot start, every
// message goes to stderr.
void installMessageBoxes() {
    startBoxProcess();
    messageHandler = showBox;
}
