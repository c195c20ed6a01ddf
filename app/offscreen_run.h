// offscreen_run.h -- frames of any instant drawn away from the screen at a size and on a clock of their own, from a run's snapshots, the run on screen left as it was
#pragma once
#include <cstdint>
#include <vector>

#include "app/capture_layout.h"
#include "app/seek.h"

// A frame buffer in the GL context the run draws in, made by the platform layer (the page's:
// a WebGL 2 frame buffer object). The GL layer draws into whatever frame buffer is bound.
struct OffscreenTarget {
    // Binds a frame buffer of width x height, with a depth buffer, for drawing: made, or made
    // anew at another size. False where none can be made; then the run's own stays bound.
    bool (*bind)(int width, int height) = nullptr;
    // Reads it whole, RGBA, bottom row first as GL reads it; waits for the drawing.
    void (*read)(int width, int height, uint8_t* rgba) = nullptr;
    // Binds the frame buffer the run draws in again.
    void (*unbind)() = nullptr;
};

// A second run of the demo beside the one on screen, drawn offscreen: frame k of its clock is
// the frame talumen-render --fps N --size WxH draws there. Each frame lands from whichever is
// nearest before it: the live run's snapshot of that second (where the table is on this
// clock), or this run's own state after its last frame, so that frames in order cost a frame
// each. Everything a frame changes is put back afterwards: the frames' record, the instant, the
// display-mode globals and line scale, the music's clock and tape, the viewport and the
// matrices, and the run's own frame buffer bound; the run on screen goes on as if none was drawn.
struct OffscreenRun {
    int fps = 60;
    FrameLayout layout;     // ssaa 1
    DemoSnapshot own;       // the state before frame own.frame, at this layout's line scale
    bool placed = false;    // own holds such a state
    int64_t frame = -1;     // the frame drawn last, -1 before any
    // It, as width x height RGBA rows, top row first, opaque, black around the picture.
    std::vector<uint8_t> picture;

    // The clock and the size; a change of either forgets the state.
    void setUp(int clockFps, int width, int height);
    // Draws frame k of the clock into target and reads it into picture. False where the target
    // cannot be made or nothing can be landed from (an empty table): nothing is drawn then.
    bool draw(int64_t k, const SnapshotTable& table, const OffscreenTarget& target);
    // The frame of the clock at or after ms.
    bool drawAt(int32_t ms, const SnapshotTable& table, const OffscreenTarget& target);

    std::vector<uint8_t> drawn;  // the frame buffer as read, bottom row first
};
