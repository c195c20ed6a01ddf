// testkit.cpp -- headless GL, pixel reading, fixture writing and the scripted level for the tests
#include "testkit.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/allocator.h"
#include "base/globals.h"
#include "base/message.h"
#include "audio/music.h"

static HeadlessGl gl;

bool startGl(int width, int height) {
    // The test programs start in GoogleTest's main; this is where each one that draws begins.
    tuneAllocator();
    screenWidth = width;
    screenHeight = height;
    viewportHeight = width == 1024 ? 576 : height;
    if (!gl.create(width, height)) {
        ADD_FAILURE() << "no headless GL context";
        return false;
    }
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    return true;
}

std::vector<uint8_t> grabScreen() {
    std::vector<uint8_t> pixels(static_cast<size_t>(gl.width) * gl.height * 4);
    gl.readPixels(pixels.data());
    return pixels;
}

Rgba pixelAt(const std::vector<uint8_t>& screen, int x, int y) {
    const uint8_t* p = screen.data() + (static_cast<size_t>(y) * gl.width + x) * 4;
    return Rgba{p[0], p[1], p[2], p[3]};
}

Rgba pixelAt(int x, int y) {
    uint8_t p[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, gl.height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return Rgba{p[0], p[1], p[2], p[3]};
}

bool near(Rgba a, Rgba b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
    ASSERT_TRUE(out.good()) << path;
}

void writeJpeg(const std::string& path, int width, int height, const uint8_t* rgb, int quality) {
    tjhandle handle = tjInitCompress();
    ASSERT_NE(handle, nullptr);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    int rc = tjCompress2(handle, rgb, width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, quality,
                         TJFLAG_ACCURATEDCT);
    ASSERT_EQ(rc, 0) << tjGetErrorStr2(handle);
    writeFile(path, std::string(reinterpret_cast<char*>(jpeg), size));
    tjFree(jpeg);
    tjDestroy(handle);
}

TempDir::TempDir() {
    char pattern[] = "/tmp/talumen-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        ADD_FAILURE() << "mkdtemp";
        return;
    }
    path = made;
    previous = std::filesystem::current_path().string();
    std::filesystem::create_directory(path + "/data");
    std::filesystem::current_path(path);
}

TempDir::~TempDir() {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::current_path(previous, ec);
    std::filesystem::remove_all(path, ec);
}

static std::vector<double> script;
static size_t scriptNext = 0;
static int readingCount = 0;

static double scriptedReading() {
    ++readingCount;
    if (script.empty()) return 0.0;
    const double value = script[scriptNext < script.size() ? scriptNext : script.size() - 1];
    ++scriptNext;
    return value;
}

void scriptLevel(const std::vector<double>& readings) {
    script = readings;
    scriptNext = 0;
    readingCount = 0;
    music.levelSource = scriptedReading;
}

void constantLevel(double reading) { scriptLevel({reading}); }
int levelReadings() { return readingCount; }
void resetLevelCount() { readingCount = 0; }

static std::vector<std::string> messages;

static void recordMessage(const char* text, const char* caption) {
    messages.push_back(std::string(caption) + ": " + text);
}

void recordMessages() {
    messages.clear();
    messageHandler = recordMessage;
}

const std::vector<std::string>& recordedMessages() { return messages; }

int renderTool(const std::string& args, std::string* err, const std::string& env) {
    const std::string tool = std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-render";
    const int status = std::system((env + " '" + tool + "' " + args + " >/dev/null 2>tool.err").c_str());
    if (err) *err = readWhole("tool.err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string& sharedData() {
    static std::string dir;
    if (!dir.empty()) return dir;
    const std::string root = std::string(std::getenv("TALUMEN_BIN")) + "/tests";
    const std::string generator = std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-data";
    dir = root + "/generated-data";
    struct stat tool {};
    EXPECT_EQ(stat(generator.c_str(), &tool), 0);
    const std::string stamp = std::to_string(tool.st_mtime) + " " + std::to_string(tool.st_size);
    const int lock = open((root + "/generated-data.lock").c_str(), O_CREAT | O_RDWR, 0644);
    EXPECT_GE(lock, 0);
    flock(lock, LOCK_EX);
    if (readWhole(dir + ".stamp") != stamp) {
        std::system(("rm -rf '" + dir + "'").c_str());
        EXPECT_EQ(std::system(("'" + generator + "' '" + dir + "' >/dev/null 2>&1").c_str()), 0);
        std::ofstream(dir + ".stamp") << stamp;
    }
    flock(lock, LOCK_UN);
    close(lock);
    return dir;
}

void linkSharedData() {
    std::filesystem::remove_all("data");
    std::filesystem::create_directory_symlink(sharedData(), "data");
}
