// city.cpp -- a black city and island before two backdrops, seen from a roaming camera
#include "scenes/city.h"

#include "render/gl.h"

#include <cmath>

#include "base/frame_state.h"
#include "base/globals.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/carried_gl.h"
#include "render/overlay.h"
#include "render/random.h"

namespace CityScene {

namespace {

// What load() fills, read-only afterwards; the camera numbers the frames move are frameState.city.
struct CityState {
    Texture risingBackdrop;   // drawn at alpha 0.1, moving up
    Texture sinkingBackdrop;  // drawn at alpha 1, moving down; still bound in the 3D pass
    Texture foreverCard;      // the card over everything
    Mesh* cityMesh = new Mesh;
    Mesh* islandMesh = new Mesh;
};

CityState city;

// The fly-by windows; both ends excluded, so 93000, 103000 and 103500 take the path.
constexpr int firstFlyByStart = 92500, firstFlyByEnd = 93000;
constexpr int secondFlyByStart = 103000, secondFlyByEnd = 103500;
constexpr float jumpLevel = 3.3f;
constexpr float shakeLevel = 2.5f;
constexpr double lookAtY = 2.0;

// Every use of the level is a reading of its own; none serves two purposes.
float level() { return static_cast<float>(music.level()); }

void bind(const Texture& texture) { bindPicture(texture.name); }

void drawBackdrops(float p) {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    setBlendFunction(GL_ONE, GL_SRC_ALPHA);

    glPushMatrix();
    setColour(1.0f, 1.0f, 1.0f, 0.1f);
    setTexturing(true);
    bind(city.risingBackdrop);
    glTranslatef(0.0f, 500.0f * p - static_cast<float>(screenHeight), 0.0f);
    drawTallQuad();
    glPopMatrix();

    // No push of its own: endOverlay2D() pops the overlay's matrix and this shift with it.
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    bind(city.sinkingBackdrop);
    glTranslatef(0.0f, -500.0f * p, 0.0f);
    drawTallQuad();
    endOverlay2D();
}

// The fly-bys step once per frame, however much time passed; outside them a loud frame
// draws a new path and keeps last frame's eye, a quiet one follows the path.
void moveCamera(float p) {
    CityCamera& cam = frameState.city;
    const int32_t t = elapsedMs;
    if (firstFlyByStart < t && t < firstFlyByEnd) {
        frameState.eye.set(0.0f, 1.0f, cam.flyByZ);
        cam.flyByZ -= 1.0f;
    } else if (secondFlyByStart < t && t < secondFlyByEnd) {
        frameState.eye.set(0.0f, cam.flyByY, 30.0f);
        cam.flyByY -= 1.5f;
    } else if (level() > jumpLevel) {
        cam.orbitFreqX = Random::below(200) - 100.0f;
        cam.orbitRadius = Random::below(100) - 50.0f;
        cam.orbitFreqY = Random::below(200) - 100.0f;
        cam.orbitFreqZ = Random::below(200) - 100.0f;
        Random::below(100);  // drawn and dropped; later effects depend on the sequence position
    } else {
        const double pd = p;
        const double radius = cam.orbitRadius;
        frameState.eye.set(static_cast<float>(radius * std::sin(cam.orbitFreqX * pd)),
                      static_cast<float>(std::sin(cam.orbitFreqY * pd) + 1.0),
                      static_cast<float>(radius * std::cos(cam.orbitFreqZ * pd)));
    }
}

// The look-at is multiplied onto whatever modelview the scene was entered with. An eye
// on the vertical through the look-at point (orbit radius 0, the unset eye at 92500 ms,
// the first fly-by crossing z = 0) makes the view direction parallel to the up vector:
// the look-at would then collapse the whole scene onto a line. There the camera keeps
// its direction and takes the screen's up from the z axis instead, as a camera pitched
// straight up or down from its rest pose would; an eye on the look-at point itself has
// no direction and looks down -z.
void lookAtCity() {
    const double ex = frameState.eye.x, ey = frameState.eye.y, ez = frameState.eye.z;
    double cx = 0.0, cy = lookAtY, cz = 0.0;
    double ux = 0.0, uy = 1.0, uz = 0.0;
    const double dx = cx - ex, dy = cy - ey, dz = cz - ez;
    const double along = dx * dx + dy * dy + dz * dz;
    const double across = dx * dx + dz * dz;
    if (!(along > 0.0)) {
        cx = ex;
        cy = ey;
        cz = ez - 1.0;
    } else if (across <= 1e-12 * along) {
        uy = 0.0;
        uz = dy > 0.0 ? 1.0 : -1.0;
    }
    gluLookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
}

struct CityCopy {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float degrees = 0.0f;
};

// Copies two to five, placed on top of the first copy's transform.
constexpr CityCopy cityCopies[] = {
    {0.0f, -1.0f, 10.0f, 90.0f},
    {0.0f, -1.0f, -8.0f, 45.0f},
    {9.0f, -1.0f, 0.0f, 30.0f},
    {-12.0f, -1.0f, 0.0f, 70.0f},
};

// Black colour under the modulating texture environment turns every texel black, so the
// island and the city stand as silhouettes; the depth test sorts them among themselves.
// Since black times any texel of an RGB picture is black with the colour's alpha, the
// texture lookups here change no pixel and are switched off for the two passes: on the
// software rasteriser they cost as much as the rest of the fill. Texturing is on again,
// with the backdrop still bound, before anything else draws.
void drawCity() {
    setBlending(false);
    glEnable(GL_DEPTH_TEST);
    setColour(0.0f, 0.0f, 0.0f);
    setTexturing(false);
    glTranslatef(0.0f, -1.0f, 10.0f);

    glPushMatrix();
    glScalef(9.0f, 1.0f, 9.0f);
    city.islandMesh->drawWireframe();
    glPopMatrix();

    city.cityMesh->drawTextured();
    for (const CityCopy& copy : cityCopies) {
        glPushMatrix();
        glTranslatef(copy.x, copy.y, copy.z);
        glRotatef(copy.degrees, 0.0f, 1.0f, 0.0f);
        city.cityMesh->drawTextured();
        glPopMatrix();
    }
    setTexturing(true);
}

// A loud frame shakes the card left and down, by at most 10 units per unit of level.
void drawCard() {
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    beginOverlay2D();
    if (level() > shakeLevel) {
        const float a = Random::below(20);
        const float levelA = level();
        const float b = Random::below(20);
        const float levelB = level();
        glTranslatef(b - 10.0f * levelB, a - 10.0f * levelA, 0.0f);
    }
    bind(city.foreverCard);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

}  // namespace

void load() {
    city.risingBackdrop.load("data/7c.jpg");
    city.sinkingBackdrop.load("data/6a.jpg");
    city.foreverCard.load("data/forever.jpg");
    city.cityMesh->load("data/city.obj");
    city.islandMesh->load("data/island.obj");
}

void render(float progress) {
    // Before anything else draws from the generator, so the frame at 92500 ms starts the
    // scene's numbers from the same point on every run that hits it.
    if (elapsedMs == reseedMs) Random::seed(reseedValue);

    drawBackdrops(progress);
    // Passed unchanged: in silence the request is 0, which GL refuses, keeping the old width.
    setLineWidth(level());
    moveCamera(progress);
    lookAtCity();
    drawCity();
    drawCard();
}

}  // namespace CityScene
