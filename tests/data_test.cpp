// data_test.cpp -- the generated data: the track's sync, repeatable output, and files the player can read
#include <GL/gl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/timeline.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/level.h"
#include "testkit.h"

namespace {

const char* const pictureNames[] = {"norvi",  "talumen", "farewell", "2a", "2b", "4a", "4b", "4c", "adieu",
                                    "3a",     "3b",      "7c",       "6a", "forever", "1b", "goaway", "credits"};

std::string generator() { return std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-data"; }

int run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> allFileNames() {
    std::vector<std::string> names;
    for (const char* p : pictureNames) names.push_back(std::string(p) + ".jpg");
    for (const char* m : {"star1", "tunnel", "cube", "city", "island", "tree"}) names.push_back(std::string(m) + ".obj");
    names.push_back("talumen.ogg");
    names.push_back("dialog.png");
    return names;
}

// One generated set shared by the cases of this run: the first case to take the lock
// makes it, the others wait and reuse it, and a rebuilt generator makes it afresh.
const std::string& sharedData() {
    static std::string dir;
    if (!dir.empty()) return dir;
    const std::string root = std::string(std::getenv("TALUMEN_BIN")) + "/tests";
    dir = root + "/generated-data";
    struct stat tool;
    EXPECT_EQ(stat(generator().c_str(), &tool), 0);
    const std::string stamp = std::to_string(tool.st_mtime) + " " + std::to_string(tool.st_size);
    const int lock = open((root + "/generated-data.lock").c_str(), O_CREAT | O_RDWR, 0644);
    EXPECT_GE(lock, 0);
    flock(lock, LOCK_EX);
    if (readWhole(dir + ".stamp") != stamp) {
        run("rm -rf '" + dir + "'");
        EXPECT_EQ(run("'" + generator() + "' '" + dir + "'"), 0);
        std::ofstream(dir + ".stamp") << stamp;
    }
    flock(lock, LOCK_UN);
    close(lock);
    return dir;
}

// The loudness the scenes would read at 60 frames a second: reading k measures the 1024
// frames that end at floor(k x 1000 / 60) ms.
struct Readings {
    std::vector<double> level;
    std::vector<int> ms;
    int channels = 0;
    long rate = 0;
    double seconds = 0;

    bool load(const std::string& path) {
        OggVorbis_File vf;
        if (ov_fopen(path.c_str(), &vf) != 0) return false;
        channels = ov_info(&vf, -1)->channels;
        rate = ov_info(&vf, -1)->rate;
        std::vector<float> frames;
        int section = 0;
        float** pcm = nullptr;
        for (long n; (n = ov_read_float(&vf, &pcm, 4096, &section)) > 0;)
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) frames.push_back(pcm[c][i]);
        ov_clear(&vf);
        const int64_t count = static_cast<int64_t>(frames.size()) / channels;
        seconds = static_cast<double>(count) / rate;
        for (int k = 0; k * 1000 / 60 <= 156000; ++k) {
            ms.push_back(k * 1000 / 60);
            const int64_t end = static_cast<int64_t>(ms.back()) * rate / 1000;
            level.push_back(static_cast<double>(measureLevel(frames.data(), count, channels, end, nullptr)));
        }
        return count >= 156 * rate;
    }
    double fraction(int from, int to, double lo, double hi) const {
        int n = 0, in = 0;
        for (size_t k = 0; k < ms.size(); ++k)
            if (ms[k] >= from && ms[k] < to) {
                ++n;
                in += level[k] > lo && level[k] <= hi;
            }
        return n ? static_cast<double>(in) / n : 0.0;
    }
    double peak(int from, int to) const {
        double p = 0;
        for (size_t k = 0; k < ms.size(); ++k)
            if (ms[k] >= from && ms[k] < to) p = std::max(p, level[k]);
        return p;
    }
    int firstAbove(int after, double limit) const {
        for (size_t k = 0; k < ms.size(); ++k)
            if (ms[k] > after && level[k] > limit) return ms[k];
        return -1;
    }
};

}  // namespace

