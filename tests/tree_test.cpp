// tree_test.cpp -- the tree's draws and readings per phase, its shake, and the frames around it
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/timeline.h"
#include "citytree_kit.h"
#include "render/random.h"
#include "scenes/tree.h"
#include "testkit.h"

// Copies the splitting phase makes from this state: the three picture draws come first.
static int copiesFrom(uint32_t state) {
    int n = 0;
    while (peekNext(state, 3 + n) % 20 > n) ++n;
    return n;
}

TEST(TreeScene, SplittingDrawsAndReadingsPerCopy) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(1.0);
    int most = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        Random::seed(seed);
        const int n = copiesFrom(seed);
        most = std::max(most, n);
        resetLevelCount();
        TreeScene::render(0.95f);
        EXPECT_EQ(drawsBetween(seed, Random::state), 3 + (n + 1) + 2) << seed;
        EXPECT_EQ(levelReadings(), 1 + 2 + 4 * n + 2) << seed;
    }
    EXPECT_GT(most, 3);
}

TEST(TreeScene, FirstTestOfZeroDrawsOneUnturnedTree) {
    ASSERT_TRUE(startGl(1280, 720));
    uint32_t state = 1;
    while (peekNext(state, 3) % 20 != 0) ++state;
    Random::seed(state);
    constantLevel(1.5);
    glLoadIdentity();
    TreeScene::render(1.0f);
    EXPECT_EQ(levelReadings(), 5);
    const std::array<float, 16> translated = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, -5, -7, 1};
    expectMatrixNear(currentModelview(), translated);
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.5f);
}

TEST(TreeScene, ThresholdFramesRunNoPhaseAndTurningHasTwoReadings) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(2.0);
    for (float p : {TreeScene::pulseFrom, TreeScene::splitFrom}) {
        glLineWidth(7.0f);
        glLoadIdentity();
        const uint32_t before = Random::state;
        resetLevelCount();
        TreeScene::render(p);
        EXPECT_EQ(levelReadings(), 3);
        EXPECT_EQ(drawsBetween(before, Random::state), 5);
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_EQ(width, 7.0f);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        expectMatrixNear(currentModelview(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }
    // Turning with a second reading of 0 leaves the turn out but keeps the tilt.
    scriptLevel({2.0, 3.0, 0.0, 1.0});
    glLoadIdentity();
    TreeScene::render(0.5f);
    EXPECT_EQ(levelReadings(), 5);
    const std::array<float, 16> left = currentModelview();
    glLoadIdentity();
    glTranslatef(1.7f, -5, -10);
    glRotatef(10, 1, 0, 0);
    expectMatrixNear(left, currentModelview());
}

// A white card over black: the uncovered stripes at the right and top are the shake.
TEST(TreeFrames, ShakeMovesTheCardLeftAndDownWithinItsBounds) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    SceneColours colours;
    colours.treeTop[0] = colours.treeTop[1] = colours.treeTop[2] = 255;
    writeCityTreeData(colours);
    TreeScene::load();
    constantLevel(2.0);
    for (int frame = 0; frame < 6; ++frame) {
        const uint32_t before = Random::state;
        drawFrame(130000 + frame);
        const int dx = peekNext(before, 4) % 20 - 20, dy = peekNext(before, 3) % 20 - 20;
        const std::vector<uint8_t> screen = grabScreen();
        int right = 0, top = 0;
        while (right < 40 && pixelAt(screen, 1279 - right, 600).r < 128) ++right;
        while (top < 40 && pixelAt(screen, 50, top).r < 128) ++top;
        EXPECT_EQ(right, -dx);
        EXPECT_EQ(top, -dy);
        EXPECT_TRUE(right >= 1 && right <= 20 && top >= 1 && top <= 20);
    }
}

TEST(TreeFrames, CityDrawsFirstAt121000AndTheGapIsBlack) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    SceneColours colours;
    colours.rising[2] = 100;
    colours.sinking[0] = 200;
    colours.treeCard[1] = 100;
    writeCityTreeData(colours);
    loadScenes();
    // Level 8 makes the tree's card fully additive. City first: the tree keeps a tenth of
    // the city's blue; tree first, the city's rising backdrop would add its full blue.
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
