// globals.h -- program-wide state: the display mode, the clock of the current frame, the flags
#pragma once
#include <cstdint>

// Display mode in pixels (1024 x 768 or 1280 x 720), and the height of the 16:9 band
// the 3D picture is drawn in (576 or 720). All 0 until the setup dialog's "Run Demo".
extern int screenWidth;
extern int screenHeight;
extern int viewportHeight;

// Where the 16:9 picture is drawn in the frame buffer, in pixels, for a frame buffer that is
// not the display mode itself (an offline capture at another size or supersampled); the
// scenes still work in screenWidth x screenHeight units. Width 0: the display mode's band.
struct PictureArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
extern PictureArea pictureArea;

// True while frames only move the scenes' state on (latches, the camera, the generator, the
// matrices and GL state one frame leaves the next) and draw nothing: the calls that only put
// pixels on the screen are left out, the state they would leave behind is still set.
extern bool skipDrawing;

// Milliseconds since the music started, written once per frame before any scene runs.
extern int32_t elapsedMs;

// 1 unless the viewer chose "Exit" in the setup dialog.
extern uint8_t runFlag;
// A build setting: 1 switches the display mode and hides the cursor.
constexpr uint8_t fullscreenFlag = 1;
