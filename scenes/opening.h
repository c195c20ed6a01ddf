// opening.h -- the first 56.5 seconds: a spinning star, then a tunnel
#pragma once

namespace OpeningScene {
void load();
void render(float progress);
}  // namespace OpeningScene