TEST(Track, LoudnessCarriesTheSceneSync) {
    Readings r;
    ASSERT_TRUE(r.load(sharedData() + "/talumen.ogg"));
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.rate, 44100);
    EXPECT_NEAR(r.seconds, 160.0, 0.01);
    const double big = 1e9;

    EXPECT_LE(r.peak(0, 14000), 3.0) << "the intro must not switch the title early";
    EXPECT_LE(r.peak(14000, 14400), 3.0);
    const int title = r.firstAbove(14000, 3.0);
    EXPECT_GE(title, 14400);
    EXPECT_LE(title, 15500);
    const int tunnel = r.firstAbove(28000, 3.0);
    EXPECT_GE(tunnel, 28200);
    EXPECT_LE(tunnel, 29500);

    const double beats = r.fraction(28500, 56500, 3.5, big);
    EXPECT_GE(beats, 0.10);
    EXPECT_LE(beats, 0.50);
    EXPECT_GE(r.fraction(56500, 92500, 0.5, 2.5), 0.8) << "the cubes' card fades with a soft level";

    const double jumps = r.fraction(92500, 121000, 3.3, big), shakes = r.fraction(92500, 121000, 2.5, big);
    EXPECT_GE(jumps, 0.02);
    EXPECT_LE(jumps, 0.20);
    EXPECT_GT(shakes, jumps * 1.2) << "the city's card shakes more often than the camera jumps";

    EXPECT_GE(r.fraction(121000, 149500, 1.0, 5.0), 0.8);
    EXPECT_LE(r.peak(149500, 156001), 2.5);
    EXPECT_GE(r.fraction(149500, 156001, -1.0, 1.5), 0.9);
}

TEST(Generator, RepeatsItselfByteForByteAndLeavesNoPartialFiles) {
    const std::string first = sharedData();
    TempDir temp;
    ASSERT_EQ(run("'" + generator() + "' again"), 0);
    for (const std::string& name : allFileNames()) {
        const std::string a = readWhole(first + "/" + name), b = readWhole("again/" + name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between two runs";
    }
    EXPECT_NE(run("ls again | grep -q part"), 0) << "a temporary file was left behind";
}

namespace {

// Width, height, bit depth and colour type from a PNG's header chunk.
struct PngHeader {
    int width = 0, height = 0, depth = 0, colourType = -1;
    bool read(const std::string& path) {
        const std::string b = readWhole(path);
        if (b.size() < 33 || b.compare(1, 3, "PNG") != 0 || b.compare(12, 4, "IHDR") != 0) return false;
        auto be32 = [&b](size_t at) {
            return (static_cast<uint8_t>(b[at]) << 24) | (static_cast<uint8_t>(b[at + 1]) << 16) |
                   (static_cast<uint8_t>(b[at + 2]) << 8) | static_cast<uint8_t>(b[at + 3]);
        };
        width = be32(16);
        height = be32(20);
        depth = static_cast<uint8_t>(b[24]);
        colourType = static_cast<uint8_t>(b[25]);
        return true;
    }
};

}  // namespace

TEST(Generator, DrawsTheDialogPictureAndTheLevelPlotAsPngs) {
    TempDir temp;
    // The dialog shows a 256 x 144 picture of 24 bits a pixel: 8-bit RGB, no alpha.
    ASSERT_EQ(run("'" + generator() + "' --dialog-picture dialog.png"), 0);
    PngHeader dialog;
    ASSERT_TRUE(dialog.read("dialog.png"));
    EXPECT_EQ(dialog.width, 256);
    EXPECT_EQ(dialog.height, 144);
    EXPECT_EQ(dialog.depth, 8);
    EXPECT_EQ(dialog.colourType, 2);
    EXPECT_EQ(readWhole("dialog.png"), readWhole(sharedData() + "/dialog.png"));

    ASSERT_EQ(run("'" + generator() + "' --plot level.png > figures.txt"), 0);
    PngHeader plot;
    ASSERT_TRUE(plot.read("level.png"));
    EXPECT_GT(plot.width, 1000);
    EXPECT_NE(readWhole("figures.txt").find("28.5 ..  56.5 s"), std::string::npos);
}

TEST(Generator, RefusesADirectoryItCannotMake) {
    TempDir temp;
    writeFile("plain", "a file, not a directory");
    EXPECT_NE(run("'" + generator() + "' plain/data"), 0);
    EXPECT_NE(run("'" + generator() + "' plain"), 0);
    EXPECT_EQ(readWhole("plain"), "a file, not a directory");
    EXPECT_NE(run("'" + generator() + "'"), 0) << "no directory given";
}

TEST(Pictures, LoadAsPowerOfTwoTexturesWithoutAMessage) {
    const std::string dir = sharedData();
    ASSERT_TRUE(startGl(1280, 720));
    recordMessages();
    for (const char* name : pictureNames) {
        Texture t;
        t.load((dir + "/" + name + ".jpg").c_str());
        EXPECT_NE(t.name, 0u) << name;
        int w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_TRUE(w >= 256 && (w & (w - 1)) == 0 && h >= 256 && (h & (h - 1)) == 0) << name << " " << w << "x" << h;
    }
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages().front();
}

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;

    bool load(const std::string& path) {
        const std::string bytes = readWhole(path);
        JpegDecoder d;
        bool ok = d.begin() &&
                  d.readSize(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) && d.decode();
        if (ok) {
            width = d.width;
            height = d.height;
            rgb.assign(d.rgb, d.rgb + static_cast<size_t>(d.width) * d.height * 3);
        }
        d.end();
        return ok;
    }
    // What a wireframe drawn after a screen quad takes: the texel at (0, 1), the bottom-left
    // corner as the quad shows it, i.e. the first pixel of the last row.
    Rgba shownBottomLeft() const {
        const uint8_t* p = &rgb[static_cast<size_t>(height - 1) * width * 3];
        return {p[0], p[1], p[2], 255};
    }
    // Share of channel values above limit, over every pixel.
    double shareAbove(int limit) const {
        size_t n = 0;
        for (uint8_t v : rgb) n += v > limit;
        return static_cast<double>(n) / rgb.size();
    }
};

}  // namespace

