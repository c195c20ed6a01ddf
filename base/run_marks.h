// run_marks.h -- points of a run for the start-up's figures: wall clock, processor time, resident memory
#pragma once

// One point of a run: the steady clock, the processor time of every thread so far (seconds)
// and the resident memory (KiB; 0 where the system does not say).
struct RunMark {
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0;
    long residentKib = 0;
};
RunMark markRun();
// The steady clock in seconds: the machine's, the same in every thread and process.
double steadySeconds();
long peakResidentKib();  // the most resident memory the process has had, 0 where unknown
