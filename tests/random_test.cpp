// random_test.cpp -- the generator's exact sequence, which every random-looking effect depends on
#include <gtest/gtest.h>

#include "render/random.h"

TEST(Random, SequenceFromInitialStateAndSeed) {
    EXPECT_EQ(Random::state, 1u);
    EXPECT_EQ(Random::next(), 41);
    // Worked by hand: 1 * 214013 + 2531011 = 2745024, and 2745024 >> 16 = 41; the next states
    // 3357800067, 415139642, 3884216597, 3403800452 give the rest.
    Random::seed(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int value : expected) EXPECT_EQ(Random::next(), value);
}

TEST(Random, SeedWrapsAndBelowStaysInRange) {
    Random::seed(0xFFFFFFFFu);
    // state = 0xFFFFFFFF * 214013 + 2531011 mod 2^32 = 2531011 - 214013 = 2316998
    EXPECT_EQ(Random::next(), (2316998 >> 16) & 0x7FFF);
    Random::seed(23183);
    for (int i = 0; i < 100000; ++i) {
        const float v = Random::below(20);
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 19.0f);
        ASSERT_EQ(v, static_cast<float>(static_cast<int>(v)));
    }
}
