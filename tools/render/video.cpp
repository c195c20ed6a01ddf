// video.cpp -- video export through an ffmpeg child fed raw frames and the track's samples on pipes, and cleanup on interruption
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "audio/stream_convert.h"
#include "audio/track.h"
#include "render_tool.h"

std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dirs = path;
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}

// What the signal handler cleans up. Only async-signal-safe calls may touch these there.
static char partialPath[4096];
static char encoderLog[4096];
static volatile sig_atomic_t encoderPid = 0;

static void keepPath(char (&slot)[4096], const std::string& path) {
    if (path.size() >= sizeof slot) {
        slot[0] = '\0';
        return;
    }
    std::memcpy(slot, path.c_str(), path.size() + 1);
}

void trackPartialFile(const std::string& path) { keepPath(partialPath, path); }

void trackEncoder(int pid, const std::string& logPath) {
    encoderPid = pid;
    keepPath(encoderLog, pid ? logPath : std::string());
}

static void cleanUpAndDie(int sig) {
    if (encoderPid > 0) kill(static_cast<pid_t>(encoderPid), SIGKILL);
    if (partialPath[0] != '\0') unlink(partialPath);
    if (encoderLog[0] != '\0') unlink(encoderLog);
    signal(sig, SIG_DFL);
    raise(sig);
}

void installInterruptCleanup() {
    signal(SIGINT, cleanUpAndDie);
    signal(SIGTERM, cleanUpAndDie);
    signal(SIGHUP, cleanUpAndDie);
    // A dead encoder shows as EPIPE on write, which is reported, rather than as a silent death.
    signal(SIGPIPE, SIG_IGN);
}

static std::string lastLogLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) last = line;
    }
    if (last.size() > 300) last.resize(300);
    return last;
}

// Waits for ffmpeg to exit; why gets the last line of its log, which is then removed.
static int reapEncoder(int& pid, const std::string& logPath, std::string& why) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = 0;
    trackEncoder(0, "");
    why = lastLogLine(logPath);
    unlink(logPath.c_str());
    return status;
}

// Writes the sound's frames to fd in ffmpeg's order of channels, then closes it. A write that
// fails means ffmpeg has stopped reading: its exit status says why.
static void writeSound(int fd, ExportSound sound) {
    constexpr int64_t block = 4096;
    std::vector<float> frames(static_cast<size_t>(block * sound.channels));
    bool open = true;
    for (int64_t at = 0; at < sound.frameCount && open; at += block) {
        const int64_t count = std::min(block, sound.frameCount - at);
        copyTrackFrames(sound.firstFrame + at, count, frames.data());
        toLibraryOrder(frames.data(), count, sound.channels);
        const char* bytes = reinterpret_cast<const char*>(frames.data());
        size_t left = sizeof(float) * static_cast<size_t>(count * sound.channels);
        while (left > 0 && open) {
            const ssize_t n = write(fd, bytes, left);
            if (n < 0 && errno == EINTR) continue;
            open = n > 0;
            if (open) bytes += n, left -= static_cast<size_t>(n);
        }
    }
    close(fd);
}

