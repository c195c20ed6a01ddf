// system_win32.cpp -- the operating system's calls of base/system.h on Windows
#include "base/system.h"

#include <windows.h>
#include <psapi.h>

void* allocatePages(size_t bytes) {
    return bytes ? VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
}

void freePages(void* pages, size_t) {
    if (pages) VirtualFree(pages, 0, MEM_RELEASE);
}

void lowerThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

double processorSeconds() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0.0;
    // Both in 100-nanosecond units.
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
}

// The working set is what Windows keeps of the process in memory: its resident memory.
static PROCESS_MEMORY_COUNTERS memoryCounters() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) counters = PROCESS_MEMORY_COUNTERS{};
    return counters;
}

long residentKib() { return static_cast<long>(memoryCounters().WorkingSetSize / 1024); }

long mostResidentKib() { return static_cast<long>(memoryCounters().PeakWorkingSetSize / 1024); }
