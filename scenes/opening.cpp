// opening.cpp -- the first 56.5 seconds: a spinning star, then a tunnel
#include "scenes/opening.h"

namespace OpeningScene {

void load() {}

void render(float progress) { (void)progress; }

}  // namespace OpeningScene
