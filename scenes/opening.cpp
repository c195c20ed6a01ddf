// opening.cpp -- the first 56.5 seconds: a spinning star, then a tunnel
#include "scenes/opening.h"

#include "render/gl.h"

#include "base/globals.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/overlay.h"

namespace OpeningScene {

// What load() fills, read-only afterwards, and the latches the frames move.
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
    OpeningLatches latches;
};

static OpeningState opening;

// A loud moment: the only thing that moves the two latches.
static constexpr float loudLevel = 3.0f;
static constexpr float veryLoudLevel = 3.5f;
static constexpr int32_t titleAfterMs = 14000;
static constexpr int32_t tunnelAfterMs = 28000;

// Every reading is a fresh spectrum; callers take one exactly where the picture needs it.
static float reading() { return static_cast<float>(music.level()); }

static void bind(const Texture& texture) { glBindTexture(GL_TEXTURE_2D, texture.name); }

static void beginCards() {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
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
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    bind(opening.texture2b);
    // The latch as it stands now: a title switched on later in this frame moves the
    // backdrop only from the next frame on.
    if (opening.latches.titleShown)
        glTranslatef(progress * 1000.0f - width, -height, 0.0f);
    else
        glTranslatef(progress * -1000.0f, 0.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();
    glEnable(GL_TEXTURE_2D);

    const float overlayAlpha = reading();
    glColor4f(1.0f, 1.0f, 1.0f, overlayAlpha);
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
    if (elapsedMs > titleAfterMs && reading() > loudLevel) opening.latches.titleShown = true;
    bind(opening.latches.titleShown ? opening.titleTexture : opening.logoTexture);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

static void renderTunnel(float progress) {
    beginCards();
    glColor4f(1.0f, 1.0f, 1.0f, 0.1f);
    glEnable(GL_TEXTURE_2D);
    bind(opening.texture4a);
    glTranslatef(progress * -1000.0f, 0.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();
    glEnable(GL_TEXTURE_2D);

    glColor4f(1.0f, 1.0f, 1.0f, 0.4f);
    bind(reading() > veryLoudLevel ? opening.texture4b : opening.texture4c);
    drawScreenQuad();
    endOverlay2D();

    const float d1 = reading();
    const float d2 = reading();
    // GL rejects a width of 0 or below and keeps the one in force; asking only for
    // positive widths gives the same picture without leaving a GL error behind.
    const float lineWidth = d1 * d2;
    if (lineWidth > 0.0f) setLineWidth(lineWidth);
    glColor4f(1.0f, 1.0f, 1.0f, 0.8f);
    glScalef(1.5f, 1.5f, 1.0f);
    glTranslatef(-0.4f, -1.2f, progress * 50.0f - 80.0f);
    opening.tunnelMesh->drawWireframe();

    beginOverlay2D();
    bind(opening.farewellTexture);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

void render(float progress) {
    // Nothing is read here up to 28000 ms; after it, every frame reads, tunnel or not.
    if (elapsedMs > tunnelAfterMs && reading() > loudLevel) opening.latches.tunnelPhase = true;
    if (opening.latches.tunnelPhase)
        renderTunnel(progress);
    else
        renderStar(progress);
}

OpeningLatches& latches() { return opening.latches; }

}  // namespace OpeningScene
