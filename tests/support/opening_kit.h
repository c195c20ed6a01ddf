// opening_kit.h -- fixture pictures and meshes of known colours for the opening and credits tests
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "testkit.h"

// Every picture is one solid colour (the star backdrop two), chosen so that the sum of the
// layers under a pixel tells which layers are in it and at what strength.
namespace OpeningKit {
constexpr Rgba backdropBefore{0, 0, 60};   // 2b's bottom half, in view before the title
constexpr Rgba backdropAfter{0, 0, 180};   // 2b's top half, in view once the backdrop has jumped
constexpr Rgba overlay2a{100, 0, 0};
constexpr Rgba starLine{0, 0, 200};        // 2a's bottom-left block: the star's line colour
constexpr Rgba logo{0, 80, 0};
constexpr Rgba title{0, 160, 0};
constexpr Rgba backdrop4a{0, 0, 100};      // kept at 0.4 under the tunnel overlay
constexpr Rgba overlay4b{0, 100, 0};
constexpr Rgba overlay4c{0, 40, 0};
constexpr Rgba farewell{60, 0, 0};
constexpr Rgba credits{200, 120, 40};

// The opening's eight pictures and two meshes under data/: a star whose one vertical
// edge runs through the middle of the screen, and a small far-away tunnel triangle.
void writeOpeningData();
void writeCreditsData();

// Sum of layers as GL would add them, each channel clamped to 255.
Rgba plus(Rgba a, Rgba b);
Rgba scaled(Rgba a, float factor);

// Passes when every channel is within a few units (JPEG and filtering rounding).
::testing::AssertionResult looksLike(Rgba actual, Rgba expected);

using Matrix = std::array<float, 16>;
Matrix currentModelview();
// The modelview that the given transforms build from identity, computed by GL itself.
Matrix modelviewOf(const std::function<void()>& transforms);
::testing::AssertionResult sameMatrix(const Matrix& actual, const Matrix& expected);
}  // namespace OpeningKit
