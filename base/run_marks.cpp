// run_marks.cpp -- the steady clock, the process's processor time and its resident memory, read at a point of the run
#include "base/run_marks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

// A "Name:   1234 kB" line of /proc/self/status, in KiB; 0 when there is none.
static long statusKib(const char* name) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    long kib = 0;
    char line[256];
    const size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') kib = std::atol(line + length + 1);
    std::fclose(status);
    return kib;
}

double steadySeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

RunMark markRun() {
    RunMark mark;
    mark.wallSeconds = steadySeconds();
    timespec cpu{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) == 0) mark.cpuSeconds = cpu.tv_sec + cpu.tv_nsec * 1e-9;
    mark.residentKib = statusKib("VmRSS");
    return mark;
}

long peakResidentKib() { return statusKib("VmHWM"); }
