// layout.cpp -- the drawn frame averaged down into a capture of any size, black around the picture (app/capture_layout places it)
#include <cstring>

#include "render_tool.h"

// The frame's alpha is whatever blending left there and is no part of the picture the viewer
// sees, so only red, green and blue are kept. Output row y, RGB24, black beside the picture.
void composeRow(const FrameLayout& layout, const uint8_t* drawn, int y, uint8_t* row) {
    const int n = layout.ssaa;
    const int shownWidth = layout.drawWidth / n;
    const int shownHeight = layout.drawHeight / n;
    const size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    const int pictureRow = y - layout.pasteY;
    if (pictureRow < 0 || pictureRow >= shownHeight) {
        std::memset(row, 0, rowBytes);
        return;
    }
    std::memset(row, 0, static_cast<size_t>(layout.pasteX) * 3);
    std::memset(row + static_cast<size_t>(layout.pasteX + shownWidth) * 3, 0,
                static_cast<size_t>(layout.width - layout.pasteX - shownWidth) * 3);
    uint8_t* out = row + static_cast<size_t>(layout.pasteX) * 3;
    const size_t drawnRow = static_cast<size_t>(layout.drawWidth) * 4;
    // GL rows come bottom-up: picture row y is drawn row (shownHeight - 1 - y).
    const uint8_t* source = drawn + drawnRow * static_cast<size_t>(shownHeight - 1 - pictureRow) * n;
    if (n == 1) {
        for (int x = 0; x < shownWidth; ++x) {
            out[3 * x] = source[4 * x];
            out[3 * x + 1] = source[4 * x + 1];
            out[3 * x + 2] = source[4 * x + 2];
        }
        return;
    }
    const uint32_t count = static_cast<uint32_t>(n * n);
    const uint32_t half = count / 2;
    for (int x = 0; x < shownWidth; ++x) {
        uint32_t sum[3] = {0, 0, 0};
        for (int dy = 0; dy < n; ++dy) {
            const uint8_t* p = source + drawnRow * static_cast<size_t>(dy) + static_cast<size_t>(x) * n * 4;
            for (int dx = 0; dx < n; ++dx, p += 4) {
                sum[0] += p[0];
                sum[1] += p[1];
                sum[2] += p[2];
            }
        }
        for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<uint8_t>((sum[c] + half) / count);
    }
}

void composeFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* rgb) {
    const size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    for (int y = 0; y < layout.height; ++y) composeRow(layout, drawn, y, rgb + rowBytes * static_cast<size_t>(y));
}
