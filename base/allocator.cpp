// allocator.cpp -- glibc's mmap and trim thresholds, fixed rather than left to move by themselves
#include "base/allocator.h"

// Any C library header says which library it is; __GLIBC__ is unknown before one.
#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>

// glibc starts with both thresholds at 128 KiB and raises them only the first time it frees a
// block it had mapped for a large malloc. Where no such block is ever freed (the pictures are
// decoded into mappings of their own), they stay there, and what Mesa's software rasteriser
// takes for a frame (its bins in blocks of 64 KiB, more than 16 MiB in all in some frames at
// 1280x720, and blocks of a few MiB) is trimmed from the heap or unmapped once the frame is
// done and faulted in again, zeroed, for the next: 130,000 page faults for `talumen-render
// --bench --fps 1 --level 2.9` against 47,000, and the cubes' frames 1.7 times slower.
// Page faults of that run (the peak resident memory of a still and of the run stayed within
// 0.5 MiB of the default's with every setting):
//   trim 8 MiB: 122,900; 16 MiB: 56,800; 32 MiB: 50,500; 64 MiB: 50,500 (mmap threshold as it was)
//   trim 64 MiB with mmap 1 MiB: 48,100; 4 MiB: 46,600; 32 MiB: 46,700
// The trim threshold is twice what sufficed at 1280x720, for larger frames; it keeps resident
// only heap a frame has already touched. Blocks from 4 MiB up keep mappings of their own: the
// large textures and frame buffers, which live long, stay out of the heap, where they would
// leave holes when freed.
static constexpr int mmapThresholdBytes = 4 * 1024 * 1024;
static constexpr int trimThresholdBytes = 64 * 1024 * 1024;

void tuneAllocator() {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, "glibc.malloc.")) return;
    mallopt(M_MMAP_THRESHOLD, mmapThresholdBytes);
    mallopt(M_TRIM_THRESHOLD, trimThresholdBytes);
}

#else

void tuneAllocator() {}

#endif
