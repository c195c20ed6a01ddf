// credits.cpp -- the credits card fading in from black
#include "scenes/credits.h"

#include "render/gl.h"

#include "assets/texture.h"
#include "render/carried_gl.h"
#include "render/overlay.h"

namespace CreditsScene {

// The scene's only state: the card, 0 until its picture loads.
static Texture creditsTexture;

void load() { creditsTexture.load("data/credits.jpg"); }

void render(float progress) {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    setBlendFunction(GL_ONE, GL_SRC_ALPHA);
    bindPicture(creditsTexture.name);
    // GL clamps the colour, so the card is at full brightness from a quarter of the way in.
    // Texturing is not switched on here: the opening scene turned it on and nothing turns it off.
    const float g = progress * 4.0f;
    setColour(g, g, g);
    drawScreenQuad();
    endOverlay2D();
}

}  // namespace CreditsScene
