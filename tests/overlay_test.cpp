// overlay_test.cpp -- the 2D overlay and the three screen quads, checked by reading pixels back from headless GL
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/timeline.h"
#include "render/overlay.h"
#include "testkit.h"

static const Rgba black{0, 0, 0, 255};
static const Rgba white{255, 255, 255, 255};

// A flat white card in the letterboxed band, the way the frame loop leaves the viewport.
static void beginFlatCard() {
    clearFrame();
    glViewport(0, (screenHeight - viewportHeight) / 2, screenWidth, viewportHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    beginOverlay2D();
}

// Rows first..last (from the top) white over the columns 0..width-1, everything else black.
static void expectWhiteBlock(int width, int firstRow, int lastRow) {
    const std::vector<uint8_t> screen = grabScreen();
    int wrong = 0;
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x) {
            const bool inside = x < width && y >= firstRow && y <= lastRow;
            if (!near(pixelAt(screen, x, y), inside ? white : black, 0) && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") should be " << (inside ? "white" : "black");
        }
    EXPECT_EQ(wrong, 0);
}

TEST(Overlay, ScreenQuadFillsTheBandExactlyAt1024x768) {
    ASSERT_TRUE(startGl(1024, 768));
    beginFlatCard();
    drawScreenQuad();
    endOverlay2D();
    // 768 units squeezed into the 576-row band: 96 black rows stay above and below.
    expectWhiteBlock(1024, 96, 671);
}

TEST(Overlay, DoubleAndTallQuadsReachTwiceTheScreen) {
    ASSERT_TRUE(startGl(1280, 720));
    // Shifted back by all but 100 x 50 units, only the far corner of each quad stays on screen,
    // so its width and height show as the edges of that corner.
    beginFlatCard();
    glTranslatef(-2.0f * 1280 + 100, -2.0f * 720 + 50, 0);
    drawDoubleQuad();
    endOverlay2D();
    expectWhiteBlock(100, 720 - 50, 719);

    beginFlatCard();
    glTranslatef(-1280.0f + 100, -2.0f * 720 + 50, 0);
    drawTallQuad();
    endOverlay2D();
    expectWhiteBlock(100, 720 - 50, 719);

    // Unshifted, both cover the whole screen.
    beginFlatCard();
    drawTallQuad();
    endOverlay2D();
    expectWhiteBlock(1280, 0, 719);
}

TEST(Overlay, FirstTextureRowShowsAtTheTopAndFirstColumnAtTheLeft) {
    ASSERT_TRUE(startGl(1280, 720));
    // Rows as a loader hands them to GL, first row first: red green / blue white.
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    clearFrame();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    beginOverlay2D();
    drawScreenQuad();
    endOverlay2D();

    const std::vector<uint8_t> screen = grabScreen();
    EXPECT_TRUE(near(pixelAt(screen, 10, 10), Rgba{255, 0, 0, 255}, 0));
    EXPECT_TRUE(near(pixelAt(screen, 1270, 10), Rgba{0, 255, 0, 255}, 0));
    EXPECT_TRUE(near(pixelAt(screen, 10, 710), Rgba{0, 0, 255, 255}, 0));
    EXPECT_TRUE(near(pixelAt(screen, 1270, 710), white, 0));

    // Wireframes drawn after a card take their colour from the texel at the last
    // coordinate a quad sent: (0, 1), the bottom-left corner.
    GLfloat coords[4] = {};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coords);
    EXPECT_EQ(coords[0], 0.0f);
    EXPECT_EQ(coords[1], 1.0f);
}

TEST(Overlay, EndRestoresBothMatricesAndTheMode) {
    ASSERT_TRUE(startGl(1024, 768));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 1024.0 / 576.0, 0.5, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, -30);
    glRotatef(33, 0, 1, 0);

    GLfloat projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    GLint projectionDepth = 0, modelviewDepth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);

    beginOverlay2D();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat inside[16];
    glGetFloatv(GL_PROJECTION_MATRIX, inside);
    EXPECT_FLOAT_EQ(inside[0], 2.0f / 1024);  // x 0..screenWidth
    EXPECT_FLOAT_EQ(inside[5], 2.0f / 768);   // y 0..screenHeight, bottom up
    glGetFloatv(GL_MODELVIEW_MATRIX, inside);
    EXPECT_EQ(inside[12], 0.0f);
    glTranslatef(5, 6, 0);  // a card's own shift must not leak out
    drawScreenQuad();
    endOverlay2D();

    GLfloat after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], projection[i]) << i;
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], modelview[i]) << i;
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelviewDepth);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