TEST(Pictures, SuitTheWayTheirScenesBlendThem) {
    const std::string dir = sharedData();
    // Wireframe colours come from one corner texel: it must be bright, or the lines vanish.
    for (const char* name : {"2a", "3a", "4b", "4c"}) {
        Picture p;
        ASSERT_TRUE(p.load(dir + "/" + name + ".jpg")) << name;
        const Rgba c = p.shownBottomLeft();
        EXPECT_GE(std::max({c.r, c.g, c.b}), 200) << name << " corner " << c.r << "," << c.g << "," << c.b;
    }
    // Cards are added over the scene at full strength: mostly black.
    for (const char* name : {"norvi", "talumen", "farewell", "adieu", "forever", "goaway", "credits"}) {
        Picture p;
        ASSERT_TRUE(p.load(dir + "/" + name + ".jpg")) << name;
        EXPECT_LE(p.shareAbove(40), 0.15) << name << " hides too much of the scene";
        EXPECT_GE(p.shareAbove(180), 0.002) << name << " has no bright lettering";
    }
    // Backdrops are added to one another: dark enough that two of them do not clip.
    for (const char* name : {"2b", "4a", "3b", "7c", "6a"}) {
        Picture p;
        ASSERT_TRUE(p.load(dir + "/" + name + ".jpg")) << name;
        EXPECT_LE(p.shareAbove(160), 0.01) << name;
    }
}

namespace {

struct Bounds {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    void add(const MeshPosition& p) {
        const float v[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], v[i]);
            hi[i] = std::max(hi[i], v[i]);
        }
    }
    float size(int axis) const { return hi[axis] - lo[axis]; }
};

}  // namespace

