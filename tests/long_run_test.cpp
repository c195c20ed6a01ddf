// long_run_test.cpp -- the whole sequence three times over: identical renders and steady peak memory
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;

// Runs a shell command to its end: its exit code, and in peakKib the peak resident memory of the
// largest process it waited for (the kernel carries a reaped child's peak up to its parent).
int run(const std::string& command, long& peakKib) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    peakKib = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// AddressSanitizer holds freed memory back in quarantine and pads every block, so peak
// memory there says nothing about the program's own; the renders still run for the leak check.
#ifdef __SANITIZE_ADDRESS__
constexpr bool memoryIsOurs = false;
#else
constexpr bool memoryIsOurs = true;
#endif

}  // namespace

// One frame a second from 0 to 156 s, three times in three processes, on the generator's data:
// every frame the same byte for byte, and the same peak memory each time. The sanitizer build
// runs these same renders under LeakSanitizer.
TEST(LongRun, ThreeRendersOfTheWholeSequenceAreIdenticalWithSteadyMemory) {
    TempDir dir;
    linkSharedData();
    const char* bin = std::getenv("TALUMEN_BIN");
    const std::string tools = std::string(bin ? bin : ".") + "/tools/";
    long peaks[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string render = tools + "talumen-render --fps 1 run" + std::to_string(i) + "/ >log 2>&1";
        ASSERT_EQ(run("timeout -k 10 1200 " + render, peaks[i]), 0) << "run " << i << "\n" << readWhole("log");
    }
    int frames = 0;
    for (const auto& entry : fs::directory_iterator("run0")) {
        const std::string name = entry.path().filename().string(), first = readWhole(entry.path().string());
        EXPECT_EQ(readWhole("run1/" + name), first) << name;
        EXPECT_EQ(readWhole("run2/" + name), first) << name;
        ++frames;
    }
    EXPECT_EQ(frames, 157);
    std::printf("peak resident memory of talumen-render --fps 1, 157 frames, 1280x720: %ld, %ld, %ld KiB\n", peaks[0],
                peaks[1], peaks[2]);
    if (memoryIsOurs) {
        for (long peak : peaks) EXPECT_NEAR(peak, peaks[0], peaks[0] * 0.1);
    }
    // Four times the frames, every one drawn in full: memory that grew frame by frame would
    // raise the peak by far more than the few percent two runs differ by.
    long longerPeak = 0;
    ASSERT_EQ(run("timeout -k 10 1200 " + tools + "talumen-render --bench --fps 4 >log 2>&1", longerPeak), 0)
        << readWhole("log");
    std::printf("peak resident memory of talumen-render --bench --fps 4, 625 frames: %ld KiB\n", longerPeak);
    if (memoryIsOurs) {
        EXPECT_LT(longerPeak, peaks[0] * 1.03);
    }
}
