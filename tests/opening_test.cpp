// opening_test.cpp -- the opening's layers, latches, reading order and the GL state it leaves
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/timeline.h"
#include "opening_kit.h"
#include "scenes/opening.h"
#include "testkit.h"

using namespace OpeningKit;

class Opening : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_TRUE(startGl(1280, 720));
        writeOpeningData();
        OpeningScene::load();
    }
    // One whole frame with exactly these readings on offer; they must all be taken.
    static void frame(int32_t ms, const std::vector<double>& readings) {
        scriptLevel(readings);
        drawFrame(ms);
        EXPECT_EQ(levelReadings(), static_cast<int>(readings.size())) << "readings at " << ms << " ms";
    }
    // Far from where the star or the tunnel can reach.
    static Rgba probe() { return pixelAt(150, 250); }
};

TEST_F(Opening, StarPhaseLayersAndLines) {
    frame(1000, {0, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), plus(overlay2a, logo)));
    // A silent axis leaves the rotation out: only the star's translation is left behind.
    EXPECT_TRUE(sameMatrix(currentModelview(), modelviewOf([] { glTranslatef(0, 0, -10); })));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // With the overlay at alpha 0 a line replaces what is under it by 2a's bottom-left texel.
    bool onLine = false;
    for (int x = 636; x <= 644; ++x) onLine |= near(pixelAt(x, 300), plus(starLine, logo), 4);
    EXPECT_TRUE(onLine) << "no star line around the middle column";
    EXPECT_TRUE(looksLike(pixelAt(500, 300), plus(overlay2a, logo)));

    frame(1000, {1, 1, 1, 1, 1});
    EXPECT_TRUE(looksLike(probe(), plus(plus(backdropBefore, overlay2a), logo)));
}

TEST_F(Opening, TitleSwitchesOnFirstLoudReadingAfter14000AndBackdropFollows) {
    const Rgba logoFrame = plus(plus(backdropBefore, overlay2a), logo);
    frame(13000, {5, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), logoFrame));
    frame(14000, {5, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), logoFrame));
    frame(14001, {1, 0, 0, 0, 0, 3.0});
    EXPECT_TRUE(looksLike(probe(), logoFrame));
    frame(14002, {1, 0, 0, 0, 0, 3.01});
    EXPECT_TRUE(looksLike(probe(), plus(plus(backdropBefore, overlay2a), title)));
    frame(14003, {1, 0, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), plus(plus(backdropAfter, overlay2a), title)));
}

TEST_F(Opening, TunnelStartsOnFirstLoudReadingAfter28000AndStays) {
    const Rgba starFrame = plus(plus(backdropBefore, overlay2a), logo);
    const Rgba tunnelBase = plus(scaled(backdrop4a, 0.4f), farewell);
    frame(28000, {1, 0, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), starFrame));
    frame(28001, {3.0, 1, 0, 0, 0, 0, 0});
    EXPECT_TRUE(looksLike(probe(), starFrame));
    frame(28002, {3.01, 3.6, 1, 1});
    EXPECT_TRUE(looksLike(probe(), plus(tunnelBase, overlay4b)));
    frame(28003, {0, 3.5, 1, 1});
    EXPECT_TRUE(looksLike(probe(), plus(tunnelBase, overlay4c)));
    frame(40000, {0, 3.51, 1, 1});
    EXPECT_TRUE(looksLike(probe(), plus(tunnelBase, overlay4b)));
}

TEST_F(Opening, EachReadingLandsWhereItBelongs) {
    // Phase 1, overlay alpha 0.5, shift 2, axis readings 0.25, 0.5, 0.75, title test 5.
    frame(30000, {1, 0.5, 2, 0.25, 0.5, 0.75, 5});
    EXPECT_TRUE(looksLike(probe(), plus(plus(scaled(backdropBefore, 0.5f), overlay2a), title)));
    const float star = progress(30000, timeline[0].range);
    EXPECT_TRUE(sameMatrix(currentModelview(), modelviewOf([star] {
        glTranslatef(2, 0, -10);
        glRotatef(star * 500.0f, 0.75f, 0.5f, 0.25f);
    })));

    // Phase 4 (loud), overlay 3.6 picks 4b, width 2 x 3.
    frame(40000, {4, 3.6, 2, 3});
    EXPECT_TRUE(looksLike(probe(), plus(plus(scaled(backdrop4a, 0.4f), farewell), overlay4b)));
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_FLOAT_EQ(width, 6.0f);
    const float tunnel = progress(40000, timeline[0].range);
    EXPECT_TRUE(sameMatrix(currentModelview(), modelviewOf([tunnel] {
        glScalef(1.5f, 1.5f, 1);
        glTranslatef(-0.4f, -1.2f, tunnel * 50.0f - 80.0f);
    })));
}

// The cubes scene starts from this state at 56500 ms.
static void expectCardState(Rgba card, float lineWidth) {
    GLint i = 0;
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_BLEND_SRC_RGB, &i);
    EXPECT_EQ(i, GL_ONE);
    glGetIntegerv(GL_BLEND_DST_RGB, &i);
    EXPECT_EQ(i, GL_SRC_ALPHA);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
    glGetIntegerv(GL_MATRIX_MODE, &i);
    EXPECT_EQ(i, GL_MODELVIEW);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &i);
    EXPECT_EQ(i, 1);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &i);
    EXPECT_EQ(i, 1);
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, lineWidth);
    uint8_t texel[64 * 64 * 4] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    EXPECT_TRUE(looksLike(Rgba{texel[0], texel[1], texel[2], 255}, card)) << "bound texture";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Opening, LeavesTheStateTheNextSceneStartsFrom) {
    frame(1000, {1, 1, 1, 1, 1});
    expectCardState(logo, 1.0f);
    frame(30000, {4, 0, 2, 2.5});
    expectCardState(farewell, 5.0f);
    // Silence gives a width of 0, which GL would refuse: the width in force stays.
    frame(56499, {0, 0, 0, 0});
    expectCardState(farewell, 5.0f);
}
