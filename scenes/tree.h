// tree.h -- a black wireframe tree that turns, pulses and splits
#pragma once

namespace TreeScene {

// The progress at which the turning phase gives way to the pulsing one, and that to the
// splitting one. Both comparisons are strict: a frame exactly on one runs no phase block.
constexpr float pulseFrom = 0.81f;
constexpr float splitFrom = 0.87f;

void load();
void render(float progress);

}  // namespace TreeScene
