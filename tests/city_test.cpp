// city_test.cpp -- the city's camera cases, its draws from the generator, its degenerate view and its frames
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/globals.h"
#include "app/timeline.h"
#include "citytree_kit.h"
#include "render/random.h"
#include "scenes/city.h"
#include "testkit.h"

static void cityFrame(int32_t ms) {
    elapsedMs = ms;
    CityScene::render(progress(ms, timeline[2].range));
}

static void expectEye(float x, float y, float z) {
    EXPECT_EQ(cameraPos.x, x);
    EXPECT_EQ(cameraPos.y, y);
    EXPECT_EQ(cameraPos.z, z);
}

// The starting path, evaluated in double precision and stored as floats.
static void expectPathEye(int32_t ms) {
    const double p = progress(ms, timeline[2].range);
    expectEye(static_cast<float>(20.0 * std::sin(80.0 * p)), static_cast<float>(std::sin(30.0 * p) + 1.0),
              static_cast<float>(20.0 * std::cos(70.0 * p)));
}

TEST(CityCamera, FlyBysStepOncePerFrameAndSkipTheirEdges) {
    ASSERT_TRUE(startGl(1280, 720));
    const int32_t frames[] = {92501, 92999, 92502, 93000, 103000, 103500, 103001, 103002, 103499};
    const float eyes[][3] = {{0, 1, 50}, {0, 1, 49}, {0, 1, 48}, {}, {}, {}, {0, 50, 30}, {0, 48.5f, 30}, {0, 47, 30}};
    for (int i = 0; i < 9; ++i) {
        // Inside a window the camera reads nothing: the second reading is the shake test's.
        scriptLevel({0.0, 3.0, 4.0});
        cityFrame(frames[i]);
        if (eyes[i][2] == 0) expectPathEye(frames[i]);
        else expectEye(eyes[i][0], eyes[i][1], eyes[i][2]);
        EXPECT_EQ(levelReadings(), eyes[i][2] == 0 ? 5 : 4) << frames[i];
    }
    EXPECT_EQ(CityScene::camera().orbitRadius, 20.0f);
}

TEST(CityCamera, JumpAndShakeNeedReadingsStrictlyAbove) {
    ASSERT_TRUE(startGl(1280, 720));
    uint32_t before = Random::state;
    scriptLevel({0.0, 3.3f, 2.5});
    cityFrame(100000);
    expectPathEye(100000);
    EXPECT_EQ(Random::state, before);
    // A jump takes five draws in field order and keeps last frame's eye.
    const Vec3 eye = cameraPos;
    scriptLevel({0.0, std::nextafter(3.3f, 4.0f), 0.0});
    cityFrame(100100);
    expectEye(eye.x, eye.y, eye.z);
    EXPECT_EQ(drawsBetween(before, Random::state), 5);
    const CityScene::CityCamera& cam = CityScene::camera();
    EXPECT_EQ(cam.orbitFreqX, peekNext(before, 0) % 200 - 100);
    EXPECT_EQ(cam.orbitRadius, peekNext(before, 1) % 100 - 50);
    EXPECT_EQ(cam.orbitFreqY, peekNext(before, 2) % 200 - 100);
    EXPECT_EQ(cam.orbitFreqZ, peekNext(before, 3) % 200 - 100);
    before = Random::state;
    scriptLevel({0.0, 0.0, 2.6, 1.0, 1.0});
    cityFrame(100200);
    EXPECT_EQ(drawsBetween(before, Random::state), 2);
    EXPECT_EQ(levelReadings(), 5);
}

TEST(CityCamera, ReseedsOnlyAtItsInstantAndBeforeAnyDraw) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(0.0);
    Random::seed(777);
    for (int32_t ms : {92501, 93000, 112499}) cityFrame(ms);
    EXPECT_EQ(Random::state, 777u);
    constantLevel(4.0);  // a loud first frame jumps with numbers drawn after the reseed
    cityFrame(92500);
    EXPECT_EQ(drawsBetween(CityScene::reseedValue, Random::state), 7);
    EXPECT_EQ(CityScene::camera().orbitFreqX, peekNext(CityScene::reseedValue, 0) % 200 - 100);
}

static std::array<float, 16> frameOnShiftedEntry(int32_t ms) {
    glLoadIdentity();
    glTranslatef(3, 4, 5);
    cityFrame(ms);
    return currentModelview();
}

// The rotation part of a look-at has determinant 1; a collapsed view has 0.
static float rotationDeterminant(const std::array<float, 16>& m) {
    return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) +
           m[8] * (m[1] * m[6] - m[2] * m[5]);
}

// gluLookAt on the entry modelview, then the shift; an eye straight below the look-at point
// (the unset eye at a loud 92500, a drawn radius of 0) still gives a real camera, no NaN.
TEST(CityCamera, LooksFromTheEntryModelviewEvenFromStraightBelow) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(4.0);
    EXPECT_NEAR(rotationDeterminant(frameOnShiftedEntry(92500)), 1.0f, 1e-4f);
    expectEye(0, 0, 0);
    constantLevel(0.0);
    const std::array<float, 16> left = frameOnShiftedEntry(100000);
    glLoadIdentity();
    glTranslatef(3, 4, 5);
    gluLookAt(cameraPos.x, cameraPos.y, cameraPos.z, 0, 2, 0, 0, 1, 0);
    glTranslatef(0, -1, 10);
    expectMatrixNear(left, currentModelview());
    EXPECT_TRUE(glIsEnabled(GL_BLEND) && !glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_TEXTURE_2D));

    uint32_t state = 1;
    while (peekNext(state, 1) % 100 != 50) ++state;
    Random::seed(state);
    constantLevel(4.0);
    cityFrame(100000);
    ASSERT_EQ(CityScene::camera().orbitRadius, 0.0f);
    constantLevel(0.0);
    for (int32_t ms : {101000, 110000}) {
        EXPECT_NEAR(rotationDeterminant(frameOnShiftedEntry(ms)), 1.0f, 1e-4f) << ms;
        EXPECT_TRUE(std::isfinite(cameraPos.y) && cameraPos.x == 0.0f && cameraPos.z == 0.0f);
    }
}

TEST(CityFrames, MeshesStandBlackAgainstTheBackdrops) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData(0x000078, 0x780000, 0, 0);
    CityScene::load();
    constantLevel(0.0);
    drawFrame(92600);  // the first fly-by: the eye at (0, 1, 50), facing the wall
    EXPECT_TRUE(near(pixelAt(640, 360), Rgba{0, 0, 0, 255}, 3));
    EXPECT_TRUE(near(pixelAt(20, 20), Rgba{120, 0, 120, 255}, 4));
    EXPECT_TRUE(near(pixelAt(1260, 700), Rgba{120, 0, 120, 255}, 4));
}
