// sdl_posix.cpp -- the player's stop signals (SIGINT, SIGTERM, SIGHUP) and its message boxes over SDL2, on POSIX systems
#include <SDL.h>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/message.h"
#include "platform/platform.h"

// Set by SIGINT, SIGTERM and SIGHUP; read wherever Escape is, so a signal leaves through the
// same shut-down and the display mode is given back.
static volatile sig_atomic_t stopSignalled = 0;
// The handler's word to the thread that ends a message box, which the handler cannot do itself.
static int stopPipe[2] = {-1, -1};
// True while a message box is up. SDL shows it from a child process and waits for that child,
// retrying through signals, so a box up when a stop signal comes would hold the way out open.
static std::atomic<bool> boxShowing{false};
static void onStopSignal(int) {
    const int saved = errno;
    stopSignalled = 1;
    const char byte = 1;
    if (stopPipe[1] >= 0 && write(stopPipe[1], &byte, 1) < 0) {
        // Full or gone: the flag alone still ends the run.
    }
    errno = saved;
}

// Ends the box process of ours that is up, if any: the children of this process while a box
// shows are its box (and a retry SDL makes when one fails).
static void endShownBoxes() {
    if (!boxShowing) return;
    DIR* processes = opendir("/proc");
    if (!processes) return;
    const pid_t self = getpid();
    while (const dirent* entry = readdir(processes)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        char path[64], stat[512] = {};
        std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
        FILE* file = std::fopen(path, "r");
        if (!file) continue;
        const size_t length = std::fread(stat, 1, sizeof stat - 1, file);
        std::fclose(file);
        stat[length] = 0;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses, the last ')' ends it.
        const char* close = std::strrchr(stat, ')');
        int parent = 0;
        char state = 0;
        if (close && std::sscanf(close + 1, " %c %d", &state, &parent) == 2 && parent == self) kill(pid, SIGKILL);
    }
    closedir(processes);
}

// Waits for the first stop signal, then keeps ending any box that shows until the process ends:
// a box may be on its way up as the signal comes.
static void* watchStopSignals(void*) {
    char byte = 0;
    while (read(stopPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    for (;;) {
        endShownBoxes();
        usleep(20000);
    }
    return nullptr;
}

// The watcher starts with the first message box rather than with the handlers: the setup dialog
// is shown from a process forked before then, and a fork while another thread runs can hand the
// child a lock that thread held. A signal that came before it started waits in the pipe.
static void startStopWatcher() {
    static bool started = false;
    if (started || stopPipe[0] < 0) return;
    started = true;
    pthread_t watcher;
    sigset_t all, previous;
    // Signals are taken by the main thread, never by the watcher.
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    if (pthread_create(&watcher, nullptr, watchStopSignals, nullptr) == 0) pthread_detach(watcher);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void installSignalHandlers() {
    if (stopPipe[0] < 0 && pipe(stopPipe) == 0) {
        // The handler's write must never block, and the box's process must not inherit the pipe.
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

bool stopRequested() { return stopSignalled != 0; }

static bool displayPresent() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

static void showBox(const char* text, const char* caption) {
    if (!text) text = "";
    if (!caption || !*caption) caption = "Error";
    // No box once a stop signal came: a modal box would hold the way out open. One that a signal
    // catches on its way up is ended by the watcher, which looks at boxShowing, set first.
    // Over the full-screen window a box is its window's, so that a window manager keeps it on top.
    startStopWatcher();
    boxShowing = true;
    const bool shown = !stopSignalled && displayPresent() &&
                       SDL_ShowSimpleMessageBox(0, caption, text, static_cast<SDL_Window*>(demoWindow.window)) == 0;
    boxShowing = false;
    if (!shown) writeMessageLine(text, caption);
}

void installMessageBoxes() { messageHandler = showBox; }
