// hostile_data_test.cpp -- talumen-render on missing, damaged and odd data files: the message each gets, no crash, no hang, nothing written
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "ogg_fixture.h"
#include "snapshot.h"
#include "testkit.h"

namespace {

namespace fs = std::filesystem;

const char* const pictureNames[] = {"norvi", "talumen", "farewell", "2a", "2b", "4a", "4b", "4c", "adieu",
                                    "3a",    "3b",      "7c",       "6a", "forever", "1b", "goaway", "credits"};
const char* const meshNames[] = {"star1", "tunnel", "cube", "city", "island", "tree"};

// The files in the order the scenes' load steps read them; 6a.jpg is read twice.
const std::vector<std::string> loadOrder = {
    "norvi.jpg", "talumen.jpg", "farewell.jpg", "2a.jpg",    "2b.jpg",     "4a.jpg",    "4b.jpg",     "4c.jpg",
    "star1.obj", "tunnel.obj",  "adieu.jpg",    "3a.jpg",    "3b.jpg",     "cube.obj",  "7c.jpg",     "6a.jpg",
    "forever.jpg", "city.obj",  "island.obj",   "1b.jpg",    "6a.jpg",     "goaway.jpg", "tree.obj",  "credits.jpg"};

const std::string readParams = "Error: Read params error!";
const std::string lastError = "Image Load Error: Last error!";
const std::string objError = "App: Error opening .obj file";
const std::string musicError = "Error: Music opening error";

// Every scene runs: the frames before the still are drawn into a 1 x 1 box, which makes
// every call a full frame makes, including the shared frames at 56500, 92500 and 121000.
const std::string throughEveryScene = "--fps 2 --at 156000 out/still.png";

using Messages = std::vector<std::string>;

// The messages a run gives when each file read gives what messageFor says ("" for none).
Messages expectedMessages(const std::function<std::string(const std::string&)>& messageFor) {
    Messages messages;
    for (const std::string& file : loadOrder) {
        const std::string message = messageFor(file);
        if (!message.empty()) messages.push_back(message);
    }
    return messages;
}

bool isPicture(const std::string& file) { return file.size() > 4 && file.substr(file.size() - 4) == ".jpg"; }

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Seeded bytes, the same on every run.
std::string noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// A picture through libjpeg itself, which can write what the demo's own writer cannot:
// CMYK, progressive and arithmetic-coded files.
std::string jpegBytes(int width, int height, J_COLOR_SPACE space, bool progressive = false, bool arithmetic = false) {
    const int components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    if (progressive) jpeg_simple_progression(&info);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    const std::string pixels = noise(static_cast<size_t>(width) * height * components, 7);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * components);
    while (info.next_scanline < info.image_height) {
        std::copy_n(pixels.begin() + info.next_scanline * row.size(), row.size(), row.begin());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

// The same picture with its frame header claiming 65535 x 65535.
std::string hugeHeader() {
    std::string bytes = jpegBytes(16, 16, JCS_RGB);
    const size_t sof = bytes.find("\xff\xc0");
    if (sof == std::string::npos) return "";
    for (size_t i = sof + 5; i < sof + 9; ++i) bytes[i] = '\xff';
    return bytes;
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string pngBytes() {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 16, 16);
    std::string bytes;
    cairo_surface_write_to_png_stream(surface, appendPng, &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

// Three seconds of noise, loud and quiet by turns every quarter second, so that both
// sides of every level threshold are taken while it lasts.
std::vector<float> noiseTrack(double seconds, int channels, int rate) {
    std::vector<float> frames(static_cast<size_t>(seconds * rate) * channels);
    uint32_t seed = 1;
    for (size_t i = 0; i < frames.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const bool loud = (i / channels / (rate / 4)) % 2 == 0;
        frames[i] = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * (loud ? 1.0f : 0.05f);
    }
    return frames;
}

const char* const goodMesh =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvt 0 0\nvt 1 0\nvt 0 1\n"
    "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 2/2/1 4/3/1\nf 2/1/1 3/2/1 4/3/1\n";

struct ToolRun {
    int code = -1;
    std::string err;
    Messages messages;  // "caption: text" lines, in order
    std::string written;  // what changed in the project directory
};

// A project directory holding a complete, valid data set; each case spoils part of it.
// talumen-render runs with it as working directory, its home and temporary directory
// inside it, and writes only under out/.
struct HostileData : ::testing::Test {
    TempDir dir;
    std::string root = dir.path;

    void SetUp() override {
        for (const char* name : pictureNames) writeSolidJpeg(path(std::string(name) + ".jpg"), 16, 16, 120, 120, 120);
        for (const char* name : meshNames) writeFile(path(std::string(name) + ".obj"), goodMesh);
        ASSERT_TRUE(writeOggVorbis(path("talumen.ogg"), noiseTrack(3.0, 2, 44100), 2, 44100));
        fs::create_directories(root + "/home");
        fs::create_directories(root + "/tmp");
        fs::create_directories(root + "/out");
    }

    std::string path(const std::string& file) const { return root + "/data/" + file; }

    void everyPicture(const std::string& bytes) {
        for (const char* name : pictureNames) writeFile(path(std::string(name) + ".jpg"), bytes);
    }
    void everyMesh(const std::string& text) {
        for (const char* name : meshNames) writeFile(path(std::string(name) + ".obj"), text);
    }

    // wrapper: what talumen-render is started through (a user switch).
    ToolRun render(const std::string& args, const std::string& wrapper = "") {
        for (const auto& entry : fs::directory_iterator(root + "/out")) fs::remove_all(entry.path());
        const TreeSnapshot before = snapshotTree(root, {"out"});
        const char* bin = std::getenv("TALUMEN_BIN");
        const std::string tool = std::string(bin ? bin : ".") + "/tools/talumen-render";
        // A hang shows as exit 124 from timeout, a crash as 128 + the signal.
        const std::string command = "cd '" + root + "' && HOME='" + root + "/home' TMPDIR='" + root +
                                    "/tmp' timeout -k 10 400 " + wrapper + " '" + tool + "' " + args +
                                    " >out/stdout.txt 2>out/stderr.txt";
        const int status = std::system(command.c_str());
        ToolRun run;
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.written = snapshotDifferences(before, snapshotTree(root, {"out"}));
        run.err = readAll(root + "/out/stderr.txt");
        std::istringstream lines(run.err);
        std::string line;
        while (std::getline(lines, line)) {
            // Progress lines and the tool's own reasons; anything else (a sanitizer's
            // report, say) is neither a message nor allowed.
            if (line.find(": frame ") != std::string::npos || line.rfind("talumen-render: ", 0) == 0) continue;
            run.messages.push_back(line);
        }
        return run;
    }

    // The outcome of every case: the exact messages, the exit code, a still only on
    // success, no temporary file left, and nothing changed in the project directory.
    void expectRun(const std::string& what, const std::string& args, const Messages& messages, int code,
                   const std::string& wrapper = "") {
        const ToolRun run = render(args, wrapper);
        EXPECT_NE(run.code, 124) << what << ": hung";
        EXPECT_EQ(run.code, code) << what << "\n" << run.err;
        EXPECT_EQ(run.messages, messages) << what << "\n" << run.err;
        EXPECT_EQ(run.written, "") << what << ": the run wrote into the project directory";
        EXPECT_EQ(fs::exists(root + "/out/still.png"), code == 0) << what;
        EXPECT_FALSE(fs::exists(root + "/out/still.png.part")) << what;
    }
};

TEST_F(HostileData, EveryFileMissingAtOnceOrDataNotADirectory) {
    const Messages missing = expectedMessages([](const std::string& file) {
        return isPicture(file) ? readParams : objError;
    });
    Messages withMusic = missing;
    withMusic.push_back(musicError);

    fs::remove_all(root + "/data");
    expectRun("no data directory", throughEveryScene, withMusic, 1);
    expectRun("no data directory, fixed level", "--level 3 " + throughEveryScene, missing, 0);

    fs::create_directory(root + "/data");
    expectRun("empty data directory", throughEveryScene, withMusic, 1);

    fs::remove(root + "/data");
    writeFile(root + "/data", noise(1000, 3));
    expectRun("data is a file", throughEveryScene, withMusic, 1);
    expectRun("data is a file, fixed level", "--level 3 " + throughEveryScene, missing, 0);
}

TEST_F(HostileData, EachPictureMissingAloneGivesItsOneMessage) {
    for (const char* name : pictureNames) {
        const std::string file = std::string(name) + ".jpg";
        const std::string keep = readAll(path(file));
        fs::remove(path(file));
        expectRun(file + " missing", throughEveryScene,
                  expectedMessages([&](const std::string& f) { return f == file ? readParams : ""; }), 0);
        writeFile(path(file), keep);
    }
}

TEST_F(HostileData, EachMeshOrTheMusicMissingAlone) {
    for (const char* name : meshNames) {
        const std::string file = std::string(name) + ".obj";
        fs::remove(path(file));
        expectRun(file + " missing", throughEveryScene, {objError}, 0);
        writeFile(path(file), goodMesh);
    }
    fs::remove(path("talumen.ogg"));
    expectRun("talumen.ogg missing", throughEveryScene, {musicError}, 1);
}

TEST_F(HostileData, DamagedAndOddPictures) {
    const std::string noisy = jpegBytes(64, 64, JCS_RGB);
    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"empty", "", readParams},
        {"cut inside the header", noisy.substr(0, 40), readParams},
        {"cut inside the picture", noisy.substr(0, noisy.size() / 2), lastError},
        {"random bytes", noise(4096, 11), readParams},
        {"a PNG", pngBytes(), readParams},
        {"a header claiming 65535 x 65535", hugeHeader(), readParams},
        {"grayscale", jpegBytes(32, 32, JCS_GRAYSCALE), ""},
        {"CMYK", jpegBytes(32, 32, JCS_CMYK), lastError},
        {"progressive", jpegBytes(32, 32, JCS_RGB, true), ""},
        {"arithmetic-coded", jpegBytes(32, 32, JCS_RGB, false, true), ""},
        {"1 x 1", jpegBytes(1, 1, JCS_RGB), ""},
        {"13 x 7", jpegBytes(13, 7, JCS_RGB), ""},
    };
    for (const auto& c : cases) {
        // The same damage in every picture, so that every card and backdrop of every
        // scene is drawn from what it leaves.
        everyPicture(c.bytes);
        expectRun(c.what, throughEveryScene,
                  expectedMessages([&](const std::string& f) { return isPicture(f) ? c.message : ""; }), 0);
    }
}

TEST_F(HostileData, DamagedAndOddMeshesAreReadWithoutMessagesAndDrawnSafely) {
    std::string megabyteLine;
    while (megabyteLine.size() < (1u << 20)) megabyteLine += "v 0.5 -0.25 1e3 ";
    const std::string vertices = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    const std::string good = "f 1/1/1 2/2/1 3/3/1\n";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"binary garbage", noise(65536, 5)},
        {"NUL bytes", std::string(65536, '\0')},
        {"one line of a megabyte", megabyteLine},
        {"indices of 0", vertices + "f 0/0/0 0/0/0 0/0/0\nf 1/0/1 2/2/1 3/3/1\n" + good},
        {"negative indices", vertices + "f -1/-1/-1 -2/-2/-2 -3/-3/-3\nf 1/1/1 2/-9/1 3/3/1\n" + good},
        {"indices past the end", vertices + "f 1/1/1 2/2/1 4/3/1\nf 1/1/1 2/4/1 3/3/1\nf 2147483647/1/1 1/1/1 2/2/1\n" + good},
        {"texture-coordinate indices but no texture coordinates", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + good},
    };
    for (const auto& c : cases) {
        everyMesh(c.text);
        expectRun(c.what, throughEveryScene, {}, 0);
    }

