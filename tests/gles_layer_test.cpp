// gles_layer_test.cpp -- frames drawn through our GL 1.1 layer on OpenGL ES 3 against the desktop GL path
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "picture.h"
#include "testkit.h"

namespace {

std::string binary(const char* name) { return std::string(std::getenv("TALUMEN_BIN")) + "/tools/" + name; }

struct Instant {
    int ms = 0;
    const char* what = nullptr;
};

// The run's clock ticks 20 times a second, a third of the work of 60 for the frames between
// stills; every instant below is a frame of it. At a level of 3.2 the opening shows its title
// after 14 s and turns to the tunnel after 28 s, the city does not jump, and its card shakes.
// Every phase of every scene is covered, and the three frames two scenes share, where the
// later starts from the state the earlier leaves.
const Instant instants[] = {
    {5000, "opening, star and logo"}, {20000, "opening, title"},
    {40000, "opening, tunnel"},       {56500, "opening, then cubes"},
    {60000, "cubes, early"},          {90000, "cubes, late"},
    {92500, "cubes, then city"},      {92700, "city, first fly-by"},
    {100000, "city, path"},           {103200, "city, second fly-by"},
    {121000, "city, then tree"},      {130000, "tree, turning"},
    {144950, "tree, pulsing"},        {146650, "tree, splitting"},
    {153000, "credits"},
};

}  // namespace

// Both renderers run the same sequence on the same fixed level; every still must agree to
// 30 dB. The table is printed whether or not it passes.
TEST(GlesLayer, FramesMatchTheDesktopPathInBothModes) {
    TempDir dir;
    linkSharedData();
    std::string at;
    for (const Instant& instant : instants) at += (at.empty() ? "" : ",") + std::to_string(instant.ms);
    std::printf("%-8s %-24s %10s %10s\n", "ms", "scene", "1024x768", "1280x720");
    double figures[2][sizeof instants / sizeof instants[0]] = {};
    const char* sizes[2] = {"1024x768", "1280x720"};
    for (int s = 0; s < 2; ++s) {
        const std::string common = std::string(" --fps 20 --level 3.2 --size ") + sizes[s] + " --at " + at + " ";
        // The two renderers side by side: one core each.
        const std::string both = "'" + binary("talumen-render") + "'" + common + "desktop/ 2>desktop.err & '" +
                                 binary("talumen-render-gles") + "'" + common + "gles/ 2>gles.err; s=$?; wait $! && exit $s";
        ASSERT_EQ(std::system(both.c_str()), 0) << readWhole("desktop.err") << readWhole("gles.err");
        for (size_t i = 0; i < sizeof instants / sizeof instants[0]; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/%06d.png", instants[i].ms);
            figures[s][i] = psnr(readPng(std::string("desktop") + name), readPng(std::string("gles") + name));
        }
    }
    for (size_t i = 0; i < sizeof instants / sizeof instants[0]; ++i) {
        std::printf("%-8d %-24s %10.1f %10.1f\n", instants[i].ms, instants[i].what, figures[0][i], figures[1][i]);
        for (int s = 0; s < 2; ++s)
            EXPECT_GE(figures[s][i], 30.0) << instants[i].what << " at " << instants[i].ms << " ms, " << sizes[s];
    }
}
