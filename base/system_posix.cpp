// system_posix.cpp -- the operating system's calls of base/system.h on Linux and other POSIX systems
#include "base/system.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

void* allocatePages(size_t bytes) {
    void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void freePages(void* pages, size_t bytes) {
    if (pages) munmap(pages, bytes);
}

void lowerThreadPriority() {
    // The nice value is the calling thread's own on Linux; ten steps below wherever the process
    // was started (a nice one included), at most to the lowest there is.
    errno = 0;
    const int own = getpriority(PRIO_PROCESS, 0);
    if (errno == 0) setpriority(PRIO_PROCESS, 0, own + 10 > 19 ? 19 : own + 10);
}

double processorSeconds() {
    timespec cpu{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) != 0) return 0.0;
    return cpu.tv_sec + cpu.tv_nsec * 1e-9;
}

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

long residentKib() { return statusKib("VmRSS"); }

long mostResidentKib() { return statusKib("VmHWM"); }
