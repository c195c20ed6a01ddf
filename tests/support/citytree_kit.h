// citytree_kit.h -- what the city and tree tests share: fixture data, the generator's count, matrices
#pragma once
#include <array>
#include <cstdint>

// Pictures of one solid colour each and small meshes, written into the current data/ (the
// city's sinking backdrop and the tree's trembling picture are one file, data/6a.jpg):
// the city is a 10 x 15 wall facing the first fly-by, the island and the tree one triangle.
struct SceneColours {
    uint8_t rising[3] = {0, 0, 0};
    uint8_t sinking[3] = {0, 0, 0};
    uint8_t forever[3] = {0, 0, 0};
    uint8_t treeCard[3] = {0, 0, 0};
    uint8_t treeTop[3] = {0, 0, 0};
};
void writeCityTreeData(const SceneColours& colours);

// How many draws lead the generator from state from to state to (-1 past 1000).
int drawsBetween(uint32_t from, uint32_t to);
// The results the generator would give from state, without moving it.
int peekNext(uint32_t state, int index);

std::array<float, 16> currentModelview();
// Element by element, relative to the size of the expected value; every element finite.
void expectMatrixNear(const std::array<float, 16>& actual, const std::array<float, 16>& expected);
