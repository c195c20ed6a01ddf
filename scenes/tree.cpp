// tree.cpp -- a black wireframe tree that turns, pulses and splits
#include "scenes/tree.h"

namespace TreeScene {

void load() {}

void render(float progress) { (void)progress; }

}  // namespace TreeScene
