// tree.h -- a black wireframe tree that turns, pulses and splits
#pragma once

namespace TreeScene {
void load();
void render(float progress);
}  // namespace TreeScene
