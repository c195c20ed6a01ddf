// testkit.h -- what the tests share: headless GL at a display mode, pixels, fixture files, a scripted level
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/egl_context.h"

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

// Sets the display-mode globals as the dialog would (1024x768 gives a 576-row band),
// brings up headless GL of that size with smooth lines on, as the player starts.
// Fails the calling test when no context can be made.
bool startGl(int width, int height);

// The whole screen, top row first, RGBA.
std::vector<uint8_t> grabScreen();
// One pixel, x from the left and y from the top of the screen.
Rgba pixelAt(const std::vector<uint8_t>& screen, int x, int y);
Rgba pixelAt(int x, int y);
// True when every channel differs by at most tolerance.
bool near(Rgba a, Rgba b, int tolerance);

// Fixture files, written by the tests themselves.
void writeFile(const std::string& path, const std::string& contents);
// A JPEG of width x height, rgb holding width x height x 3 bytes, top row first.
void writeJpeg(const std::string& path, int width, int height, const uint8_t* rgb, int quality = 95);

// Runs the built talumen-render in the working directory after env settings (VAR=value ...):
// its exit code, and its stderr in err where one is given.
int renderTool(const std::string& args, std::string* err = nullptr, const std::string& env = "");

// A whole file as bytes; empty when it does not read.
std::string readWhole(const std::string& path);
// The data talumen-data writes, made once per build tree by the first test that needs it (the
// others wait on a lock and reuse it), and made afresh when the generator was rebuilt.
const std::string& sharedData();
// Replaces data/ in the working directory by a link to sharedData().
void linkSharedData();

// A fresh directory with an empty data/ inside; the working directory while it lives.
struct TempDir {
    std::string path;
    std::string previous;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

// The level the scenes read, from a script: readings are handed out in order, then the
// last one repeats (0 if the script is empty). Every call is counted.
void scriptLevel(const std::vector<double>& readings);
void constantLevel(double reading);
int levelReadings();  // calls since the script was set
void resetLevelCount();

// Messages that would have been boxes, as "caption: text".
void recordMessages();
const std::vector<std::string>& recordedMessages();
