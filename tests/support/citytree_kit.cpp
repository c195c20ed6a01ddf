// citytree_kit.cpp -- fixture data, generator counting and matrix checks for the city and tree tests
#include "citytree_kit.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "testkit.h"

static void solid(const char* path, uint32_t rgb) { writeSolidJpeg(path, 16, 16, rgb >> 16, (rgb >> 8) & 255, rgb & 255); }

void writeCityTreeData(uint32_t rising, uint32_t sinking, uint32_t treeCard, uint32_t treeTop) {
    solid("data/7c.jpg", rising);
    solid("data/6a.jpg", sinking);
    solid("data/forever.jpg", 0);
    solid("data/1b.jpg", treeCard);
    solid("data/goaway.jpg", treeTop);
    writeFile("data/city.obj", "v -5 -5 0\nv 5 -5 0\nv 5 10 0\nv -5 10 0\nvt 0 0\nf 1/1/1 2/1/1 3/1/1\nf 1/1/1 3/1/1 4/1/1\n");
    writeFile("data/island.obj", "v -1 0 -1\nv 1 0 -1\nv 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
    writeFile("data/tree.obj", "v -1 0 0\nv 1 0 0\nv 0 6 0\nf 1/1/1 2/1/1 3/1/1\n");
}

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

std::array<float, 16> currentModelview() {
    std::array<float, 16> m{};
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

void expectMatrixNear(const std::array<float, 16>& actual, const std::array<float, 16>& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-4f * (1.0f + std::fabs(expected[i]))) << i;
}
