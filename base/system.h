// system.h -- the few calls of the operating system the portable code makes, one implementation per system
#pragma once
#include <cstddef>

// Zeroed memory of its own, handed back to the system whole by freePages (rather than kept
// in the heap of whichever thread freed it); null when there is none to be had.
void* allocatePages(size_t bytes);
void freePages(void* pages, size_t bytes);

// Puts the calling thread below the process's others, so that it takes what they leave on a
// busy machine.
void lowerThreadPriority();

// The process's processor time (every thread, seconds), its resident memory and the most it
// has had (KiB); 0 where the system does not say.
double processorSeconds();
long residentKib();
long mostResidentKib();
