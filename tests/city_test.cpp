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

// The path with the starting parameters, in double precision, stored as floats.
static void expectPathEye(int32_t ms) {
    const double p = progress(ms, timeline[2].range);
    expectEye(static_cast<float>(20.0 * std::sin(80.0 * p)), static_cast<float>(std::sin(30.0 * p) + 1.0),
              static_cast<float>(20.0 * std::cos(70.0 * p)));
}

TEST(CityCamera, FlyBysStepOncePerFrameAndSkipTheirEdges) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(0.0);
    const uint32_t before = Random::state;
    cityFrame(92501);
    expectEye(0, 1, 50);
    cityFrame(92999);
    expectEye(0, 1, 49);
    // Inside a window the camera reads no level: the second reading is the shake test's.
    scriptLevel({0.0, 4.0, 0.0});
    cityFrame(92502);
    expectEye(0, 1, 48);
    EXPECT_EQ(levelReadings(), 4);
    EXPECT_EQ(drawsBetween(before, Random::state), 2);
    const uint32_t quiet = Random::state;
    for (int32_t edge : {93000, 103000, 103500}) {
        constantLevel(0.0);
        cityFrame(edge);
        expectPathEye(edge);
    }
    cityFrame(103001);
    expectEye(0, 50, 30);
    cityFrame(103002);
    expectEye(0, 48.5f, 30);
    cityFrame(103499);
    expectEye(0, 47, 30);
    EXPECT_EQ(CityScene::camera().flyByZ, 47.0f);
    EXPECT_EQ(CityScene::camera().flyByY, 45.5f);
    EXPECT_EQ(Random::state, quiet);
}

TEST(CityCamera, JumpAndShakeNeedReadingsStrictlyAbove) {
    ASSERT_TRUE(startGl(1280, 720));
    uint32_t before = Random::state;
    scriptLevel({0.0, 3.3f, 2.5});
    cityFrame(100000);
    expectPathEye(100000);
    EXPECT_EQ(Random::state, before);
    EXPECT_EQ(levelReadings(), 3);

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
    cityFrame(92500);
    EXPECT_EQ(Random::state, CityScene::reseedValue);
    // A loud first frame jumps with numbers drawn after the reseed.
    Random::seed(777);
    constantLevel(4.0);
    cityFrame(92500);
    EXPECT_EQ(drawsBetween(CityScene::reseedValue, Random::state), 7);
    EXPECT_EQ(CityScene::camera().orbitFreqX, peekNext(CityScene::reseedValue, 0) % 200 - 100);
}

// The eye straight below the look-at point: the unset eye at a loud 92500, and a drawn
// radius of 0. The view stays a real camera and nothing that outlives the frame holds NaN.
TEST(CityCamera, EyeBelowTheLookAtPointKeepsAUsableView) {
    ASSERT_TRUE(startGl(1280, 720));
    auto expectRealView = [](int32_t ms) {
        glLoadIdentity();
        cityFrame(ms);
        EXPECT_EQ(cameraPos.x, 0.0f);
        EXPECT_EQ(cameraPos.z, 0.0f);
        EXPECT_TRUE(std::isfinite(cameraPos.y));
        // The 3 x 3 part of a look-at is a rotation: determinant 1, not a collapse.
        const std::array<float, 16> m = currentModelview();
        const float det = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) +
                          m[8] * (m[1] * m[6] - m[2] * m[5]);
        EXPECT_NEAR(det, 1.0f, 1e-4f) << ms;
        for (float e : m) EXPECT_TRUE(std::isfinite(e)) << ms;
    };
    constantLevel(4.0);
    expectRealView(92500);
    uint32_t state = 1;
    while (peekNext(state, 1) % 100 != 50) ++state;
    Random::seed(state);
    cityFrame(100000);
    ASSERT_EQ(CityScene::camera().orbitRadius, 0.0f);
    constantLevel(0.0);
    for (int32_t ms : {100000, 110000}) expectRealView(ms);
}

TEST(CityScene, LeavesTheLookAtOnTheEntryModelviewAndTheCardState) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(0.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3, 4, 5);
    glScalef(2, 2, 1);
    const std::array<float, 16> entry = currentModelview();
    cityFrame(100000);
    const std::array<float, 16> left = currentModelview();
    glLoadMatrixf(entry.data());
    gluLookAt(cameraPos.x, cameraPos.y, cameraPos.z, 0, 2, 0, 0, 1, 0);
    glTranslatef(0, -1, 10);
    expectMatrixNear(left, currentModelview());
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

TEST(CityFrames, MeshesStandBlackAgainstTheBackdrops) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    SceneColours colours;
    colours.rising[2] = 120;
    colours.sinking[0] = 120;
    writeCityTreeData(colours);
    loadScenes();
    constantLevel(0.0);
    drawFrame(92600);  // the first fly-by: the eye at (0, 1, 50), facing the wall
    EXPECT_TRUE(near(pixelAt(640, 360), Rgba{0, 0, 0, 255}, 3));
    EXPECT_TRUE(near(pixelAt(20, 20), Rgba{120, 0, 120, 255}, 4));
    EXPECT_TRUE(near(pixelAt(1260, 700), Rgba{120, 0, 120, 255}, 4));
}
