// data_test.cpp -- the generated data: the track's sync, repeatable output, and files the player can read
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "base/globals.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/level.h"
#include "audio/music.h"
#include "testkit.h"

// The track's level on the virtual clock at 60 frames a second, as the player reads it: measured
// by the track's thread ahead of the frames, then read back to front (each third of a second
// decoded again after a seek), both exactly what one whole decode of the track gives.
TEST(Track, LoudnessCarriesTheSceneSync) {
    TempDir temp;
    linkSharedData();
    std::vector<float> whole;
    OggVorbis_File file;
    ASSERT_EQ(ov_fopen(musicPath, &file), 0);
    float** pcm = nullptr;
    int section = 0;
    for (long n; (n = ov_read_float(&file, &pcm, 4096, &section)) > 0;)
        for (long i = 0; i < n; ++i) whole.insert(whole.end(), {std::fmax(-1.0f, std::fmin(1.0f, pcm[0][i])),
                                                               std::fmax(-1.0f, std::fmin(1.0f, pcm[1][i]))});
    ov_clear(&file);
    EXPECT_NEAR(static_cast<double>(whole.size() / 2) / 44100, 160.0, 0.01);
    std::vector<std::pair<int, double>> readings;  // (ms, level)
    for (int k = 0; k * 1000 / 60 <= 156000; ++k) readings.emplace_back(k * 1000 / 60, 0.0);
    for (const bool measuredAhead : {true, false}) {
        recordMessages();
        if (measuredAhead) music.startReading(60, 156000, false);
        ASSERT_TRUE(music.open() && music.play());
        EXPECT_TRUE(recordedMessages().empty());
        EXPECT_EQ(music.channels(), 2);
        EXPECT_EQ(music.rate(), 44100);
        EXPECT_EQ(music.frameCount(), int64_t(whole.size() / 2));
        for (size_t i = 0; i < readings.size(); ++i) {
            auto& [ms, level] = readings[measuredAhead ? i : readings.size() - 1 - i];
            elapsedMs = ms;
            const long double reading = music.level();
            ASSERT_EQ(reading, measureLevel(whole.data(), int64_t(whole.size() / 2), 2, elapsedMs * 441 / 10, nullptr))
                << elapsedMs << (measuredAhead ? " ms, measured ahead" : " ms, read back to front");
            level = static_cast<double>(reading);
        }
        music.stop();
    }
    // The share of the readings from..to (ms) that lie in (lo, hi].
    const auto share = [&](int from, int to, double lo, double hi) {
        int n = 0, in = 0;
        for (const auto& [ms, level] : readings)
            if (ms >= from && ms < to) ++n, in += level > lo && level <= hi;
        return n ? double(in) / n : 0.0;
    };
    const double big = 1e9;
    const struct { int from, to; double lo, hi, least, most; const char* what; } shares[] = {
        {0, 14400, 3.0, big, 0, 0, "the intro must not switch the title early"},
        {28500, 56500, 3.5, big, 0.10, 0.50, "the tunnel's overlay changes with the beats"},
        {56500, 92500, 0.5, 2.5, 0.8, 1, "the cubes' card fades with a soft level"},
        {92500, 121000, 3.3, big, 0.02, 0.20, "the city's camera jumps now and then"},
        {121000, 149500, 1.0, 5.0, 0.8, 1, "the tree"},
        {149500, 156001, 2.5, big, 0, 0, "a calm ending"}, {149500, 156001, -1.0, 1.5, 0.9, 1, "a calm ending"}};
    for (const auto& s : shares) {
        const double got = share(s.from, s.to, s.lo, s.hi);
        EXPECT_TRUE(got >= s.least && got <= s.most) << s.what << ": " << got;
    }
    EXPECT_GT(share(92500, 121000, 2.5, big), share(92500, 121000, 3.3, big) * 1.2) << "the city's card shakes more often than the camera jumps";
    // The title and the tunnel come on the first reading above 3.0 after 14 and 28 seconds.
    for (const auto& [after, from, to] : {std::tuple{14000, 14400, 15500}, {28000, 28200, 29500}}) {
        const auto first = std::find_if(readings.begin(), readings.end(), [&](const auto& r) { return r.first > after && r.second > 3.0; });
        EXPECT_TRUE(first != readings.end() && first->first >= from && first->first <= to) << after;
    }
}

// A second run writes the same files, byte for byte, and no temporary file stays behind;
// a directory that cannot be made is refused and the file in its way left alone.
TEST(Generator, RepeatsItselfByteForByteAndRefusesWhatItCannotWrite) {
    const std::string first = sharedData(), generator = std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-data '";
    TempDir temp;
    const auto run = [&](const std::string& out) { return std::system((generator + out + "' 2>/dev/null").c_str()); };
    ASSERT_EQ(run("again"), 0);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator("again")) {
        const std::string name = entry.path().filename().string(), made = readWhole(entry.path().string());
        EXPECT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == readWhole(first + "/" + name)) << name << " differs between two runs";
        ++files;
    }
    EXPECT_EQ(files, 25) << "17 pictures, 6 meshes, the track and the dialog picture";
    writeFile("plain", "a file, not a directory");
    EXPECT_NE(run("plain/data"), 0);
    EXPECT_NE(run("plain"), 0);
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
