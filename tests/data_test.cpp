// data_test.cpp -- the generated data: the track's sync, repeatable output, and files the player can read
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "testkit.h"

namespace {

std::string generator() { return std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-data"; }

int run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

}  // namespace

// The track read back as the player reads it, and its level on the virtual clock at 60 frames a second.
TEST(Track, LoudnessCarriesTheSceneSync) {
    TempDir temp;
    linkSharedData();
    recordMessages();
    ASSERT_TRUE(music.open() && music.play());
    EXPECT_TRUE(recordedMessages().empty());
    EXPECT_EQ(music.channels(), 2);
    EXPECT_EQ(music.rate(), 44100);
    EXPECT_NEAR(static_cast<double>(music.frameCount()) / music.rate(), 160.0, 0.01);
    std::vector<int> ms;
    std::vector<double> level;
    for (int k = 0; k * 1000 / 60 <= 156000; ++k) {
        ms.push_back(elapsedMs = k * 1000 / 60);
        level.push_back(static_cast<double>(music.level()));
    }
    music.stop();
    // Share of the readings from..to (ms) that lie in (lo, hi].
    auto share = [&](int from, int to, double lo, double hi) {
        int n = 0, in = 0;
        for (size_t k = 0; k < ms.size(); ++k)
            if (ms[k] >= from && ms[k] < to) {
                ++n;
                in += level[k] > lo && level[k] <= hi;
            }
        return n ? static_cast<double>(in) / n : 0.0;
    };
    auto firstAbove = [&](int after, double limit) {
        for (size_t k = 0; k < ms.size(); ++k)
            if (ms[k] > after && level[k] > limit) return ms[k];
        return -1;
    };
    const double big = 1e9;
    EXPECT_EQ(share(0, 14400, 3.0, big), 0.0) << "the intro must not switch the title early";
    const int title = firstAbove(14000, 3.0), tunnel = firstAbove(28000, 3.0);
    EXPECT_TRUE(title >= 14400 && title <= 15500) << title;
    EXPECT_TRUE(tunnel >= 28200 && tunnel <= 29500) << tunnel;
    const double beats = share(28500, 56500, 3.5, big);
    EXPECT_TRUE(beats >= 0.10 && beats <= 0.50) << beats;
    EXPECT_GE(share(56500, 92500, 0.5, 2.5), 0.8) << "the cubes' card fades with a soft level";
    const double jumps = share(92500, 121000, 3.3, big), shakes = share(92500, 121000, 2.5, big);
    EXPECT_TRUE(jumps >= 0.02 && jumps <= 0.20) << jumps;
    EXPECT_GT(shakes, jumps * 1.2) << "the city's card shakes more often than the camera jumps";
    EXPECT_GE(share(121000, 149500, 1.0, 5.0), 0.8);
    EXPECT_EQ(share(149500, 156001, 2.5, big), 0.0);
    EXPECT_GE(share(149500, 156001, -1.0, 1.5), 0.9) << "a calm ending";
}

// A second run writes the same files, byte for byte, and no temporary file stays behind;
// a directory that cannot be made is refused and the file in its way left alone.
TEST(Generator, RepeatsItselfByteForByteAndRefusesWhatItCannotWrite) {
    const std::string first = sharedData();
    TempDir temp;
    ASSERT_EQ(run("'" + generator() + "' again"), 0);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator("again")) {
        const std::string name = entry.path().filename().string(), made = readWhole(entry.path().string());
        EXPECT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == readWhole(first + "/" + name)) << name << " differs between two runs";
        ++files;
    }
    EXPECT_EQ(files, 25) << "17 pictures, 6 meshes, the track and the dialog picture";
    writeFile("plain", "a file, not a directory");
    EXPECT_NE(run("'" + generator() + "' plain/data"), 0);
    EXPECT_NE(run("'" + generator() + "' plain"), 0);
    EXPECT_EQ(readWhole("plain"), "a file, not a directory");
}

// Every picture and mesh loads through the player's own loaders without a message; pictures
// are powers of two, so nothing is rescaled, and meshes keep their indices inside their arrays
// and their triangles within what the scenes can draw a frame.
TEST(Files, LoadThroughThePlayersLoadersWithinTheirBudgets) {
    const std::string dir = sharedData();
    ASSERT_TRUE(startGl(1280, 720));
    recordMessages();
    for (const char* name : {"norvi", "talumen", "farewell", "2a", "2b", "4a", "4b", "4c", "adieu", "3a", "3b",
                             "7c", "6a", "forever", "1b", "goaway", "credits"}) {
        Texture t;
        t.load((dir + "/" + name + ".jpg").c_str());
        EXPECT_NE(t.name, 0u) << name;
        int w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_TRUE(w >= 256 && (w & (w - 1)) == 0 && h >= 256 && (h & (h - 1)) == 0) << name << " " << w << "x" << h;
    }
    const struct {
        const char* name;
        int budget;
    } meshes[] = {{"star1", 500}, {"tunnel", 4000}, {"cube", 12}, {"city", 4000}, {"island", 4000}, {"tree", 3000}};
    for (const auto& e : meshes) {
        Mesh m;
        ASSERT_TRUE(m.load((dir + "/" + e.name + ".obj").c_str())) << e.name;
        EXPECT_TRUE(m.faceCount > 0 && m.faceCount <= e.budget) << e.name << " " << m.faceCount;
        EXPECT_EQ(m.indexCount, 3 * m.faceCount) << e.name;
        for (int i = 0; i < m.indexCount; ++i) {
            ASSERT_TRUE(m.positionIndices[i] >= 0 && m.positionIndices[i] < m.positionCount) << e.name << " slot " << i;
            ASSERT_TRUE(m.texCoordIndices[i] >= 0 && m.texCoordIndices[i] < m.texCoordCount) << e.name << " slot " << i;
        }
        m.release();  // the sanitizer build's leak checker would see the arrays otherwise
    }
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages().front();
}
