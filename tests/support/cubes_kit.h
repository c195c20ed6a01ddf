// cubes_kit.h -- fixtures for the cubes scene: its data files, one frame of it, and frame comparison
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace CubesKit {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// An axis-aligned cube of the given half size about the origin: 8 positions, 12 triangles.
std::string cubeObjText(float half);

// A JPEG whose four quarters have the given colours (size x size, size a multiple of 16).
void writeQuarterJpeg(const std::string& path, int size, Rgb topLeft, Rgb topRight, Rgb bottomLeft,
                      Rgb bottomRight);

// The scene's four files under data/: the sliding picture in quarters, the level card in one
// colour but for its bottom-left quarter (the corner that colours the cube lines), the last
// card in one colour, and the cube unless cubeObj is empty.
struct CubesFixture {
    Rgb backdropTopLeft, backdropTopRight, backdropBottomLeft, backdropBottomRight;
    Rgb card;
    Rgb cardCorner;
    Rgb topCard;
    std::string cubeObj;
    void write() const;
};

// One frame as the frame loop draws it (cleared, 16:9 band, perspective, identity modelview),
// with only the cubes scene at progress, entered after entry() when given (as when the opening
// scene leaves a transform at 56500 ms); the screen afterwards, top row first.
std::vector<uint8_t> cubesFrame(float progress, bool referenceChain, void (*entry)() = nullptr);

struct FrameDifference {
    int pixels = 0;   // pixels where some channel differs by more than the tolerance
    int largest = 0;  // largest channel difference anywhere
};
FrameDifference compareFrames(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance);

// The modelview now, column-major.
std::vector<float> currentModelview();

}  // namespace CubesKit