    // A million faces in the island, which the city draws once a frame (in the cube, drawn
    // 10000 times a frame, they would be ten billion triangles a frame). A second of
    // drawing each, so just the city's first whole second is drawn.
    everyMesh(goodMesh);
    std::string million = vertices;
    million.reserve(million.size() + 20 * 1000000);
    for (int i = 0; i < 1000000; ++i) million += good;
    writeFile(path("island.obj"), million);
    expectRun("a million faces", "--fps 1 --at 93000 out/still.png", {}, 0);
}

TEST_F(HostileData, DamagedAndOddMusic) {
    std::vector<float> halfSecond = noiseTrack(0.5, 2, 44100);
    ASSERT_TRUE(writeOggVorbis(root + "/good.ogg", noiseTrack(3.0, 2, 44100), 2, 44100));
    const std::string good = readAll(root + "/good.ogg");
    fs::remove(root + "/good.ogg");

    const struct {
        const char* what;
        std::string bytes;  // empty with ok: written by the encoder below
        bool opens;
    } cases[] = {
        {"empty", "", false},
        {"cut inside the headers", good.substr(0, 200), false},
        {"cut in half", good.substr(0, good.size() / 2), true},
        {"not Ogg", noise(20000, 9), false},
        {"a picture", jpegBytes(32, 32, JCS_RGB), false},
    };
    for (const auto& c : cases) {
        writeFile(path("talumen.ogg"), c.bytes);
        expectRun(c.what, throughEveryScene, c.opens ? Messages{} : Messages{musicError}, c.opens ? 0 : 1);
    }

    ASSERT_TRUE(writeOggNotVorbis(path("talumen.ogg")));
    expectRun("Ogg but not Vorbis", throughEveryScene, {musicError}, 1);
    ASSERT_TRUE(writeOggVorbis(path("talumen.ogg"), noiseTrack(3.0, 1, 44100), 1, 44100));
    expectRun("mono", throughEveryScene, {}, 0);
    ASSERT_TRUE(writeOggVorbis(path("talumen.ogg"), noiseTrack(3.0, 2, 48000), 2, 48000));
    expectRun("48 kHz", throughEveryScene, {}, 0);
    // After its end the track reads 0 and the demo plays on to its last frame.
    ASSERT_TRUE(writeOggVorbis(path("talumen.ogg"), noiseTrack(1.0, 2, 44100), 2, 44100));
    expectRun("one second long", throughEveryScene, {}, 0);
}

