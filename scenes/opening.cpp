// opening.cpp -- the first 56.5 seconds: a spinning star, then a tunnel
#include "scenes/opening.h"

#include "render/gl.h"

#include "base/frame_state.h"
#include "base/globals.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/carried_gl.h"
#include "render/overlay.h"

namespace OpeningScene {

// What load() fills, read-only afterwards; the latches the frames move are frameState.opening.
struct OpeningState {
    Texture logoTexture;
    Texture titleTexture;
    Texture farewellTexture;
    Texture texture2a;
    Texture texture2b;
    Texture texture4a;
    Texture texture4b;
    Texture texture4c;
    // Allocated empty before main runs and filled by load(); never released.
    Mesh* starMesh = new Mesh;
    Mesh* tunnelMesh = new Mesh;
};

static OpeningState opening;

// A loud moment: the only thing that moves the two latches.
static constexpr float loudLevel = 3.0f;
static constexpr float veryLoudLevel = 3.5f;
static constexpr int32_t titleAfterMs = 14000;
static constexpr int32_t tunnelAfterMs = 28000;

// Every reading is a fresh spectrum; callers take one exactly where the picture needs it.
static float reading() { return static_cast<float>(music.level()); }

static void bind(const Texture& texture) { bindPicture(texture.name); }

static void beginCards() {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    setBlendFunction(GL_ONE, GL_SRC_ALPHA);
    glPushMatrix();
}

void load() {
    opening.logoTexture.load("data/norvi.jpg");
    opening.titleTexture.load("data/talumen.jpg");
    opening.farewellTexture.load("data/farewell.jpg");
    opening.texture2a.load("data/2a.jpg");
    opening.texture2b.load("data/2b.jpg");
    opening.texture4a.load("data/4a.jpg");
    opening.texture4b.load("data/4b.jpg");
    opening.texture4c.load("data/4c.jpg");
    opening.starMesh->load("data/star1.obj");
    opening.tunnelMesh->load("data/tunnel.obj");
}

static void renderStar(float progress) {
    const float width = static_cast<float>(screenWidth);
    const float height = static_cast<float>(screenHeight);

    beginCards();
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    setTexturing(true);
    bind(opening.texture2b);
    // The latch as it stands now: a title switched on later in this frame moves the
    // backdrop only from the next frame on.
    if (frameState.opening.titleShown)
        glTranslatef(progress * 1000.0f - width, -height, 0.0f);
    else
        glTranslatef(progress * -1000.0f, 0.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();
    setTexturing(true);

    const float overlayAlpha = reading();
    setColour(1.0f, 1.0f, 1.0f, overlayAlpha);
    bind(opening.texture2a);
    drawScreenQuad();
    endOverlay2D();

    const float shift = reading();
    glTranslatef(shift, 0.0f, -10.0f);
    const float c1 = reading();
    const float c2 = reading();
    const float c3 = reading();
    // A silent axis has no direction; the star then simply does not turn this frame.
    if (c1 != 0.0f || c2 != 0.0f || c3 != 0.0f) glRotatef(progress * 500.0f, c3, c2, c1);
    // Lines take texture2a's texel at (0, 1), left current by the screen quad above.
    opening.starMesh->drawWireframe();

    beginOverlay2D();
    if (elapsedMs > titleAfterMs && reading() > loudLevel) frameState.opening.titleShown = true;
    bind(frameState.opening.titleShown ? opening.titleTexture : opening.logoTexture);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

static void renderTunnel(float progress) {
    beginCards();
    setColour(1.0f, 1.0f, 1.0f, 0.1f);
    setTexturing(true);
    bind(opening.texture4a);
    glTranslatef(progress * -1000.0f, 0.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();
    setTexturing(true);

    setColour(1.0f, 1.0f, 1.0f, 0.4f);
    bind(reading() > veryLoudLevel ? opening.texture4b : opening.texture4c);
    drawScreenQuad();
    endOverlay2D();

    const float d1 = reading();
    const float d2 = reading();
    // GL rejects a width of 0 or below and keeps the one in force; asking only for
    // positive widths gives the same picture without leaving a GL error behind.
    const float lineWidth = d1 * d2;
    if (lineWidth > 0.0f) setLineWidth(lineWidth);
    setColour(1.0f, 1.0f, 1.0f, 0.8f);
    glScalef(1.5f, 1.5f, 1.0f);
    glTranslatef(-0.4f, -1.2f, progress * 50.0f - 80.0f);
    opening.tunnelMesh->drawWireframe();

    beginOverlay2D();
    bind(opening.farewellTexture);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

void render(float progress) {
    // Nothing is read here up to 28000 ms; after it, every frame reads, tunnel or not.
    if (elapsedMs > tunnelAfterMs && reading() > loudLevel) frameState.opening.tunnelPhase = true;
    if (frameState.opening.tunnelPhase)
        renderTunnel(progress);
    else
        renderStar(progress);
}

}  // namespace OpeningScene
