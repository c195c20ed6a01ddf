// gl11_test.cpp -- the GL 1.1 layer's rules and pixels on a small ES 3 framebuffer
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "platform/egl_context.h"
#include "render/gl.h"

namespace {

constexpr int side = 64;

// A side x side framebuffer cleared to black, in pixel units with y up, as GL counts.
struct Screen {
    HeadlessGl gl;
    std::vector<uint8_t> rgba = std::vector<uint8_t>(side * side * 4);

    bool open() {
        if (!gl.create(side, side)) return false;
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
    const uint8_t* at(int x, int y) { return &rgba[((side - 1 - y) * side + x) * 4]; }
    void read() { gl.readPixels(rgba.data()); }
};

void quad(int x0, int y0, int x1, int y1) {
    glBegin(GL_QUADS);
    for (const auto& [s, t] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
        glTexCoord2f(float(s), float(t));
        glVertex2i(s ? x1 : x0, t ? y1 : y0);
    }
    glEnd();
}

template <typename T> std::vector<T> got(GLenum what, int count) {
    std::vector<T> values(16);
    if constexpr (std::is_same_v<T, GLint>) glGetIntegerv(what, values.data());
    else glGetFloatv(what, values.data());
    values.resize(count);
    return values;
}

}  // namespace

// Bad values are refused with GL's error and change nothing; the matrices, the viewport and the
// state one frame leaves the next read back as they were set, as desktop GL gives them (the
// colour unclamped), so that a seek can put them back.
TEST(Gl11, StateFollowsTheGlRules) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    glLineWidth(2.5f);
    for (float bad : {0.0f, -1.0f, NAN}) {
        glLineWidth(bad);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE)) << bad;
        EXPECT_EQ(got<GLfloat>(GL_LINE_WIDTH, 1)[0], 2.5f) << bad;
    }
    glPopMatrix();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_STACK_UNDERFLOW));
    glViewport(3, 5, 40, 20);
    EXPECT_EQ(got<GLint>(GL_VIEWPORT, 4), (std::vector<GLint>{3, 5, 40, 20}));

    glPushMatrix();
    glTranslatef(1, 2, 3);
    glScalef(2, 2, 2);
    glRotatef(90, 0, 0, 1);
    glRotatef(45, 0, 0, 0);  // no axis: no change
    const std::vector<GLfloat> m = got<GLfloat>(GL_MODELVIEW_MATRIX, 16);
    const float expected[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6) << i;
    glPopMatrix();
    EXPECT_EQ(got<GLfloat>(GL_MODELVIEW_MATRIX, 16)[12], 0.0f);

    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor4f(4.0f, 0.5f, 0.25f, -1.0f);
    glTexCoord2f(0, 1);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && !glIsEnabled(GL_BLEND));
    EXPECT_EQ(got<GLint>(GL_BLEND_SRC, 1)[0], GL_ONE);
    EXPECT_EQ(got<GLint>(GL_BLEND_DST, 1)[0], GL_SRC_ALPHA);
    EXPECT_EQ(got<GLint>(GL_POLYGON_MODE, 2), (std::vector<GLint>{GL_LINE, GL_LINE}));
    EXPECT_EQ(got<GLfloat>(GL_CURRENT_COLOR, 4), (std::vector<GLfloat>{4.0f, 0.5f, 0.25f, -1.0f}));
    EXPECT_EQ(got<GLfloat>(GL_CURRENT_TEXTURE_COORDS, 4), (std::vector<GLfloat>{0, 1, 0, 1}));
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The modulate environment (texel x colour, the colour clamped first), untextured drawing when
// no picture is bound, the blend function, triangles in line mode leaving their inside alone,
// and smooth lines as the desktop rasteriser draws them: five pixels wide, full coverage across
// the width and a one-pixel ramp on each side; one pixel wide between two rows, half of each.
TEST(Gl11, PixelsFollowTheFixedFunctionPipeline) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    // A 2 x 2 picture of one colour, loaded the way the demo loads its pictures.
    const uint8_t rgb[12] = {200, 100, 50, 200, 100, 50, 200, 100, 50, 200, 100, 50};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    EXPECT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, rgb), 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glEnable(GL_TEXTURE_2D);
    const struct { int x; GLuint bound; float r, g, b; } squares[] = {
        {0, texture, 0.5f, 1, 1}, {16, texture, 4, 4, 4}, {32, 0, 0.2f, 0.4f, 0.6f}};
    for (const auto& s : squares) {
        glBindTexture(GL_TEXTURE_2D, s.bound);
        glColor3f(s.r, s.g, s.b);
        quad(s.x, 0, s.x + 16, 16);
    }
    // Blending ONE, SRC_ALPHA over the first square halves it and adds the colour.
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glColor4f(0.2f, 0.0f, 0.0f, 0.5f);
    quad(0, 0, 16, 16);
    glDisable(GL_BLEND);
    glColor3f(1, 1, 1);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_TRIANGLES);
    for (const auto& [x, y] : {std::pair{8.0f, 20.5f}, {56.0f, 20.5f}, {32.0f, 40.0f}}) glVertex3f(x, y, 0);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const auto& [width, x0] : {std::pair{5.0f, 4.0f}, {1.0f, 36.0f}}) {
        glLineWidth(width);
        glBegin(GL_LINES);
        glVertex2f(x0, 52);
        glVertex2f(x0 + 24, 52);
        glEnd();
    }
    screen.read();
    // {x, y, rgb}: modulated and blended; the colour clamped to 1 before it multiplies; texture 0,
    // the colour alone; the triangle's bottom edge and its inside.
    const struct { int x, y, rgb[3]; } pixels[] = {
        {8, 8, {101, 50, 25}}, {24, 8, {200, 100, 50}}, {40, 8, {51, 102, 153}}, {32, 20, {255, 255, 255}}, {32, 30, {0, 0, 0}}};
    for (const auto& p : pixels)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(screen.at(p.x, p.y)[c], p.rgb[c], 1) << p.x << ", " << p.y << " channel " << c;
    // Rows by their centre's distance from the lines at y = 52: 0.5, 1.5, 2.5, 3.5 pixels.
    const int wide[4] = {255, 255, 128, 0}, thin[4] = {128, 0, 0, 0};
    for (int d = 0; d < 4; ++d)
        for (int y : {52 + d, 51 - d}) {
            EXPECT_NEAR(screen.at(16, y)[0], wide[d], 2) << d;
            EXPECT_NEAR(screen.at(48, y)[0], thin[d], 2) << d;
        }
}

// Ten thousand small wireframe triangles, each its own glBegin/glEnd under its own matrix,
// leave as one batch: immediate mode is gathered until the state changes, and the batch's
// 30000 lines go in four draws of at most 8192.
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
        for (const auto& [x, y] : {std::pair{0, 0}, {2, 0}, {0, 2}}) glVertex3f(float(x), float(y), 0);
        glEnd();
        glPopMatrix();
    }
    glFinish();
    EXPECT_EQ(gl11DrawCalls() - before, 4u);
}
