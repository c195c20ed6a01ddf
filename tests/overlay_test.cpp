// overlay_test.cpp -- the 2D overlay and the three screen quads, checked by reading pixels back from headless GL
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/timeline.h"
#include "render/overlay.h"
#include "testkit.h"

// Projection, modelview and the matrix mode, as GL holds them now.
static std::vector<GLfloat> matrices() {
    std::vector<GLfloat> m(33);
    glGetFloatv(GL_PROJECTION_MATRIX, m.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data() + 16);
    glGetFloatv(GL_MATRIX_MODE, m.data() + 32);
    return m;
}

// Draws quad in overlay mode, shifted by (dx, dy) units, over a frame set up as a scene leaves it, and
// expects columns below width of rows firstRow..lastRow (from the top) white, every other pixel black,
// and both matrices and the mode given back as they were.
static void expectQuadCovers(void (*quad)(), float dx, float dy, int width, int firstRow, int lastRow) {
    clearFrame();
    glViewport(0, (screenHeight - viewportHeight) / 2, screenWidth, viewportHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 16.0 / 9.0, 0.5, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, -30);
    const std::vector<GLfloat> before = matrices();
    beginOverlay2D();
    glTranslatef(dx, dy, 0);  // the card's own shift, which must not leak out
    quad();
    endOverlay2D();
    EXPECT_EQ(matrices(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "a matrix stack ran over or under";
    const std::vector<uint8_t> screen = grabScreen();
    int wrong = 0;
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x) {
            const int v = x < width && y >= firstRow && y <= lastRow ? 255 : 0;
            wrong += !near(pixelAt(screen, x, y), Rgba{v, v, v, 255}, 0);
        }
    EXPECT_EQ(wrong, 0) << "quad of " << width << " columns, rows " << firstRow << ".." << lastRow;
}

TEST(Overlay, ScreenQuadFillsTheBandExactlyAndEndGivesBackTheMatrices) {
    ASSERT_TRUE(startGl(1024, 768));
    // 768 units squeezed into the 576-row band: 96 black rows stay above and below.
    expectQuadCovers(drawScreenQuad, 0, 0, 1024, 96, 671);
}

TEST(Overlay, FirstTextureRowShowsAtTheTop) {
    ASSERT_TRUE(startGl(1024, 768));
    // Rows as a loader hands them to GL, first row first: white over black.
    const uint8_t texels[] = {255, 255, 255, 255, 0, 0, 0, 255};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    expectQuadCovers(drawScreenQuad, 0, 0, 1024, 96, 383);
}

TEST(Overlay, DoubleAndTallQuadsReachTwiceTheScreen) {
    ASSERT_TRUE(startGl(1024, 768));
    // Shifted back by all but 100 x 100 units (75 rows of the band) only the far corner stays on screen.
    expectQuadCovers(drawDoubleQuad, -2.0f * 1024 + 100, -2.0f * 768 + 100, 100, 597, 671);
    expectQuadCovers(drawTallQuad, -1024.0f + 100, -2.0f * 768 + 100, 100, 597, 671);
    expectQuadCovers(drawTallQuad, 0, 0, 1024, 96, 671);
}
