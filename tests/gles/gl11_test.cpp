// gl11_test.cpp -- the GL 1.1 layer's rules and pixels on a small ES 3 framebuffer
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/egl_context.h"
#include "render/gl.h"

namespace {

constexpr int side = 64;

struct Screen {
    HeadlessGl gl;
    std::vector<uint8_t> rgba;

    bool open() {
        if (!gl.create(side, side)) return false;
        rgba.assign(side * side * 4, 0);
        glViewport(0, 0, side, side);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0, side, 0, side);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return true;
    }
    ~Screen() { gl.destroy(); }
    // x from the left, y from the bottom, as GL counts.
    const uint8_t* at(int x, int y) { return &rgba[((side - 1 - y) * side + x) * 4]; }
    void read() { gl.readPixels(rgba.data()); }
};

void quad(int x0, int y0, int x1, int y1) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(x0, y0);
    glTexCoord2f(1, 0);
    glVertex2i(x1, y0);
    glTexCoord2f(1, 1);
    glVertex2i(x1, y1);
    glTexCoord2f(0, 1);
    glVertex2i(x0, y1);
    glEnd();
}

// A 2 x 2 picture of one colour, loaded the way the demo loads its pictures.
GLuint solidTexture(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t rgb[12] = {r, g, b, r, g, b, r, g, b, r, g, b};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    EXPECT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, rgb), 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    return name;
}

}  // namespace

// Bad values are refused with GL's error and change nothing; the matrices, the viewport and the
// state one frame leaves the next read back as they were set.
TEST(Gl11, StateFollowsTheGlRules) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    glLineWidth(2.5f);
    for (float bad : {0.0f, -1.0f, NAN}) {
        glLineWidth(bad);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE)) << bad;
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_EQ(width, 2.5f) << bad;
    }
    glPopMatrix();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_STACK_UNDERFLOW));

    glViewport(3, 5, 40, 20);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[3], 20);

    glPushMatrix();
    glTranslatef(1, 2, 3);
    glScalef(2, 2, 2);
    glRotatef(90, 0, 0, 1);
    glRotatef(45, 0, 0, 0);  // no axis: no change
    GLfloat m[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float expected[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6) << i;
    glPopMatrix();
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 0.0f);

    // What a frame hands the next reads back as desktop GL gives it (the colour unclamped), so
    // that a seek can put it back.
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor4f(4.0f, 0.5f, 0.25f, -1.0f);
    glTexCoord2f(0, 1);
    GLint blend[2] = {}, modes[2] = {};
    GLfloat colour[4] = {}, coordinates[4] = {};
    glGetIntegerv(GL_BLEND_SRC, &blend[0]);
    glGetIntegerv(GL_BLEND_DST, &blend[1]);
    glGetIntegerv(GL_POLYGON_MODE, modes);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coordinates);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && !glIsEnabled(GL_BLEND));
    EXPECT_EQ(std::vector<GLint>(blend, blend + 2), (std::vector<GLint>{GL_ONE, GL_SRC_ALPHA}));
    EXPECT_EQ(std::vector<GLint>(modes, modes + 2), (std::vector<GLint>{GL_LINE, GL_LINE}));
    EXPECT_EQ(std::vector<GLfloat>(colour, colour + 4), (std::vector<GLfloat>{4.0f, 0.5f, 0.25f, -1.0f}));
    EXPECT_EQ(std::vector<GLfloat>(coordinates, coordinates + 4), (std::vector<GLfloat>{0, 1, 0, 1}));
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The modulate environment (texel x colour, the colour clamped first), untextured drawing when
// no picture is bound, the blend function, and triangles in line mode leaving their inside alone.
TEST(Gl11, PixelsFollowTheFixedFunctionPipeline) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    const GLuint texture = solidTexture(200, 100, 50);
    glEnable(GL_TEXTURE_2D);

    struct Case {
        int x = 0;
        GLuint bound = 0;
        float r = 0, g = 0, b = 0;
        uint8_t want[3] = {};
    } cases[] = {
        {0, texture, 0.5f, 1.0f, 1.0f, {100, 100, 50}},  // modulated
        {16, texture, 4.0f, 4.0f, 4.0f, {200, 100, 50}}, // colour clamped to 1 before it multiplies
        {32, 0, 0.2f, 0.4f, 0.6f, {51, 102, 153}},       // texture 0: the colour alone
    };
    for (const Case& c : cases) {
        glBindTexture(GL_TEXTURE_2D, c.bound);
        glColor3f(c.r, c.g, c.b);
        quad(c.x, 0, c.x + 16, 16);
    }
    // Blending: ONE, SRC_ALPHA over the first square halves it and adds the colour.
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glColor4f(0.2f, 0.0f, 0.0f, 0.5f);
    quad(0, 0, 16, 16);
    glDisable(GL_BLEND);
    // A large triangle in line mode: its edges lit, its middle left black.
    glColor3f(1, 1, 1);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_TRIANGLES);
    glVertex3f(8, 24.5f, 0);
    glVertex3f(56, 24.5f, 0);
    glVertex3f(32, 60, 0);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    screen.read();

    const uint8_t blended[3] = {101, 50, 25};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(screen.at(8, 8)[i], blended[i], 1) << i;
        EXPECT_NEAR(screen.at(24, 8)[i], cases[1].want[i], 1) << i;
        EXPECT_NEAR(screen.at(40, 8)[i], cases[2].want[i], 1) << i;
    }
    EXPECT_EQ(screen.at(32, 24)[0], 255);  // on the bottom edge
    EXPECT_EQ(screen.at(32, 36)[0], 0);    // inside
}

// A smooth line five pixels wide: full coverage across its width, a one-pixel ramp on each
// side, nothing beyond; one a pixel wide, run between two rows, half covers each of them.
// Both as on the desktop rasteriser.
TEST(Gl11, SmoothWideLinesHaveTheDesktopProfile) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1, 1, 1);
    glLineWidth(5.0f);
    glBegin(GL_LINES);
    glVertex2f(4, 32);
    glVertex2f(28, 32);
    glEnd();
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    glVertex2f(36, 32);
    glVertex2f(60, 32);
    glEnd();
    screen.read();
    // Rows by their centre's distance from the line at y = 32: 0.5, 1.5, 2.5, 3.5 pixels.
    const int wide[4] = {255, 255, 128, 0};
    const int thin[4] = {128, 0, 0, 0};
    for (int d = 0; d < 4; ++d) {
        EXPECT_NEAR(screen.at(16, 32 + d)[0], wide[d], 2) << d;
        EXPECT_NEAR(screen.at(16, 31 - d)[0], wide[d], 2) << d;
        EXPECT_NEAR(screen.at(48, 32 + d)[0], thin[d], 2) << d;
        EXPECT_NEAR(screen.at(48, 31 - d)[0], thin[d], 2) << d;
    }
}

// Ten thousand small wireframe triangles, each its own glBegin/glEnd under its own matrix,
// leave as one draw call: immediate mode is gathered until the state changes.
TEST(Gl11, ImmediateModeIsBatched) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    glEnable(GL_LINE_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const unsigned before = gl11DrawCalls();
    for (int i = 0; i < 10000; ++i) {
        glPushMatrix();
        glTranslatef(static_cast<float>(i % 60), static_cast<float>(i / 200), 0);
        glBegin(GL_TRIANGLES);
        glVertex3f(0, 0, 0);
        glVertex3f(2, 0, 0);
        glVertex3f(0, 2, 0);
        glEnd();
        glPopMatrix();
    }
    glFinish();
    EXPECT_EQ(gl11DrawCalls() - before, 1u);
}
