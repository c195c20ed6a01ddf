// scene_kit.cpp -- pictures in blocks of colour, modelview checks and generator stepping for the scene tests
#include "scene_kit.h"

#include <algorithm>
#include <cmath>
#include <vector>

Rgba plus(Rgba a, Rgba b) { return Rgba{std::min(255, a.r + b.r), std::min(255, a.g + b.g), std::min(255, a.b + b.b), 0}; }

Rgba scaled(Rgba a, float f) {
    return Rgba{std::min(255, int(std::lround(a.r * f))), std::min(255, int(std::lround(a.g * f))), std::min(255, int(std::lround(a.b * f))), 0};
}

void writeQuarters(const std::string& path, int size, Rgba tl, Rgba tr, Rgba bl, Rgba br) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Rgba c = y < size / 2 ? (x < size / 2 ? tl : tr) : (x < size / 2 ? bl : br);
            rgb.insert(rgb.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        }
    writeJpeg(path, size, size, rgb.data(), 100);
}

void writeCityTreeData(Rgba rising, Rgba sinking, Rgba treeCard, Rgba treeTop) {
    writeSolid("data/7c.jpg", rising);
    writeSolid("data/6a.jpg", sinking);
    writeSolid("data/forever.jpg", Rgba{});
    writeSolid("data/1b.jpg", treeCard);
    writeSolid("data/goaway.jpg", treeTop);
    writeFile("data/city.obj", "v -5 -5 0\nv 5 -5 0\nv 5 10 0\nv -5 10 0\nvt 0 0\nf 1/1/1 2/1/1 3/1/1\nf 1/1/1 3/1/1 4/1/1\n");
    writeFile("data/island.obj", "v -1 0 -1\nv 1 0 -1\nv 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
    writeFile("data/tree.obj", "v -1 0 0\nv 1 0 0\nv 0 6 0\nf 1/1/1 2/1/1 3/1/1\n");
}

Matrix modelviewOf(const std::function<void()>& transforms) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    transforms();
    const Matrix m = currentModelview();
    glPopMatrix();
    return m;
}

::testing::AssertionResult matrixNear(const Matrix& actual, const Matrix& expected, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        const float* column = &expected[i / 4 * 4];
        const float scale = 1.0f + std::max({std::fabs(column[0]), std::fabs(column[1]), std::fabs(column[2]), std::fabs(column[3])});
        if (!(std::fabs(actual[i] - expected[i]) <= tolerance * scale))
            return ::testing::AssertionFailure() << "element " << i << " is " << actual[i] << ", not " << expected[i];
    }
    return ::testing::AssertionSuccess();
}

// The generator's own step, so that a test can look ahead without drawing.
static uint32_t step(uint32_t state) { return state * 214013u + 2531011u; }

int drawsBetween(uint32_t from, uint32_t to) {
    for (int n = 0; n <= 1000; ++n, from = step(from))
        if (from == to) return n;
    return -1;
}

int peekNext(uint32_t state, int index) {
    for (int i = 0; i <= index; ++i) state = step(state);
    return static_cast<int>((state >> 16) & 0x7FFFu);
}
