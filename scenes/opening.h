// opening.h -- the first 56.5 seconds: a spinning star, then a tunnel
#pragma once

namespace OpeningScene {

// What the frames change here, the two latches, lives in frameState.opening.
void load();
void render(float progress);

}  // namespace OpeningScene
