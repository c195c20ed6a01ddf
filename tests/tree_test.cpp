// tree_test.cpp -- the tree's draws and readings per phase, its shake, and the frames around it
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/timeline.h"
#include "base/frame_state.h"
#include "render/random.h"
#include "scene_kit.h"
#include "scenes/tree.h"

// Renders at p from state; the generator's draws of the frame, and the modelview left.
static int treeFrame(uint32_t state, float p, Matrix& left) {
    Random::seed(state);
    resetLevelCount();
    glLoadIdentity();
    TreeScene::render(p);
    left = currentModelview();
    return drawsBetween(state, frameState.random);
}

TEST(TreeScene, SplittingTakesOneTestPerCopyAndThresholdFramesRunNoPhase) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(1.5);
    Matrix left;
    int most = 0, none = 0;
    for (uint32_t state = 1; state <= 40; ++state) {
        int n = 0;  // the picture's three draws come first
        while (peekNext(state, 3 + n) % 20 > n) ++n;
        most = std::max(most, n);
        EXPECT_EQ(treeFrame(state, 0.95f, left), 3 + (n + 1) + 2) << state;
        EXPECT_EQ(levelReadings(), 1 + 2 + 4 * n + 2) << state;
        if (n > 0) continue;
        ++none;  // no copies: one tree, unturned, at the level's distance
        EXPECT_TRUE(matrixNear(left, modelviewOf([] { glTranslatef(1, -5, -7); }), 1e-4f)) << state;
    }
    EXPECT_TRUE(most > 3 && none > 0);
    // Exactly on a threshold: the tree drawn once, unmoved, and no reading between the two cards.
    for (float p : {TreeScene::pulseFrom, TreeScene::splitFrom}) {
        EXPECT_EQ(treeFrame(5, p, left), 5);
        EXPECT_EQ(levelReadings(), 3);
        EXPECT_TRUE(matrixNear(left, modelviewOf([] {}), 1e-4f));
    }
}

// A white card over black: the uncovered stripes at the right and the top are the shake.
TEST(TreeFrames, ShakeMovesTheCardLeftAndDownWithinItsBounds) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData({}, {}, {}, Rgba{255, 255, 255, 0});
    TreeScene::load();
    constantLevel(2.0);
    for (int frame = 0; frame < 6; ++frame) {
        const uint32_t before = frameState.random;
        drawFrame(130000 + frame);  // turning: the shake's draws are the frame's fourth and fifth
        const std::vector<uint8_t> screen = grabScreen();
        int right = 0, top = 0;
        while (right < 40 && pixelAt(screen, 1279 - right, 600).r < 128) ++right;
        while (top < 40 && pixelAt(screen, 50, top).r < 128) ++top;
        EXPECT_EQ(right, 20 - peekNext(before, 4) % 20);  // 1..20
        EXPECT_EQ(top, 20 - peekNext(before, 3) % 20);
    }
}
