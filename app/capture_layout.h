// capture_layout.h -- where the picture goes in a frame of any size drawn away from the display: its frame buffer, the scenes' units and the black bands
#pragma once

// How a capture of width x height is drawn: the GL frame buffer's size, the scenes' units
// (screenWidth, screenHeight, viewportHeight), where the picture lies in the frame buffer,
// and where the frame buffer, averaged down by ssaa, lands in the capture.
struct FrameLayout {
    int width = 0;
    int height = 0;
    int ssaa = 1;
    int sceneWidth = 0;
    int sceneHeight = 0;
    int sceneBand = 0;
    int drawWidth = 0;
    int drawHeight = 0;
    struct {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    } picture;
    float lineScale = 1.0f;
    int pasteX = 0;
    int pasteY = 0;
};
// 1024x768 keeps the 4:3 display mode; any other size shows the 1280x720 picture fitted
// whole (1280x720 itself exactly as the display mode).
FrameLayout frameLayout(int width, int height, int ssaa);

// Sets the display-mode globals, the picture's area and the line width scale as the layout
// says, for frames drawn into its frame buffer.
void useFrameLayout(const FrameLayout& layout);
