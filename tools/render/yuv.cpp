// yuv.cpp -- the composed frames as studio-range BT.601 4:2:0, the form the H.264 encoder takes them in
#include "render_tool.h"

// BT.601 in 16-bit fixed point, as ffmpeg converts untagged RGB: luma 16..235, chroma
// 16..240 around 128. Done here, on the writer thread, the pipe carries half the bytes of RGB
// and the encoder skips a conversion of its own on the cores the drawing needs.
static constexpr int32_t yR = 16829, yG = 33039, yB = 6416;
static constexpr int32_t uR = -9714, uG = -19071, uB = 28784;
static constexpr int32_t vR = 28784, vG = -24103, vB = -4681;

static uint8_t luma(const uint8_t* p) {
    return static_cast<uint8_t>((yR * p[0] + yG * p[1] + yB * p[2] + (16 << 16) + (1 << 15)) >> 16);
}

void rgbToYuv420(int width, int height, const uint8_t* rgb, uint8_t* yuv) {
    const size_t row = static_cast<size_t>(width) * 3;
    const int chromaWidth = width / 2;
    uint8_t* yPlane = yuv;
    uint8_t* uPlane = yPlane + static_cast<size_t>(width) * height;
    uint8_t* vPlane = uPlane + static_cast<size_t>(chromaWidth) * (height / 2);
    for (int y = 0; y + 1 < height; y += 2) {
        const uint8_t* top = rgb + row * static_cast<size_t>(y);
        const uint8_t* bottom = top + row;
        uint8_t* yTop = yPlane + static_cast<size_t>(width) * y;
        uint8_t* yBottom = yTop + width;
        uint8_t* u = uPlane + static_cast<size_t>(chromaWidth) * (y / 2);
        uint8_t* v = vPlane + static_cast<size_t>(chromaWidth) * (y / 2);
        for (int x = 0; x < chromaWidth; ++x) {
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
}
