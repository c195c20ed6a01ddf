// credits.cpp -- the credits card fading in from black
#include "scenes/credits.h"

namespace CreditsScene {

void load() {}

void render(float progress) { (void)progress; }

}  // namespace CreditsScene