TEST(Meshes, LoadWithIndicesInsideTheirArraysAndWithinBudget) {
    const std::string dir = sharedData();
    struct Expect {
        const char* name;
        int budget;
    };
    const Expect meshes[] = {{"star1", 500}, {"tunnel", 4000}, {"cube", 12},
                             {"city", 4000}, {"island", 4000}, {"tree", 3000}};
    recordMessages();
    for (const Expect& e : meshes) {
        Mesh m;
        ASSERT_TRUE(m.load((dir + "/" + e.name + ".obj").c_str())) << e.name;
        EXPECT_GT(m.faceCount, 0) << e.name;
        EXPECT_LE(m.faceCount, e.budget) << e.name;
        EXPECT_EQ(m.indexCount, 3 * m.faceCount);
        EXPECT_GT(m.texCoordCount, 0) << e.name;
        for (int i = 0; i < m.indexCount; ++i) {
            ASSERT_TRUE(m.positionIndices[i] >= 0 && m.positionIndices[i] < m.positionCount) << e.name << " slot " << i;
            ASSERT_TRUE(m.texCoordIndices[i] >= 0 && m.texCoordIndices[i] < m.texCoordCount) << e.name << " slot " << i;
        }
        Bounds b;
        for (int i = 0; i < m.positionCount; ++i) b.add(m.positions[i]);
        const std::string name = e.name;
        if (name == "star1") {
            EXPECT_NEAR(b.size(0), 5.0, 1.0);
        } else if (name == "cube") {
            EXPECT_EQ(m.faceCount, 12);
            EXPECT_NEAR(b.size(0) * b.size(1) * b.size(2), 1.0, 1e-3);
        } else if (name == "city") {
            EXPECT_NEAR(std::max(b.size(0), b.size(2)), 10.0, 1.0);
        } else if (name == "island") {
            EXPECT_NEAR(b.size(0) / 2, 2.0, 0.2);
        }
        if (name == "tree") {
            EXPECT_NEAR(b.hi[1], 9.0, 0.5);
            EXPECT_NEAR(b.lo[1], 0.0, 0.05) << "the tree stands on the origin";
        }
        if (name == "tunnel") {
            // The eye travels from z 55 to 30 at (0.4, 1.2) in the tube's own units, looking down -z.
            EXPECT_GT(b.hi[2], 55.0f);
            EXPECT_LT(b.lo[2], -60.0f);
            EXPECT_TRUE(b.lo[0] < 0.4f - 1 && b.hi[0] > 0.4f + 1 && b.lo[1] < 1.2f - 1 && b.hi[1] > 1.2f + 1);
        }
        // A Mesh never frees its arrays by itself; the leak checker of the sanitizer build would see them.
        m.release();
    }
    EXPECT_TRUE(recordedMessages().empty());
}

TEST(Frames, EverySceneShowsItsPicturesWithoutWashingOutToWhite) {
    const std::string dir = sharedData();
    TempDir temp;
    ASSERT_EQ(run("rmdir data && ln -s '" + dir + "' data"), 0);
    ASSERT_TRUE(startGl(1280, 720));
    recordMessages();
    loadScenes();
    EXPECT_TRUE(recordedMessages().empty());
    // A middling level keeps every scene in its usual state. The tunnel frame is a beat:
    // loud for the phase choice and the overlay, then 1.8 twice for the line width.
    const struct {
        int ms;
        std::vector<double> levels;
    } shots[] = {{8000, {2.0}},   {40000, {3.6, 3.6, 1.8}}, {70000, {2.0}},
                 {100000, {2.0}}, {125000, {2.0}},          {153000, {2.0}}};
    for (const auto& shot : shots) {
        scriptLevel(shot.levels);
        drawFrame(shot.ms);
        const std::vector<uint8_t> screen = grabScreen();
        size_t white = 0, sum = 0;
        for (size_t i = 0; i < screen.size(); i += 4) {
            white += screen[i] > 250 && screen[i + 1] > 250 && screen[i + 2] > 250;
            sum += screen[i] + screen[i + 1] + screen[i + 2];
        }
        const double pixels = static_cast<double>(screen.size() / 4);
        EXPECT_LT(white / pixels, 0.05) << "at " << shot.ms << " ms";
        EXPECT_GT(sum / pixels / 3, 12.0) << "at " << shot.ms << " ms the frame is nearly black";
    }
}
