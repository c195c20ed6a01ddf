// long_run_test.cpp -- the whole sequence again and again: identical renders, steady peak memory, a heap that does not grow per frame
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/timeline.h"
#include "audio/music.h"
#include "testkit.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own count of what is allocated (not every compiler ships its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

namespace fs = std::filesystem;

std::string tool(const char* name) {
    const char* bin = std::getenv("TALUMEN_BIN");
    return std::string(bin ? bin : ".") + "/tools/" + name;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Finished {
    int code = -1;  // -1: killed, or did not end in time
    long peakKib = 0;
};

// Runs a program to its end, in the working directory, with its output in log; a run
// that outlives the deadline is killed and counts as a failure.
Finished runToEnd(const std::vector<std::string>& args, const std::string& log, double deadlineSeconds) {
    const pid_t pid = fork();
    if (pid == 0) {
        FILE* out = std::freopen(log.c_str(), "w", stdout);
        if (out) dup2(fileno(out), 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Finished finished;
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    rusage usage{};
    for (;;) {
        if (wait4(pid, &status, WNOHANG, &usage) == pid) break;
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > deadlineSeconds) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            return finished;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    finished.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    finished.peakKib = usage.ru_maxrss;
    return finished;
}

// The demo's own data, as the generator makes it, in the working directory.
void generateData() {
    fs::remove("data");
    const Finished made = runToEnd({tool("talumen-data"), "data"}, "generate.log", 300);
    ASSERT_EQ(made.code, 0) << readAll("generate.log");
}

// Heap bytes our process holds now (the sanitizer's allocator keeps its own count).
size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

// One frame a second from 0 to 156 s, three times in three processes: every frame the
// same, byte for byte, and the same peak memory each time.
TEST(LongRun, ThreeRendersOfTheWholeSequenceAreIdentical) {
    TempDir dir;
    generateData();
    long peaks[3] = {};
    for (int run = 0; run < 3; ++run) {
        const std::string out = "run" + std::to_string(run) + "/";
        const Finished rendered =
            runToEnd({tool("talumen-render"), "--fps", "1", "--from", "0", "--to", "156000", out}, "render.log", 1200);
        ASSERT_EQ(rendered.code, 0) << "run " << run << "\n" << readAll("render.log");
        peaks[run] = rendered.peakKib;
    }
    int frames = 0;
    for (const auto& entry : fs::directory_iterator("run0")) {
        const std::string name = entry.path().filename().string();
        const std::string first = readAll(entry.path().string());
        EXPECT_EQ(readAll("run1/" + name), first) << name;
        EXPECT_EQ(readAll("run2/" + name), first) << name;
        ++frames;
    }
    EXPECT_EQ(frames, 157);
    std::printf("peak resident memory of talumen-render --fps 1, 157 frames, 1280x720: %ld, %ld, %ld KiB\n", peaks[0],
                peaks[1], peaks[2]);
    RecordProperty("peak_rss_kib", static_cast<int>(peaks[0]));
    for (long peak : peaks) EXPECT_NEAR(static_cast<double>(peak), static_cast<double>(peaks[0]), peaks[0] * 0.1);
}

// In one process, the whole sequence over and over: after the first pass has made
// whatever the scenes and the GL keep, further passes leave the heap where it was.
TEST(LongRun, TheHeapDoesNotGrowFromPassToPass) {
    TempDir dir;
    generateData();
    ASSERT_TRUE(startGl(1280, 720));
    recordMessages();
    loadScenes();
    audioDevice = clockAudioDevice();
    ASSERT_TRUE(music.open());
    ASSERT_TRUE(music.play());
    EXPECT_TRUE(recordedMessages().empty());

    // The 1 x 1 box keeps the rasteriser's work small; the scenes make every call of a full frame.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    std::vector<size_t> inUse;
    for (int pass = 0; pass < 4; ++pass) {
        for (int32_t ms = 0; ms <= sequenceEndMs; ms += 250) drawFrame(ms);
        glFinish();
        inUse.push_back(heapInUse());
    }
    for (size_t pass = 2; pass < inUse.size(); ++pass)
        EXPECT_LE(inUse[pass], inUse[1] + 64 * 1024) << "pass " << pass << " after " << inUse[1] << " bytes";
    std::printf("heap in use after each pass of 625 frames: %zu, %zu, %zu, %zu bytes\n", inUse[0], inUse[1], inUse[2],
                inUse[3]);
    music.stop();
}
