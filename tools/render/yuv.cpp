// yuv.cpp -- the composed frames as studio-range BT.601 4:2:0, the form the H.264 encoder takes them in
#include <vector>

#include "render_tool.h"

// BT.601 in 16-bit fixed point, as ffmpeg converts untagged RGB: luma 16..235, chroma
// 16..240 around 128. Done here, on the writer thread, so the pipe carries half the bytes of RGB
// and the encoder skips a conversion of its own on the cores the drawing needs.
static constexpr int32_t yR = 16829, yG = 33039, yB = 6416;
static constexpr int32_t uR = -9714, uG = -19071, uB = 28784;
static constexpr int32_t vR = 28784, vG = -24103, vB = -4681;

static uint8_t luma(const uint8_t* p) {
    return static_cast<uint8_t>((yR * p[0] + yG * p[1] + yB * p[2] + (16 << 16) + (1 << 15)) >> 16);
}

// One pair of RGB24 rows into two luma rows and one row of each chroma plane.
static void convertRowPair(int width, const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom,
                           uint8_t* u, uint8_t* v) {
    for (int x = 0; x < width / 2; ++x) {
        const uint8_t* a = top + 6 * x;
        const uint8_t* b = bottom + 6 * x;
        yTop[2 * x] = luma(a);
        yTop[2 * x + 1] = luma(a + 3);
        yBottom[2 * x] = luma(b);
        yBottom[2 * x + 1] = luma(b + 3);
        // Chroma of the 2 x 2 block's mean: the four sums carry two more bits.
        const int32_t r = a[0] + a[3] + b[0] + b[3];
        const int32_t g = a[1] + a[4] + b[1] + b[4];
        const int32_t bl = a[2] + a[5] + b[2] + b[5];
        u[x] = static_cast<uint8_t>((uR * r + uG * g + uB * bl + (128 << 18) + (1 << 17)) >> 18);
        v[x] = static_cast<uint8_t>((vR * r + vG * g + vB * bl + (128 << 18) + (1 << 17)) >> 18);
    }
}

void composeYuvFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* yuv) {
    const int width = layout.width;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Two rows at a time, composed into a scratch pair that stays in the cache while it is
    // converted, rather than a whole RGB frame written out and read back.
    std::vector<uint8_t> rows(2 * rowBytes);
    const size_t chromaWidth = static_cast<size_t>(width / 2);
    uint8_t* yPlane = yuv;
    uint8_t* uPlane = yPlane + static_cast<size_t>(width) * layout.height;
    uint8_t* vPlane = uPlane + chromaWidth * static_cast<size_t>(layout.height / 2);
    for (int y = 0; y + 1 < layout.height; y += 2) {
        composeRow(layout, drawn, y, rows.data());
        composeRow(layout, drawn, y + 1, rows.data() + rowBytes);
        uint8_t* yTop = yPlane + static_cast<size_t>(width) * y;
        convertRowPair(width, rows.data(), rows.data() + rowBytes, yTop, yTop + width,
                       uPlane + chromaWidth * static_cast<size_t>(y / 2), vPlane + chromaWidth * static_cast<size_t>(y / 2));
    }
}
