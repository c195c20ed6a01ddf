// tree.cpp -- a black wireframe tree that turns, pulses and splits
#include "scenes/tree.h"

#include "render/gl.h"

#include <cmath>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/carried_gl.h"
#include "render/overlay.h"
#include "render/random.h"

namespace TreeScene {

namespace {

// What load() fills; the frames change nothing here, only the generator and GL state they share.
struct TreeState {
    Texture treeBackdrop;  // the trembling picture; a texture of its own, apart from the city's
    Texture treeCard;      // faded in with the level; still bound while the tree is drawn
    Texture treeTopCard;   // the shaking card over everything
    Mesh* treeMesh = new Mesh;
};

TreeState tree;

// Every use of the level is a reading of its own, taken where it is used.
float level() { return static_cast<float>(music.level()); }

void bind(const Texture& texture) { bindPicture(texture.name); }

void drawTree() { tree.treeMesh->drawWireframe(); }

// An axis of length zero names no direction; the turn is then left out and the tree is
// drawn as the earlier transforms place it.
void rotateAbout(float degrees, float x, float y, float z) {
    const float length2 = x * x + y * y + z * z;
    if (!(length2 > 0.0f) || !std::isfinite(length2)) return;
    glRotatef(degrees, x, y, z);
}

// Three draws, in this order, whatever they are used for: one that only advances the
// sequence, then the vertical and the horizontal offset.
void drawTremblingPicture() {
    glPushMatrix();
    setColour(1.0f, 1.0f, 1.0f, 0.1f);
    setTexturing(true);
    Random::next();
    bind(tree.treeBackdrop);
    const int ry = Random::next();
    const int rx = Random::next();
    glTranslatef(static_cast<float>(rx % 500 - 250) * 0.02f, static_cast<float>(ry % 500 - 250) * 0.02f,
                 0.0f);
    drawDoubleQuad();
    glPopMatrix();
}

void turn(float p) {
    setLineWidth(1.0f);
    const float l1 = level();
    glTranslatef(1.7f, -5.0f, 2.0f * l1 - 16.0f);
    glRotatef(10.0f, 1.0f, 0.0f, 0.0f);
    const float l2 = level();
    rotateAbout(p * 1000.0f, 0.0f, l2, 0.0f);
    drawTree();
}

void pulse() {
    setLineWidth(level() * 0.5f);
    const float l = level();
    glTranslatef(1.0f, -5.0f, 2.0f * l - 10.0f);
    drawTree();
}

// Each copy turns further than the last: the rotations pile up on the one matrix. A new
// draw decides every test, so the loop ends after at most 19 copies.
void split() {
    setLineWidth(level());
    const float l = level();
    glTranslatef(1.0f, -5.0f, 2.0f * l - 10.0f);
    for (int n = 0; Random::below(20) > static_cast<float>(n); ++n) {
        const float lz = level();
        const float ly = level();
        const float lx = level();
        const float la = level();
        rotateAbout(la * 30.0f, lx, ly, lz);
        drawTree();
    }
}

// Louder music pushes the card further left and down, by at most 10 pixels per unit.
void drawShakingCard() {
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    beginOverlay2D();
    const int ry = Random::next();
    const float levelY = level();
    const int rx = Random::next();
    const float levelX = level();
    glTranslatef(static_cast<float>(rx % 20) - 10.0f * levelX, static_cast<float>(ry % 20) - 10.0f * levelY,
                 0.0f);
    bind(tree.treeTopCard);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

}  // namespace

void load() {
    tree.treeCard.load("data/1b.jpg");
    tree.treeBackdrop.load("data/6a.jpg");
    tree.treeTopCard.load("data/goaway.jpg");
    tree.treeMesh->load("data/tree.obj");
}

void render(float progress) {
    const float p = progress;
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    setBlendFunction(GL_ONE, GL_SRC_ALPHA);
    drawTremblingPicture();

    setTexturing(true);
    setColour(1.0f, 1.0f, 1.0f, level() * 0.125f);
    bind(tree.treeCard);
    drawScreenQuad();
    endOverlay2D();

    // Black under the modulating environment: the lines are black whatever the card holds,
    // so the texture lookups change no pixel and are left out while the tree is drawn;
    // texturing is on again, the card still bound, before the shaking card.
    setBlending(false);
    glEnable(GL_DEPTH_TEST);
    setColour(0.0f, 0.0f, 0.0f);
    setTexturing(false);
    // A frame exactly on a threshold matches none of these and draws the tree only once below.
    if (p < pulseFrom) {
        turn(p);
    } else if (pulseFrom < p && p < splitFrom) {
        pulse();
    } else if (p > splitFrom) {
        split();
    }
    drawTree();
    setTexturing(true);

    drawShakingCard();
}

}  // namespace TreeScene