bool VideoEncoder::start(const std::string& ffmpeg, const std::string& tempPath, const char* container, int width,
                         int height, int fps, const VideoQuality& quality, const ExportSound& sound, std::string& error) {
    takesYuv = !quality.lossless;
    frameBytes = takesYuv ? width * height * 3 / 2 : width * height * 3;
    framesWritten = 0;

    char logPattern[] = "/tmp/talumen-render-ffmpeg-XXXXXX";
    const int logFd = mkstemp(logPattern);
    if (logFd < 0) {
        error = std::string("cannot make a log file for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    logPath = logPattern;

    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string rate = std::to_string(fps);
    const bool sounds = sound.channels > 0 && sound.rate > 0 && !libraryLayoutName(sound.channels).empty();
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", takesYuv ? "yuv420p" : "rgb24", "-video_size", size,
                                     "-framerate", rate, "-i", "pipe:0"};
    // The sound starts on the first frame's instant and lasts as long as the frames: exactly the
    // frames handed over.
    if (sounds)
        args.insert(args.end(), {"-f", "f32le", "-ar", std::to_string(sound.rate), "-ch_layout",
                                 libraryLayoutName(sound.channels), "-i", "pipe:3"});
    args.insert(args.end(), {"-map", "0:v:0"});
    if (sounds) args.insert(args.end(), {"-map", "1:a:0"});
    if (quality.lossless) {
        // Planar RGB holds the frames' own values: no colour conversion, no chroma halving.
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "gbrp"});
        if (sounds) args.insert(args.end(), {"-c:a", "flac"});
    } else {
        // The fastest preset: the frames are drawn on the same cores, and the encoder's share
        // of them is the export's to lose. Its rate factor is set for the sharpness the fine
        // wireframe lines need (see VideoQuality).
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-crf", std::to_string(quality.crf)});
        if (sounds) args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    args.insert(args.end(), {"-f", container, tempPath});

    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    // Both pipes are closed on exec but for the ends ffmpeg reads as fd 0 and 3: a copy of a
    // writing end left in ffmpeg (or in any other program started meanwhile) would keep it
    // waiting for more for ever.
    int fds[2] = {-1, -1};
    int soundFds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0 || (sounds && pipe2(soundFds, O_CLOEXEC) != 0)) {
        error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        for (int fd : {fds[0], fds[1], logFd})
            if (fd >= 0) close(fd);
        unlink(logPath.c_str());
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        for (int fd : {fds[0], fds[1], soundFds[0], soundFds[1], logFd})
            if (fd >= 0) close(fd);
        unlink(logPath.c_str());
        return false;
    }
    if (child == 0) {
        // dup2 leaves its copy open across exec; a pipe that is fd 0 already is kept open by hand.
        if (fds[0] == 0) fcntl(0, F_SETFD, 0);
        else dup2(fds[0], 0);
        dup2(logFd, 1);
        dup2(logFd, 2);
        if (fds[0] != 0) close(fds[0]);
        close(fds[1]);
        if (logFd > 2) close(logFd);
        // dup2 leaves the copy open across exec; a pipe that is fd 3 already is kept open by hand.
        if (soundFds[0] == 3) fcntl(3, F_SETFD, 0);
        else if (soundFds[0] >= 0) dup2(soundFds[0], 3);
        // The parent ignores SIGPIPE; ffmpeg gets the usual behaviour back.
        signal(SIGPIPE, SIG_DFL);
        // Drawing is the export's critical path: the encoder takes the cores' spare time and
        // catches up whenever the renderer waits for it on the pipe.
        setpriority(PRIO_PROCESS, 0, 4);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[0]);
    close(logFd);
    if (sounds) {
        close(soundFds[0]);
        soundWriter = std::thread(writeSound, soundFds[1], sound);
    }
    // A larger pipe takes a frame in a few writes rather than dozens of 64 KiB ones, each a
    // switch between the writer and ffmpeg. Where the system refuses, the default serves.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    pipeFd = fds[1];
    pid = child;
    trackEncoder(pid, logPath);
    return true;
}

bool VideoEncoder::writeFrame(const uint8_t* frame, std::string& error) {
    size_t done = 0;
    const size_t total = static_cast<size_t>(frameBytes);
    while (done < total) {
        const ssize_t n = write(pipeFd, frame + done, total - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int savedErrno = errno;
            // ffmpeg has stopped reading: say why, from its own log, once it has exited.
            close(pipeFd);
            pipeFd = -1;
            std::string why;
            reapEncoder(pid, logPath, why);
            error = "ffmpeg stopped taking frames: " + (why.empty() ? std::string(std::strerror(savedErrno)) : why);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ++framesWritten;
    return true;
}

bool VideoEncoder::finish(std::string& error) {
    if (pipeFd >= 0) close(pipeFd);
    pipeFd = -1;
    // ffmpeg reads the sound to its end before it finishes the file.
    if (soundWriter.joinable()) soundWriter.join();
    std::string why;
    const int status = reapEncoder(pid, logPath, why);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && why.empty())
            error = "ffmpeg could not be started";
        else
            error = "ffmpeg failed: " + (why.empty() ? std::string("no reason given") : why);
        return false;
    }
    return true;
}

void VideoEncoder::abort() {
    if (pipeFd >= 0) close(pipeFd);
    pipeFd = -1;
    if (pid > 0) {
        kill(pid, SIGKILL);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    // With ffmpeg gone, the sound's writes fail and its thread ends.
    if (soundWriter.joinable()) soundWriter.join();
    pid = 0;
    trackEncoder(0, "");
    if (!logPath.empty()) unlink(logPath.c_str());
}
