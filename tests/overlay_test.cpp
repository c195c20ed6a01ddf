// overlay_test.cpp -- the 2D overlay and the three screen quads, checked by reading pixels back from headless GL
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "base/globals.h"
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

// In overlay mode over a frame set up as a scene leaves it, each quad, shifted by (dx, dy) units,
// makes columns below width of rows firstRow..lastRow (from the top) white and every other pixel
// black, and both matrices and the mode are given back as they were. 768 units are squeezed into
// the 576-row band, so 96 black rows stay above and below; shifted back by all but 100 x 100 units
// (75 rows of the band), only the far corner of a larger quad stays on screen.
TEST(Overlay, QuadsFillExactlyTheirPixelsOfTheBandAndEndGivesBackTheMatrices) {
    ASSERT_TRUE(startGl(1024, 768));
    const struct { void (*quad)(); float dx, dy; int width, firstRow, lastRow; } cases[] = {
        {drawScreenQuad, 0, 0, 1024, 96, 671}, {drawTallQuad, 0, 0, 1024, 96, 671},
        {drawDoubleQuad, -2.0f * 1024 + 100, -2.0f * 768 + 100, 100, 597, 671},
        {drawTallQuad, -1024.0f + 100, -2.0f * 768 + 100, 100, 597, 671}};
    for (const auto& c : cases) {
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
        glTranslatef(c.dx, c.dy, 0);  // the card's own shift, which must not leak out
        c.quad();
        endOverlay2D();
        EXPECT_EQ(matrices(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "a matrix stack ran over or under";
        const std::vector<uint8_t> screen = grabScreen();
        int wrong = 0;
        for (int y = 0; y < screenHeight; ++y)
            for (int x = 0; x < screenWidth; ++x) {
                const int v = x < c.width && y >= c.firstRow && y <= c.lastRow ? 255 : 0;
                wrong += !near(pixelAt(screen, x, y), Rgba{v, v, v, 255}, 0);
            }
        EXPECT_EQ(wrong, 0) << "quad of " << c.width << " columns, rows " << c.firstRow << ".." << c.lastRow;
    }
}
