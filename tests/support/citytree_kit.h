// citytree_kit.h -- what the city and tree tests share: fixture data, generator counting, the modelview
#pragma once
#include <array>
#include <cstdint>

// Solid pictures (rgb per file, 0xRRGGBB) and small meshes in the current data/: the city a
// 10 x 15 wall facing the first fly-by, the island and the tree one triangle each. data/6a.jpg
// is both the city's sinking backdrop and the tree's trembling picture.
void writeCityTreeData(uint32_t rising, uint32_t sinking, uint32_t treeCard, uint32_t treeTop);

int drawsBetween(uint32_t from, uint32_t to);  // generator steps from one state to another, -1 past 1000
int peekNext(uint32_t state, int index);      // the index-th result after state, without drawing it
std::array<float, 16> currentModelview();
void expectMatrixNear(const std::array<float, 16>& actual, const std::array<float, 16>& expected);
