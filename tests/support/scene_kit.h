// scene_kit.h -- what the scene tests share: pictures in blocks of colour, the modelview, the generator's steps
#pragma once
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "testkit.h"

// Every channel within 4 (JPEG and filtering rounding); a failure prints both colours.
#define EXPECT_LOOKS(actual, expected) EXPECT_PRED3(near, actual, expected, 4)
inline std::ostream& operator<<(std::ostream& out, Rgba c) { return out << '(' << c.r << ", " << c.g << ", " << c.b << ')'; }
Rgba plus(Rgba a, Rgba b);  // layers added as GL adds them, each channel clamped to 255
Rgba scaled(Rgba a, float factor);

// A size x size JPEG in four blocks: top-left, top-right, bottom-left, bottom-right.
void writeQuarters(const std::string& path, int size, Rgba tl, Rgba tr, Rgba bl, Rgba br);
inline void writeSolid(const std::string& path, Rgba c) { writeQuarters(path, 16, c, c, c, c); }
// The city a 10 x 15 wall facing the first fly-by, the island and the tree one triangle each;
// 6a is both the city's sinking backdrop and the tree's trembling picture.
void writeCityTreeData(Rgba rising, Rgba sinking, Rgba treeCard, Rgba treeTop);

using Matrix = std::array<float, 16>;
inline Matrix currentModelview() { Matrix m{}; glGetFloatv(GL_MODELVIEW_MATRIX, m.data()); return m; }
Matrix modelviewOf(const std::function<void()>& transforms);  // what they build from identity, by GL itself
// Each element within tolerance x (1 + the largest magnitude in its column).
::testing::AssertionResult matrixNear(const Matrix& actual, const Matrix& expected, float tolerance = 1e-5f);

int drawsBetween(uint32_t from, uint32_t to);  // generator steps from one state to another, -1 past 1000
int peekNext(uint32_t state, int index);      // the index-th result after state, without drawing it
