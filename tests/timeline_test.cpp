// timeline_test.cpp -- a scene's progress through its range: both ends inclusive, clamped, and the tree's threshold instants
#include <gtest/gtest.h>

#include "app/timeline.h"

// Which rows draw at an instant shows in the frames themselves (the city before the tree at
// 121000 ms and the black gap in city_test, the credits' fade in credits_test).
TEST(Timeline, ProgressIsInclusiveAtBothEndsClampedAndHitsEachTreeThresholdOnce) {
    const TimeRange city = timeline[2].range;  // 92500..121000: the earlier scene ends at 1, the later starts at 0
    const struct { int32_t t; TimeRange range; float want; } cases[] = {
        {92500, city, 0}, {121000, city, 1}, {100000, city, 7500.0f / 28500.0f},
        {-5, city, 0}, {200000, city, 1}, {7, {7, 7}, 0}};  // clamped outside; a one-instant range divides by nothing
    for (const auto& c : cases) EXPECT_EQ(progress(c.t, c.range), c.want) << c.t;
    EXPECT_TRUE(inRange(92500, city) && inRange(121000, city) && !inRange(92499, city) && !inRange(121001, city));
    // The tree runs no phase block on the frame whose progress equals 0.81f or 0.87f: one instant has each.
    for (float threshold : {0.81f, 0.87f}) {
        int hits = 0;
        for (int32_t t = timeline[3].range.start; t <= timeline[3].range.end; ++t)
            hits += progress(t, timeline[3].range) == threshold;
        EXPECT_EQ(hits, 1) << threshold;
    }
}
