// credits.h -- the credits card fading in from black
#pragma once

namespace CreditsScene {
void load();
void render(float progress);
}  // namespace CreditsScene
