// city_test.cpp -- the city's camera cases and draws from the generator, its degenerate view, and the frames of both late scenes
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "base/globals.h"
#include "app/timeline.h"
#include "assets/loader.h"
#include "base/frame_state.h"
#include "render/random.h"
#include "scene_kit.h"
#include "scenes/city.h"

static void cityFrame(int32_t ms) {
    elapsedMs = ms;
    CityScene::render(progress(ms, timeline[2].range));
}

static void expectEye(float x, float y, float z) {
    EXPECT_EQ((std::array<float, 3>{frameState.eye.x, frameState.eye.y, frameState.eye.z}), (std::array<float, 3>{x, y, z}));
}

// The starting path, evaluated in double precision and stored as floats.
static void expectPathEye(int32_t ms) {
    const double p = progress(ms, timeline[2].range);
    expectEye(float(20.0 * std::sin(80.0 * p)), float(std::sin(30.0 * p) + 1.0), float(20.0 * std::cos(70.0 * p)));
}

TEST(CityCamera, FlyBysStepOncePerFrameAndSkipTheirEdges) {
    ASSERT_TRUE(startGl(1280, 720));
    // {ms, eye}; an eye of 0, 0, 0 marks a frame on the path.
    const struct { int32_t ms; float x, y, z; } frames[] = {{92501, 0, 1, 50}, {92999, 0, 1, 49}, {92502, 0, 1, 48}, {93000, 0, 0, 0},
        {103000, 0, 0, 0}, {103500, 0, 0, 0}, {103001, 0, 50, 30}, {103002, 0, 48.5f, 30}, {103499, 0, 47, 30}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.ms);
        scriptLevel({0.0, 3.0, 4.0});  // inside a window the camera reads nothing
        cityFrame(f.ms);
        f.z == 0 ? expectPathEye(f.ms) : expectEye(f.x, f.y, f.z);
        EXPECT_EQ(levelReadings(), f.z == 0 ? 5 : 4);
    }
}

TEST(CityCamera, JumpShakeAndReseedNeedTheirExactConditionsAndAZeroRadiusStaysReal) {
    ASSERT_TRUE(startGl(1280, 720));
    constantLevel(0.0);
    Random::seed(777);
    for (int32_t ms : {92501, 93000, 112499}) cityFrame(ms);
    EXPECT_EQ(frameState.random, 777u);
    scriptLevel({0.0, 3.3f, 2.5});
    cityFrame(100000);
    expectPathEye(100000);
    EXPECT_EQ(frameState.random, 777u);
    // A jump takes five draws in field order and keeps last frame's eye.
    const Vec3 eye = frameState.eye;
    scriptLevel({0.0, std::nextafter(3.3f, 4.0f), 0.0});
    cityFrame(100100);
    expectEye(eye.x, eye.y, eye.z);
    EXPECT_EQ(drawsBetween(777, frameState.random), 5);
    const uint32_t before = frameState.random;
    scriptLevel({0.0, 0.0, 2.6, 1.0, 1.0});
    cityFrame(100200);
    EXPECT_EQ(drawsBetween(before, frameState.random), 2);
    EXPECT_EQ(levelReadings(), 5);
    constantLevel(4.0);  // a loud first frame jumps with numbers drawn after the reseed
    cityFrame(92500);
    EXPECT_EQ(drawsBetween(CityScene::reseedValue, frameState.random), 7);
    // A jump to a radius of 0 puts the eye straight below the look-at point: the camera must
    // stay real, no NaN and a rotation of determinant 1.
    uint32_t state = 1;
    while (peekNext(state, 1) % 100 != 50) ++state;
    Random::seed(state);
    cityFrame(100000);
    ASSERT_EQ(frameState.city.orbitRadius, 0.0f);
    constantLevel(0.0);
    cityFrame(110000);
    const Matrix m = currentModelview();
    EXPECT_TRUE(std::isfinite(frameState.eye.y) && frameState.eye.x == 0.0f && frameState.eye.z == 0.0f);
    EXPECT_NEAR(m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) + m[8] * (m[1] * m[6] - m[2] * m[5]), 1.0f, 1e-4f);
}

TEST(CityAndTreeFrames, BlackCityFirstAt121000AndABlackGap) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    writeCityTreeData(Rgba{0, 0, 100, 0}, Rgba{200, 0, 0, 0}, Rgba{0, 100, 0, 0}, {});
    loadScenes(loadHelpers());
    constantLevel(0.0);
    drawFrame(92600);  // the first fly-by: the eye at (0, 1, 50), facing the wall
    EXPECT_LOOKS(pixelAt(640, 360), Rgba{});
    EXPECT_LOOKS(pixelAt(20, 20), (Rgba{200, 0, 100, 0}));
    EXPECT_LOOKS(pixelAt(1260, 700), (Rgba{200, 0, 100, 0}));
    // Level 8 makes the tree's card fully additive. City first, the tree keeps a tenth of
    // the city's blue; tree first, the city's rising backdrop would add its whole blue.
    constantLevel(8.0);
    drawFrame(121000);
    EXPECT_LOOKS(pixelAt(20, 700), (Rgba{220, 100, 10, 255}));
    for (int32_t ms : {149501, 149750, 149999}) {
        drawFrame(ms);
        const std::vector<uint8_t> screen = grabScreen();
        for (size_t i = 0; i < screen.size(); i += 4) ASSERT_FALSE(screen[i] | screen[i + 1] | screen[i + 2]) << ms << " ms, byte " << i;
    }
}
