// allocator.h -- the C library allocator's thresholds, set once at the start of every native program that draws
#pragma once

// Call first thing in main, before any thread starts. Where the C library is glibc, keeps the
// rasteriser's per-frame memory in the heap from one frame to the next instead of handing it
// back to the system and faulting it in again, zeroed, on the next frame; elsewhere it does
// nothing. A GLIBC_TUNABLES that sets glibc.malloc values is left to rule, for measuring others.
void tuneAllocator();
