// icon.h -- the program's icon at the sizes desktops ask for, and scalable
#pragma once
#include <cstdint>
#include <vector>

// The sizes drawn as pixels, smallest first; larger ones are drawn from the scalable icon.
constexpr int iconSizeCount = 5;
extern const int iconSizes[iconSizeCount];

// The icon at size x size, as a PNG with transparent corners; empty on failure.
std::vector<uint8_t> makeIcon(int size);
// The same drawing as an SVG document of 256 x 256 pixels; empty on failure.
std::vector<uint8_t> makeScalableIcon();
