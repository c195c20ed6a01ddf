// city_test.cpp -- the city's camera cases, its draws from the generator, its degenerate view and its frames
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/globals.h"
#include "app/timeline.h"
#include "render/random.h"
#include "scene_kit.h"
#include "scenes/city.h"

static void cityFrame(int32_t ms) {
    elapsedMs = ms;
    CityScene::render(progress(ms, timeline[2].range));
}

static void expectEye(float x, float y, float z) {
    EXPECT_TRUE(cameraPos.x == x && cameraPos.y == y && cameraPos.z == z)
        << "eye " << cameraPos.x << ", " << cameraPos.y << ", " << cameraPos.z << " not " << x << ", " << y << ", " << z;
}

// The starting path, evaluated in double precision and stored as floats.
static void expectPathEye(int32_t ms) {
    const double p = progress(ms, timeline[2].range);
    expectEye(float(20.0 * std::sin(80.0 * p)), float(std::sin(30.0 * p) + 1.0), float(20.0 * std::cos(70.0 * p)));
}

TEST(CityCamera, FlyBysStepOncePerFrameAndSkipTheirEdges) {
    ASSERT_TRUE(startGl(1280, 720));
    const int32_t frames[] = {92501, 92999, 92502, 93000, 103000, 103500, 103001, 103002, 103499};
    const float eyes[][3] = {{0, 1, 50}, {0, 1, 49}, {0, 1, 48}, {}, {}, {}, {0, 50, 30}, {0, 48.5f, 30}, {0, 47, 30}};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(frames[i]);
        scriptLevel({0.0, 3.0, 4.0});  // inside a window the camera reads nothing
        cityFrame(frames[i]);
        if (eyes[i][2] == 0) expectPathEye(frames[i]);
        else expectEye(eyes[i][0], eyes[i][1], eyes[i][2]);
        EXPECT_EQ(levelReadings(), eyes[i][2] == 0 ? 5 : 4);
    }
}

TEST(CityCamera, JumpAndShakeNeedReadingsStrictlyAboveAndReseedOnlyAt92500) {
    ASSERT_TRUE(startGl(1280, 720));
    Random::seed(777);
    for (int32_t ms : {92501, 93000, 112499}) cityFrame(ms);
    EXPECT_EQ(Random::state, 777u);
    scriptLevel({0.0, 3.3f, 2.5});
    cityFrame(100000);
    expectPathEye(100000);
    EXPECT_EQ(Random::state, 777u);
    // A jump takes five draws in field order and keeps last frame's eye.
    const Vec3 eye = cameraPos;
    scriptLevel({0.0, std::nextafter(3.3f, 4.0f), 0.0});
    cityFrame(100100);
    expectEye(eye.x, eye.y, eye.z);
    EXPECT_EQ(drawsBetween(777, Random::state), 5);
    const CityScene::CityCamera& cam = CityScene::camera();
    EXPECT_EQ(cam.orbitFreqX, peekNext(777, 0) % 200 - 100);
    EXPECT_EQ(cam.orbitRadius, peekNext(777, 1) % 100 - 50);
    EXPECT_EQ(cam.orbitFreqY, peekNext(777, 2) % 200 - 100);
    EXPECT_EQ(cam.orbitFreqZ, peekNext(777, 3) % 200 - 100);
    const uint32_t before = Random::state;
    scriptLevel({0.0, 0.0, 2.6, 1.0, 1.0});
    cityFrame(100200);
    EXPECT_EQ(drawsBetween(before, Random::state), 2);
    EXPECT_EQ(levelReadings(), 5);
    constantLevel(4.0);  // a loud first frame jumps with numbers drawn after the reseed
    cityFrame(92500);
    EXPECT_EQ(drawsBetween(CityScene::reseedValue, Random::state), 7);
    EXPECT_EQ(cam.orbitFreqX, peekNext(CityScene::reseedValue, 0) % 200 - 100);
}

static Matrix frameOnShiftedEntry(int32_t ms) {
    glLoadIdentity();
    glTranslatef(3, 4, 5);
    cityFrame(ms);
    return currentModelview();
}

// gluLookAt goes on the entry modelview; an eye straight below the look-at point (a drawn
// radius of 0) still gives a real camera: the rotation keeps determinant 1, no NaN.
TEST(CityCamera, LooksFromTheEntryModelviewEvenFromStraightBelow) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(0.0);
    const Matrix left = frameOnShiftedEntry(100000);
    EXPECT_TRUE(matrixNear(left, modelviewOf([] {
        glTranslatef(3, 4, 5);
        gluLookAt(cameraPos.x, cameraPos.y, cameraPos.z, 0, 2, 0, 0, 1, 0);
        glTranslatef(0, -1, 10);
    }), 1e-4f));
    uint32_t state = 1;
    while (peekNext(state, 1) % 100 != 50) ++state;
    Random::seed(state);
    constantLevel(4.0);
    cityFrame(100000);
    ASSERT_EQ(CityScene::camera().orbitRadius, 0.0f);
    constantLevel(0.0);
    for (int32_t ms : {101000, 110000}) {
        const Matrix m = frameOnShiftedEntry(ms);
        EXPECT_TRUE(std::isfinite(cameraPos.y) && cameraPos.x == 0.0f && cameraPos.z == 0.0f);
        EXPECT_NEAR(m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) + m[8] * (m[1] * m[6] - m[2] * m[5]), 1.0f, 1e-4f);
    }
}

TEST(CityFrames, MeshesStandBlackAgainstTheBackdrops) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData(Rgba{0, 0, 120, 0}, Rgba{120, 0, 0, 0}, {}, {});
    CityScene::load();
    constantLevel(0.0);
    drawFrame(92600);  // the first fly-by: the eye at (0, 1, 50), facing the wall
    EXPECT_LOOKS(pixelAt(640, 360), (Rgba{0, 0, 0, 255}));
    EXPECT_LOOKS(pixelAt(20, 20), (Rgba{120, 0, 120, 255}));
    EXPECT_LOOKS(pixelAt(1260, 700), (Rgba{120, 0, 120, 255}));
}
