// random.cpp -- linear congruential generator with a fixed, platform-independent sequence
#include "render/random.h"

#include "base/frame_state.h"

void Random::seed(uint32_t n) { frameState.random = n; }

int Random::next() {
    // Unsigned arithmetic wraps modulo 2^32, which is what the sequence is defined by.
    uint32_t& state = frameState.random;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

float Random::below(int n) { return static_cast<float>(next() % n); }
