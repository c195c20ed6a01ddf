// sdl_box_process.cpp -- the process that shows the player's message boxes, and the player's side of it
#include "platform/sdl_box_process.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// What the player sends for each box; the text's bytes and the caption's follow it.
struct BoxRequest {
    uint32_t textBytes = 0;
    uint32_t captionBytes = 0;
    uint64_t owner = 0;  // the X11 window the box belongs to; 0: none
};
// No message comes near this; a longer one is cut.
constexpr uint32_t mostBytes = 64 * 1024;

struct BoxProcess {
    pid_t pid = 0;    // also its process group's id; 0 when there is none (any more)
    int socket = -1;  // the player's end
    std::mutex lock;  // one box at a time
};
BoxProcess boxes;

bool sendAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // A box process that is gone makes a box that failed, not a SIGPIPE.
        const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, void* data, size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// In the box process, SIGTERM (the player's death included, through PR_SET_PDEATHSIG) ends its
// process group: itself and the box that SDL's child shows. Never the player's group.
void endGroup(int) {
    if (getpgrp() == getpid()) kill(0, SIGKILL);
    _exit(1);
}

// One box, as the player's window's own where it has one: that takes SDL's video here, brought
// up with the first such box, and the window wrapped as SDL's for as long as the box shows.
bool showHere(const std::string& text, const std::string& caption, uint64_t owner) {
    static bool videoUp = false;
    SDL_Window* window = nullptr;
    if (owner != 0) {
        if (!videoUp) {
            // SDL leaves the signals alone (SIGTERM still ends the group), and the screen saver
            // as the player keeps it.
            SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
            videoUp = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        }
        if (videoUp) window = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(owner)));
    }
    const bool shown = SDL_ShowSimpleMessageBox(0, caption.c_str(), text.c_str(), window) == 0;
    // A window made from another's is only forgotten here: the player's stays as it is.
    if (window) SDL_DestroyWindow(window);
    return shown;
}

// The box process's life: a box for each request, answered once it is closed, until the
// player's end of the socket closes.
[[noreturn]] void serveBoxes(int socket) {
    for (;;) {
        BoxRequest request;
        if (!receiveAll(socket, &request, sizeof request) || request.textBytes > mostBytes ||
            request.captionBytes > mostBytes)
            _exit(0);
        std::string text(request.textBytes, '\0'), caption(request.captionBytes, '\0');
        if (!receiveAll(socket, text.data(), text.size()) || !receiveAll(socket, caption.data(), caption.size())) _exit(0);
        const char answer = showHere(text, caption, request.owner) ? 1 : 0;
        if (!sendAll(socket, &answer, 1)) _exit(0);
    }
}

// Ends the box process and whatever box it shows, and waits for it; no box shows after.
void endBoxProcess() {
    if (boxes.pid <= 0) return;
    // Not reaped yet, so neither its id nor its group's can have passed to another process.
    kill(-boxes.pid, SIGKILL);
    kill(boxes.pid, SIGKILL);
    while (waitpid(boxes.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    boxes.pid = 0;
    close(boxes.socket);
    boxes.socket = -1;
}

// The X11 window behind an SDL window; 0 for none, or on another windowing system.
uint64_t x11Window(void* window) {
    if (!window) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(window), &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<uint64_t>(info.info.x11.window);
}

}  // namespace

bool startBoxProcess() {
    if (boxes.pid > 0) return true;
    int ends[2];
    // Close-on-exec: no program started later holds either end.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (child == 0) {
        // A group of its own, so that ending it reaches the box it shows and nothing else.
        setpgid(0, 0);
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = SIG_DFL;
        for (int signal : {SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
        action.sa_handler = endGroup;
        sigaction(SIGTERM, &action, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) endGroup(SIGTERM);
        // Nothing of the player's but the standard streams and its own end of the socket.
        for (int fd = 3; fd < ends[1]; ++fd) close(fd);
        closefrom(ends[1] + 1);
        serveBoxes(ends[1]);
    }
    // Set here too, so that the group exists whichever of the two runs first.
    setpgid(child, child);
    close(ends[1]);
    boxes.pid = child;
    boxes.socket = ends[0];
    return true;
}

bool showBoxFromProcess(const char* text, const char* caption, void* owner, int stopFd, bool (*stopped)()) {
    std::lock_guard<std::mutex> held(boxes.lock);
    if (boxes.pid <= 0 || (stopped && stopped())) return false;
    BoxRequest request;
    request.textBytes = static_cast<uint32_t>(std::min<size_t>(std::strlen(text), mostBytes));
    request.captionBytes = static_cast<uint32_t>(std::min<size_t>(std::strlen(caption), mostBytes));
    request.owner = x11Window(owner);
    if (!sendAll(boxes.socket, &request, sizeof request) || !sendAll(boxes.socket, text, request.textBytes) ||
        !sendAll(boxes.socket, caption, request.captionBytes)) {
        endBoxProcess();
        return false;
    }
    for (;;) {
        // The stop signal's pipe wakes this wait whichever thread took the signal; the flag,
        // looked at between wake-ups, stands in where there is no pipe.
        pollfd waits[2] = {{boxes.socket, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = poll(waits, stopFd >= 0 ? 2 : 1, 100);
        if ((stopFd >= 0 && ready > 0 && waits[1].revents != 0) || (stopped && stopped())) {
            endBoxProcess();
            return false;
        }
        if (ready <= 0 || waits[0].revents == 0) continue;
        char answer = 0;
        if (!receiveAll(boxes.socket, &answer, 1)) {
            endBoxProcess();
            return false;
        }
        return answer == 1;
    }
}