TEST_F(HostileData, DataDirectoryWithoutPermissions) {
    // Permission bits do not stop root, so as root the program runs as nobody instead.
    std::string wrapper;
    if (geteuid() == 0) {
        if (std::system("setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null") != 0)
            GTEST_SKIP() << "running as root and setpriv cannot switch to nobody: permission bits would not apply";
        wrapper = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        const char* bin = std::getenv("TALUMEN_BIN");
        const std::string tool = std::string(bin ? bin : ".") + "/tools/talumen-render";
        if (std::system((wrapper + " test -x '" + tool + "'").c_str()) != 0)
            GTEST_SKIP() << "nobody cannot reach " << tool << ": permission bits cannot be tried";
        chmod(root.c_str(), 0755);
        chmod((root + "/home").c_str(), 0777);
        chmod((root + "/tmp").c_str(), 0777);
        chmod((root + "/out").c_str(), 0777);
        // The files themselves stay readable to everyone; only the directory is closed.
        for (const auto& entry : fs::directory_iterator(root + "/data")) chmod(entry.path().c_str(), 0644);
    }
    const Messages missing = expectedMessages([](const std::string& file) {
        return isPicture(file) ? readParams : objError;
    });
    Messages withMusic = missing;
    withMusic.push_back(musicError);

    chmod((root + "/data").c_str(), 0);
    expectRun("data with no permissions", throughEveryScene, withMusic, 1, wrapper);
    // Without read permission but with search permission the files still open by name:
    // the program never lists the directory, so it loads everything.
    chmod((root + "/data").c_str(), 0111);
    expectRun("data searchable but not readable", throughEveryScene, {}, 0, wrapper);
    chmod((root + "/data").c_str(), 0755);
}

}  // namespace
