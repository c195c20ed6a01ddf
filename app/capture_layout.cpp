// capture_layout.cpp -- where the picture goes in a capture of any size
#include "app/capture_layout.h"

#include <cstdint>

#include "base/globals.h"
#include "render/carried_gl.h"

// The picture's own size and the scenes' working units: overlays, shake and line widths are
// worked out at 1280 x 720 and the whole picture is scaled to the frame.
static constexpr int pictureWidth = 1280;
static constexpr int pictureHeight = 720;

static int evenRound(double value) { return 2 * static_cast<int>(value / 2.0 + 0.5); }

FrameLayout frameLayout(int width, int height, int ssaa) {
    FrameLayout layout;
    layout.width = width;
    layout.height = height;
    layout.ssaa = ssaa;
    if (width == 1024 && height == 768) {
        // The 4:3 display mode as the player shows it: the 576-row band between black bands.
        layout.sceneWidth = 1024;
        layout.sceneHeight = 768;
        layout.sceneBand = 576;
        layout.drawWidth = width * ssaa;
        layout.drawHeight = height * ssaa;
        layout.picture = {0, (768 - 576) / 2 * ssaa, 1024 * ssaa, 576 * ssaa};
        layout.lineScale = static_cast<float>(ssaa);
        return layout;
    }
    layout.sceneWidth = pictureWidth;
    layout.sceneHeight = pictureHeight;
    layout.sceneBand = pictureHeight;
    // Fitted whole into the frame: as tall as the frame when it is at least 16:9, else as wide.
    int fittedWidth = width;
    int fittedHeight = height;
    if (static_cast<int64_t>(width) * pictureHeight >= static_cast<int64_t>(height) * pictureWidth)
        fittedWidth = evenRound(static_cast<double>(height) * pictureWidth / pictureHeight);
    else
        fittedHeight = evenRound(static_cast<double>(width) * pictureHeight / pictureWidth);
    layout.pasteX = (width - fittedWidth) / 2;
    layout.pasteY = (height - fittedHeight) / 2;
    layout.drawWidth = fittedWidth * ssaa;
    layout.drawHeight = fittedHeight * ssaa;
    layout.picture = {0, 0, layout.drawWidth, layout.drawHeight};
    layout.lineScale = static_cast<float>(layout.drawHeight) / pictureHeight;
    return layout;
}

void useFrameLayout(const FrameLayout& layout) {
    screenWidth = layout.sceneWidth;
    screenHeight = layout.sceneHeight;
    viewportHeight = layout.sceneBand;
    pictureArea = {layout.picture.x, layout.picture.y, layout.picture.width, layout.picture.height};
    lineWidthScale = layout.lineScale;
}
