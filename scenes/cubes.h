// cubes.h -- a chain of 10000 wireframe cubes under a sliding picture
#pragma once

namespace CubesScene {
void load();
void render(float progress);
}  // namespace CubesScene
