// run_marks.cpp -- the steady clock, the process's processor time and its resident memory, read at a point of the run
#include "base/run_marks.h"

#include <chrono>

#include "base/system.h"

double steadySeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

RunMark markRun() {
    RunMark mark;
    mark.wallSeconds = steadySeconds();
    mark.cpuSeconds = processorSeconds();
    mark.residentKib = residentKib();
    return mark;
}

long peakResidentKib() { return mostResidentKib(); }
