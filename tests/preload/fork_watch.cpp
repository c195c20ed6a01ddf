// fork_watch.cpp -- preloaded into the player by its tests: notes each fork, the threads that ran then and what a program started then would inherit
// TALUMEN_FORK_LOG names the file that every process it is loaded into appends its lines to:
//   "fork P K T"        process P is about to fork for the K-th time, with T threads;
//   "born C P K"        C is the child of that fork;
//   "open P K HELD"     right after it, P held HELD open without close-on-exec beyond the
//                       standard streams (each as "fd->target;"): what any program it started
//                       then would inherit;
//   "sleeper S P"       S is a "sleep" that P started before main, where TALUMEN_FORK_SLEEPER
//                       is set: a child of the player's that is neither a box nor a dialog.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

const char* logPath = nullptr;
int forks = 0;  // this process's forks so far

void note(const std::string& line) {
    const int fd = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, line.data(), line.size()) < 0) {
        // The test finds the line missing.
    }
    close(fd);
}

// How many threads this process runs.
int threads() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

// The descriptors beyond the standard streams that a program started now would inherit.
std::string inheritable() {
    std::string held;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            const int flags = fd > 2 ? fcntl(fd, F_GETFD) : -1;
            if (flags < 0 || (flags & FD_CLOEXEC)) continue;
            char target[256] = {};
            const ssize_t length = readlink((std::string("/proc/self/fd/") + entry->d_name).c_str(), target, sizeof target - 1);
            held += std::string(entry->d_name) + "->" + std::string(target, length > 0 ? static_cast<size_t>(length) : 0) + ";";
        }
        closedir(fds);
    }
    return held;
}

pid_t startSleep() {
    char name[] = "sleep", seconds[] = "600";
    char* arguments[] = {name, seconds, nullptr};
    pid_t child = 0;
    return posix_spawnp(&child, "sleep", nullptr, nullptr, arguments, environ) == 0 ? child : 0;
}

void beforeFork() {
    ++forks;
    note("fork " + std::to_string(getpid()) + " " + std::to_string(forks) + " " + std::to_string(threads()) + "\n");
}

void inChild() {
    note("born " + std::to_string(getpid()) + " " + std::to_string(getppid()) + " " + std::to_string(forks) + "\n");
    forks = 0;
}

void inParent() { note("open " + std::to_string(getpid()) + " " + std::to_string(forks) + " " + inheritable() + "\n"); }

__attribute__((constructor)) void watchForks() {
    logPath = std::getenv("TALUMEN_FORK_LOG");
    if (!logPath || !*logPath) return;
    pthread_atfork(beforeFork, inParent, inChild);
    if (!std::getenv("TALUMEN_FORK_SLEEPER")) return;
    // Once: not in the programs started from here.
    unsetenv("TALUMEN_FORK_SLEEPER");
    if (const pid_t sleeper = startSleep()) note("sleeper " + std::to_string(sleeper) + " " + std::to_string(getpid()) + "\n");
}

}  // namespace
