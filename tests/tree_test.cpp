// tree_test.cpp -- the tree's draws and readings per phase, its shake, and the frames around it
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/timeline.h"
#include "citytree_kit.h"
#include "render/random.h"
#include "scenes/tree.h"
#include "testkit.h"

// Renders at p from state; the generator's draws of the frame, and the modelview left.
static int treeFrame(uint32_t state, float p, std::array<float, 16>& left) {
    Random::seed(state);
    resetLevelCount();
    glLoadIdentity();
    TreeScene::render(p);
    left = currentModelview();
    return drawsBetween(state, Random::state);
}

TEST(TreeScene, SplittingTakesOneTestPerCopyAndFourReadingsEach) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(1.5);
    std::array<float, 16> left;
    int most = 0;
    for (uint32_t state = 1; state <= 40; ++state) {
        int n = 0;  // the picture's three draws come first
        while (peekNext(state, 3 + n) % 20 > n) ++n;
        most = std::max(most, n);
        EXPECT_EQ(treeFrame(state, 0.95f, left), 3 + (n + 1) + 2) << state;
        EXPECT_EQ(levelReadings(), 1 + 2 + 4 * n + 2) << state;
        // No copies: one tree, unturned, at the level's distance.
        if (n == 0) expectMatrixNear(left, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, -5, -7, 1});
    }
    EXPECT_GT(most, 3);
    uint32_t state = 1;
    while (peekNext(state, 3) % 20 != 0) ++state;
    EXPECT_EQ(treeFrame(state, 1.0f, left), 6);
}

TEST(TreeScene, ThresholdFramesRunNoPhaseAndAZeroAxisLeavesTheTurnOut) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(2.0);
    std::array<float, 16> left;
    for (float p : {TreeScene::pulseFrom, TreeScene::splitFrom}) {
        glLineWidth(7.0f);
        EXPECT_EQ(treeFrame(5, p, left), 5);
        EXPECT_EQ(levelReadings(), 3);
        expectMatrixNear(left, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_EQ(width, 7.0f);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    }
    scriptLevel({2.0, 3.0, 0.0, 1.0});
    treeFrame(5, 0.5f, left);
    EXPECT_EQ(levelReadings(), 5);
    glLoadIdentity();
    glTranslatef(1.7f, -5, -10);
    glRotatef(10, 1, 0, 0);
    expectMatrixNear(left, currentModelview());
}

// A white card over black: the uncovered stripes at the right and the top are the shake.
TEST(TreeFrames, ShakeMovesTheCardLeftAndDownWithinItsBounds) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData(0, 0, 0, 0xFFFFFF);
    TreeScene::load();
    constantLevel(2.0);
    for (int frame = 0; frame < 6; ++frame) {
        const uint32_t before = Random::state;
        drawFrame(130000 + frame);  // turning: the shake's draws are the frame's fourth and fifth
        const std::vector<uint8_t> screen = grabScreen();
        int right = 0, top = 0;
        while (right < 40 && pixelAt(screen, 1279 - right, 600).r < 128) ++right;
        while (top < 40 && pixelAt(screen, 50, top).r < 128) ++top;
        EXPECT_EQ(right, 20 - peekNext(before, 4) % 20);
        EXPECT_EQ(top, 20 - peekNext(before, 3) % 20);
        EXPECT_TRUE(right >= 1 && right <= 20 && top >= 1 && top <= 20);
    }
}

TEST(TreeFrames, CityDrawsFirstAt121000AndTheGapIsBlack) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData(0x000064, 0xC80000, 0x006400, 0);
    loadScenes();
    // Level 8 makes the tree's card fully additive. City first, the tree keeps a tenth of
    // the city's blue; tree first, the city's rising backdrop would add its whole blue.
    constantLevel(8.0);
    drawFrame(121000);
    EXPECT_TRUE(near(pixelAt(20, 700), Rgba{220, 100, 10, 255}, 4));
    for (int32_t ms : {149501, 149750, 149999}) {
        drawFrame(ms);
        const std::vector<uint8_t> screen = grabScreen();
        size_t lit = 0;
        for (size_t i = 0; i < screen.size(); i += 4) lit += screen[i] || screen[i + 1] || screen[i + 2];
        EXPECT_EQ(lit, 0u) << ms;
    }
}
