// opening_kit.cpp -- fixture pictures and meshes of known colours for the opening and credits tests
#include "opening_kit.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace OpeningKit {

static constexpr int side = 64;  // blocks of 8 texels keep JPEG from smearing the edges

static void fill(std::vector<uint8_t>& rgb, int x0, int y0, int x1, int y1, Rgba c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = rgb.data() + (static_cast<size_t>(y) * side + x) * 3;
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
        }
}

static void writeSolid(const char* path, Rgba c) {
    writeSolidJpeg(path, side, side, static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                   static_cast<uint8_t>(c.b));
}

void writeOpeningData() {
    std::vector<uint8_t> rgb(static_cast<size_t>(side) * side * 3);
    fill(rgb, 0, 0, side, side / 2, backdropAfter);
    fill(rgb, 0, side / 2, side, side, backdropBefore);
    writeJpeg("data/2b.jpg", side, side, rgb.data(), 100);

    // The overlay's bottom-left texel is what every star line is drawn with.
    fill(rgb, 0, 0, side, side, overlay2a);
    fill(rgb, 0, side - 8, 8, side, starLine);
    writeJpeg("data/2a.jpg", side, side, rgb.data(), 100);

    writeSolid("data/norvi.jpg", logo);
    writeSolid("data/talumen.jpg", title);
    writeSolid("data/farewell.jpg", farewell);
    writeSolid("data/4a.jpg", backdrop4a);
    writeSolid("data/4b.jpg", overlay4b);
    writeSolid("data/4c.jpg", overlay4c);

    writeFile("data/star1.obj",
              "# a triangle with one vertical edge on x = 0\n"
              "v 0 -3 0\nv 0 3 0\nv 3 0 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
    writeFile("data/tunnel.obj", "v 0 0 0\nv 0.2 0 0\nv 0 0.2 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
}

void writeCreditsData() { writeSolid("data/credits.jpg", credits); }

static int clamp255(float v) { return std::min(255, static_cast<int>(std::lround(v))); }

Rgba plus(Rgba a, Rgba b) {
    return Rgba{std::min(255, a.r + b.r), std::min(255, a.g + b.g), std::min(255, a.b + b.b), 0};
}

Rgba scaled(Rgba a, float factor) {
    return Rgba{clamp255(a.r * factor), clamp255(a.g * factor), clamp255(a.b * factor), 0};
}

::testing::AssertionResult looksLike(Rgba actual, Rgba expected) {
    if (near(actual, expected, 4)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << actual.r << ", " << actual.g << ", " << actual.b
                                         << "), expected (" << expected.r << ", " << expected.g << ", "
                                         << expected.b << ")";
}

Matrix currentModelview() {
    Matrix m{};
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

Matrix modelviewOf(const std::function<void()>& transforms) {
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    transforms();
    Matrix m = currentModelview();
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(mode));
    return m;
}

::testing::AssertionResult sameMatrix(const Matrix& actual, const Matrix& expected) {
    for (size_t i = 0; i < actual.size(); ++i)
        if (std::fabs(actual[i] - expected[i]) > 1e-4f)
            return ::testing::AssertionFailure() << "element " << i << " is " << actual[i] << ", expected "
                                                 << expected[i];
    return ::testing::AssertionSuccess();
}

}  // namespace OpeningKit
