// timeline_test.cpp -- which scenes cover an instant and with what progress, including the shared frames
#include <gtest/gtest.h>

#include <vector>

#include "app/timeline.h"

static std::vector<int> rowsAt(int32_t t) {
    std::vector<int> rows;
    for (int i = 0; i < timelineRows; ++i)
        if (inRange(t, timeline[i].range)) rows.push_back(i + 1);
    return rows;
}

TEST(Timeline, RowsCoveringEachInstant) {
    EXPECT_EQ(rowsAt(-1), std::vector<int>{});
    EXPECT_EQ(rowsAt(0), std::vector<int>{1});
    EXPECT_EQ(rowsAt(56500), (std::vector<int>{1, 2}));
    EXPECT_EQ(rowsAt(56501), std::vector<int>{2});
    EXPECT_EQ(rowsAt(92500), (std::vector<int>{2, 3}));
    EXPECT_EQ(rowsAt(121000), (std::vector<int>{3, 4}));
    EXPECT_EQ(rowsAt(149500), std::vector<int>{4});
    EXPECT_EQ(rowsAt(149700), std::vector<int>{});
    EXPECT_EQ(rowsAt(149999), std::vector<int>{});
    EXPECT_EQ(rowsAt(150000), std::vector<int>{5});
    EXPECT_EQ(rowsAt(156000), std::vector<int>{5});
    EXPECT_EQ(rowsAt(156001), std::vector<int>{});
}

TEST(Timeline, ProgressAtTheEndsAndBetween) {
    // In a shared frame the earlier scene ends at 1 and the later one starts at 0.
    EXPECT_EQ(progress(56500, timeline[0].range), 1.0f);
    EXPECT_EQ(progress(56500, timeline[1].range), 0.0f);
    EXPECT_EQ(progress(92500, timeline[1].range), 1.0f);
    EXPECT_EQ(progress(92500, timeline[2].range), 0.0f);
    EXPECT_EQ(progress(121000, timeline[2].range), 1.0f);
    EXPECT_EQ(progress(121000, timeline[3].range), 0.0f);
    EXPECT_EQ(progress(150750, timeline[4].range), 0.125f);
    EXPECT_EQ(progress(156000, timeline[4].range), 1.0f);
    EXPECT_EQ(progress(100000, timeline[2].range), static_cast<float>(7500.0 / 28500.0));
    // Clamped outside the range, and never a division by zero for a one-instant range.
    EXPECT_EQ(progress(-5, timeline[0].range), 0.0f);
    EXPECT_EQ(progress(200000, timeline[4].range), 1.0f);
    EXPECT_EQ(progress(7, TimeRange{7, 7}), 0.0f);
}

TEST(Timeline, ThresholdProgressFallsOnExactlyOneMillisecond) {
    // The tree scene runs no phase block on the frame whose progress equals 0.81f or 0.87f.
    for (float threshold : {0.81f, 0.87f}) {
        int hits = 0;
        for (int32_t t = timeline[3].range.start; t <= timeline[3].range.end; ++t)
            hits += progress(t, timeline[3].range) == threshold;
        EXPECT_EQ(hits, 1) << threshold;
    }
}

TEST(Timeline, SequenceEnd) {
    EXPECT_EQ(sequenceEndMs, 156000);
    EXPECT_EQ(timeline[4].range.end, sequenceEndMs);
}
