// credits_test.cpp -- the credits card's fade from black, on the texturing the opening leaves on
#include <gtest/gtest.h>

#include "app/timeline.h"
#include "opening_kit.h"
#include "scenes/credits.h"
#include "scenes/opening.h"
#include "testkit.h"

using namespace OpeningKit;

static void loadBoth() {
    writeOpeningData();
    writeCreditsData();
    OpeningScene::load();
    CreditsScene::load();
    constantLevel(0);
}

TEST(Credits, FadesInOverTheFirstQuarterThenHolds) {
    TempDir dir;
    ASSERT_TRUE(startGl(1280, 720));
    loadBoth();
    // Texturing is the opening's to turn on: before it has run the card is a flat grey.
    drawFrame(150750);
    EXPECT_TRUE(looksLike(pixelAt(640, 360), Rgba{128, 128, 128, 0}));

    drawFrame(1000);
    drawFrame(150000);
    EXPECT_TRUE(looksLike(pixelAt(640, 360), Rgba{0, 0, 0, 0}));
    drawFrame(150750);
    EXPECT_TRUE(looksLike(pixelAt(640, 360), scaled(credits, 0.5f)));
    for (int32_t ms : {151500, 153000, 156000}) {
        drawFrame(ms);
        EXPECT_TRUE(looksLike(pixelAt(640, 360), credits)) << ms;
    }
}

TEST(Credits, BandsStayBlackAt1024x768) {
    TempDir dir;
    ASSERT_TRUE(startGl(1024, 768));
    loadBoth();
    drawFrame(1000);
    drawFrame(152000);
    const std::vector<uint8_t> screen = grabScreen();
    for (int y : {0, 95, 672, 767}) EXPECT_TRUE(looksLike(pixelAt(screen, 512, y), Rgba{})) << y;
    for (int y : {97, 384, 670}) EXPECT_TRUE(looksLike(pixelAt(screen, 512, y), credits)) << y;
}
