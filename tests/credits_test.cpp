// credits_test.cpp -- the credits card's fade from black, on the texturing an earlier scene leaves on
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/timeline.h"
#include "scene_kit.h"
#include "scenes/credits.h"

TEST(Credits, FadesInOverTheFirstQuarterThenHoldsAndTheBandsStayBlack) {
    TempDir dir;
    ASSERT_TRUE(startGl(1024, 768));  // a band of 576 rows from row 96
    const Rgba card{200, 120, 40};
    writeSolid("data/credits.jpg", card);
    CreditsScene::load();
    // Texturing is the opening's to turn on: until then the card is a flat grey.
    drawFrame(150750);
    EXPECT_LOOKS(pixelAt(512, 384), (Rgba{128, 128, 128, 0}));
    glEnable(GL_TEXTURE_2D);
    const struct { int32_t ms; float share; } frames[] = {{150000, 0}, {150750, 0.5f}, {151500, 1}, {153000, 1}, {156000, 1}};
    for (const auto& f : frames) {
        drawFrame(f.ms);
        const std::vector<uint8_t> screen = grabScreen();
        for (int y : {97, 384, 670}) EXPECT_LOOKS(pixelAt(screen, 512, y), scaled(card, f.share)) << f.ms << " ms, row " << y;
        for (int y : {0, 95, 672, 767}) EXPECT_LOOKS(pixelAt(screen, 512, y), Rgba{}) << f.ms << " ms, row " << y;
    }
}
