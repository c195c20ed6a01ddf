// cubes_kit.cpp -- fixtures for the cubes scene: its data files, one frame of it, and frame comparison
#include "cubes_kit.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/timeline.h"
#include "scenes/cubes.h"
#include "testkit.h"

namespace CubesKit {

std::string cubeObjText(float half) {
    std::string text = "# a cube\n";
    char line[96];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(line, sizeof line, "v %g %g %g\n", (i & 1) ? half : -half, (i & 2) ? half : -half,
                      (i & 4) ? half : -half);
        text += line;
    }
    text += "vt 0 0\nvn 0 0 1\n";
    // Two triangles per face, corners as 1-based position indices.
    const int faces[12][3] = {{1, 2, 4}, {1, 4, 3}, {5, 7, 8}, {5, 8, 6}, {1, 5, 6}, {1, 6, 2},
                              {3, 4, 8}, {3, 8, 7}, {1, 3, 7}, {1, 7, 5}, {2, 6, 8}, {2, 8, 4}};
    for (const auto& f : faces) {
        std::snprintf(line, sizeof line, "f %d/1/1 %d/1/1 %d/1/1\n", f[0], f[1], f[2]);
        text += line;
    }
    return text;
}

void writeQuarterJpeg(const std::string& path, int size, Rgb topLeft, Rgb topRight, Rgb bottomLeft,
                      Rgb bottomRight) {
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool top = y < size / 2, left = x < size / 2;
            const Rgb c = top ? (left ? topLeft : topRight) : (left ? bottomLeft : bottomRight);
            uint8_t* p = rgb.data() + (static_cast<size_t>(y) * size + x) * 3;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    writeJpeg(path, size, size, rgb.data(), 100);
}

void CubesFixture::write() const {
    writeQuarterJpeg("data/3b.jpg", 64, backdropTopLeft, backdropTopRight, backdropBottomLeft, backdropBottomRight);
    writeQuarterJpeg("data/3a.jpg", 32, card, card, cardCorner, card);
    writeSolidJpeg("data/adieu.jpg", 32, 32, topCard.r, topCard.g, topCard.b);
    if (!cubeObj.empty()) writeFile("data/cube.obj", cubeObj);
}

std::vector<uint8_t> cubesFrame(float progress, bool referenceChain, void (*entry)()) {
    // No row covers -1 ms: the frame is set up and cleared, and nothing else is drawn.
    drawFrame(-1);
    if (entry) entry();
    CubesScene::useReferenceChain = referenceChain;
    CubesScene::render(progress);
    return grabScreen();
}

FrameDifference compareFrames(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    FrameDifference result;
    if (a.size() != b.size()) {
        result.pixels = -1;
        return result;
    }
    for (size_t i = 0; i < a.size(); i += 4) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(a[i + c]) - int(b[i + c])));
        if (worst > tolerance) ++result.pixels;
        result.largest = std::max(result.largest, worst);
    }
    return result;
}

std::vector<float> currentModelview() {
    std::vector<float> m(16);
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

}  // namespace CubesKit
