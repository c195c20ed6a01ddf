// opening_test.cpp -- the opening's layers, latches and reading order
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/timeline.h"
#include "scene_kit.h"
#include "scenes/opening.h"

// Solid pictures whose sum under a pixel tells which layers are in it and at what strength.
constexpr Rgba before{0, 0, 60}, after{0, 0, 180}, overlay{100, 0, 0}, starLine{0, 0, 200}, logo{0, 80, 0}, title{0, 160, 0},
    backdrop4a{0, 0, 100}, overlay4b{0, 100, 0}, overlay4c{0, 40, 0}, farewell{60, 0, 0};

class Opening : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_TRUE(startGl(1280, 720));
        // 2b shows its bottom half until the backdrop jumps; 2a's bottom-left is the star's line colour.
        writeQuarters("data/2b.jpg", 64, after, after, before, before);
        writeQuarters("data/2a.jpg", 64, overlay, overlay, starLine, overlay);
        for (const auto& [name, colour] : {std::pair{"norvi", logo}, {"talumen", title}, {"farewell", farewell},
                                           {"4a", backdrop4a}, {"4b", overlay4b}, {"4c", overlay4c}})
            writeSolid(std::string("data/") + name + ".jpg", colour);
        // A star with one vertical edge down the middle of the screen; a small far-away tunnel.
        writeFile("data/star1.obj", "v 0 -3 0\nv 0 3 0\nv 3 0 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
        writeFile("data/tunnel.obj", "v 0 0 0\nv 0.2 0 0\nv 0 0.2 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
        OpeningScene::load();
    }
    // One whole frame with exactly these readings on offer, all of which it must take; the
    // pixel returned lies far from where the star or the tunnel can reach.
    static Rgba frame(int32_t ms, const std::vector<double>& readings) {
        scriptLevel(readings);
        drawFrame(ms);
        EXPECT_EQ(levelReadings(), static_cast<int>(readings.size())) << ms << " ms";
        return pixelAt(150, 250);
    }
};

TEST_F(Opening, StarPhaseLayersAndLines) {
    EXPECT_LOOKS(frame(1000, {0, 0, 0, 0, 0}), plus(overlay, logo));
    // A silent axis leaves the rotation out: only the star's translation is left behind.
    EXPECT_TRUE(matrixNear(currentModelview(), modelviewOf([] { glTranslatef(0, 0, -10); })));
    // With the overlay at alpha 0 a line replaces what is under it by 2a's bottom-left texel.
    bool onLine = false;
    for (int x = 636; x <= 644; ++x) onLine |= near(pixelAt(x, 300), plus(starLine, logo), 4);
    EXPECT_TRUE(onLine) << "no star line around the middle column";
    EXPECT_LOOKS(pixelAt(500, 300), plus(overlay, logo));
    EXPECT_LOOKS(frame(1000, {1, 1, 1, 1, 1}), plus(plus(before, overlay), logo));
}

// The title turns on in the frame of the first reading above 3.0 after 14000 ms and the
// backdrop jumps a frame later; the tunnel starts on the first above 3.0 after 28000 ms and
// stays; its overlay is 4b only for a reading above 3.5.
TEST_F(Opening, TitleAndTunnelLatchOnReadingsStrictlyAbove) {
    const Rgba starLogo = plus(plus(before, overlay), logo), starTitle = plus(plus(after, overlay), title);
    const Rgba tunnel = plus(scaled(backdrop4a, 0.4f), farewell);
    const struct { int32_t ms; std::vector<double> readings; Rgba expected; } frames[] = {
        {13000, {5, 0, 0, 0, 0}, starLogo}, {14000, {5, 0, 0, 0, 0}, starLogo}, {14001, {1, 0, 0, 0, 0, 3.0}, starLogo},
        {14002, {1, 0, 0, 0, 0, 3.01}, plus(plus(before, overlay), title)}, {14003, {1, 0, 0, 0, 0, 0}, starTitle},
        {28000, {1, 0, 0, 0, 0, 0}, starTitle}, {28001, {3.0, 1, 0, 0, 0, 0, 0}, starTitle},
        {28002, {3.01, 3.6, 1, 1}, plus(tunnel, overlay4b)}, {28003, {0, 3.5, 1, 1}, plus(tunnel, overlay4c)},
        {40000, {0, 3.51, 1, 1}, plus(tunnel, overlay4b)}};
    for (const auto& f : frames) EXPECT_LOOKS(frame(f.ms, f.readings), f.expected) << f.ms << " ms";
}

TEST_F(Opening, EachReadingLandsWhereItBelongs) {
    // Phase 1, overlay alpha 0.5, shift 2, axis readings 0.25, 0.5, 0.75, title test 5.
    EXPECT_LOOKS(frame(30000, {1, 0.5, 2, 0.25, 0.5, 0.75, 5}), plus(plus(scaled(before, 0.5f), overlay), title));
    const float star = progress(30000, timeline[0].range);
    EXPECT_TRUE(matrixNear(currentModelview(), modelviewOf([star] {
        glTranslatef(2, 0, -10);
        glRotatef(star * 500.0f, 0.75f, 0.5f, 0.25f);
    })));
    // Phase 4 (loud), overlay 3.6 picks 4b, line width 2 x 3.
    EXPECT_LOOKS(frame(40000, {4, 3.6, 2, 3}), plus(plus(scaled(backdrop4a, 0.4f), farewell), overlay4b));
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 6.0f);
    const float tunnel = progress(40000, timeline[0].range);
    EXPECT_TRUE(matrixNear(currentModelview(), modelviewOf([tunnel] {
        glScalef(1.5f, 1.5f, 1);
        glTranslatef(-0.4f, -1.2f, tunnel * 50.0f - 80.0f);
    })));
    // Silence gives a width of 0, which GL would refuse: the width in force stays.
    frame(40001, {4, 3.6, 0, 3});
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 6.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
