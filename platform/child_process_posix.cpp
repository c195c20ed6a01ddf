// child_process_posix.cpp -- the encoder process on POSIX systems: fork, a pipe, waitpid and signal handlers
#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* encoderSource = " (Debian package ffmpeg)";

std::string findOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dirs = path;
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}

bool makeLogFile(std::string& path, std::string& error) {
    char pattern[] = "/tmp/talumen-render-ffmpeg-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) {
        error = std::string("cannot make a log file for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    close(fd);
    path = pattern;
    return true;
}

// What the signal handler cleans up. Only async-signal-safe calls may touch these there.
static char partialPath[4096];
static char childLog[4096];
static char childFile[4096];
static volatile sig_atomic_t childPid = 0;

static void keepPath(char (&slot)[4096], const std::string& path) {
    if (path.size() >= sizeof slot) {
        slot[0] = '\0';
        return;
    }
    std::memcpy(slot, path.c_str(), path.size() + 1);
}

void trackPartialFile(const std::string& path) { keepPath(partialPath, path); }
void trackTemporaryFile(const std::string& path) { keepPath(childFile, path); }

void trackChild(const ChildProcess& child, const std::string& logPath) {
    childPid = static_cast<sig_atomic_t>(child.process);
    keepPath(childLog, child.process ? logPath : std::string());
}

static void cleanUpAndDie(int sig) {
    if (childPid > 0) ::kill(static_cast<pid_t>(childPid), SIGKILL);
    if (partialPath[0] != '\0') unlink(partialPath);
    if (childLog[0] != '\0') unlink(childLog);
    if (childFile[0] != '\0') unlink(childFile);
    signal(sig, SIG_DFL);
    raise(sig);
}

std::FILE* openPartialFile(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

void installInterruptCleanup() {
    signal(SIGINT, cleanUpAndDie);
    signal(SIGTERM, cleanUpAndDie);
    signal(SIGHUP, cleanUpAndDie);
    // A dead encoder shows as EPIPE on write, which is reported, rather than as a silent death.
    signal(SIGPIPE, SIG_IGN);
}

bool ChildProcess::start(const std::vector<std::string>& args, const std::string& logPath, std::string& error) {
    std::vector<std::string> kept = args;
    std::vector<char*> argv;
    for (std::string& arg : kept) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const int logFd = open(logPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (logFd < 0) {
        error = "cannot write the log file " + logPath + ": " + std::strerror(errno);
        return false;
    }
    // Closed on exec but for the end the child reads as fd 0: a copy of the writing end left in
    // the child (or in any other program started meanwhile) would keep it waiting for ever.
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe to ") + args[0] + ": " + std::strerror(errno);
        close(logFd);
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start ") + args[0] + ": " + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        close(logFd);
        return false;
    }
    if (child == 0) {
        // dup2 leaves its copies open across exec; a pipe that is fd 0 already is kept open by hand.
        if (fds[0] == 0) fcntl(0, F_SETFD, 0);
        else dup2(fds[0], 0);
        dup2(logFd, 1);
        dup2(logFd, 2);
        // The parent ignores SIGPIPE; the child gets the usual behaviour back.
        signal(SIGPIPE, SIG_DFL);
        setpriority(PRIO_PROCESS, 0, 4);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[0]);
    close(logFd);
    // A larger pipe takes a frame in a few writes rather than dozens of 64 KiB ones, each a
    // switch between the writer and the child. Where the system refuses, the default serves.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    input = fds[1];
    process = child;
    return true;
}

bool ChildProcess::write(const uint8_t* bytes, size_t size, std::string& error) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(static_cast<int>(input), bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void ChildProcess::closeInput() {
    if (input >= 0) close(static_cast<int>(input));
    input = -1;
}

int ChildProcess::wait() {
    closeInput();
    if (process <= 0) return -1;
    int status = 0;
    while (waitpid(static_cast<pid_t>(process), &status, 0) < 0 && errno == EINTR) {
    }
    process = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    closeInput();
    if (process > 0) ::kill(static_cast<pid_t>(process), SIGKILL);
    wait();
}
