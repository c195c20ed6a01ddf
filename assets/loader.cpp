// loader.cpp -- the start-up's load figures
#include "assets/loader.h"

#include <chrono>

LoadTimes loadTimes;

double loadClockSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}
