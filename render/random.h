// random.h -- the program's own generator; its exact sequence is part of the picture
#pragma once
#include <cstdint>

// One shared state word, frameState.random (1 at start-up): every caller advances the same
// sequence, so the order of draws across the scenes decides which numbers each effect receives.
struct Random {
    static void seed(uint32_t n);
    static int next();           // 0..32767
    static float below(int n);   // next() % n, as a float: 0..n-1
};
