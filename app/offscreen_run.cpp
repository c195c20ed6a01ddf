// offscreen_run.cpp -- a run drawn into an offscreen frame buffer beside the one on screen
#include "app/offscreen_run.h"

#include "render/gl.h"

#include <algorithm>
#include <cstring>

#include "app/timeline.h"
#include "audio/music.h"
#include "base/frame_state.h"
#include "base/globals.h"
#include "render/carried_gl.h"

namespace {

// What drawing a frame changes besides the frame buffer, taken before and put back after.
struct LiveState {
    FrameState frame;
    int32_t elapsed = 0;
    bool skipping = false;
    int width = 0;
    int height = 0;
    int band = 0;
    PictureArea area;
    float lineScale = 1.0f;
    bool virtualClock = false;
    ReadingTape* tape = nullptr;
    float spectrum[spectrumBins] = {};
    GLint viewport[4] = {};
    GLint matrixMode = GL_MODELVIEW;
    GLfloat projection[16] = {};
    GLfloat modelview[16] = {};

    void take() {
        frame = frameState;
        elapsed = elapsedMs;
        skipping = skipDrawing;
        width = screenWidth;
        height = screenHeight;
        band = viewportHeight;
        area = pictureArea;
        lineScale = lineWidthScale;
        virtualClock = music.virtualClock;
        tape = music.tape;
        std::memcpy(spectrum, music.spectrum, sizeof spectrum);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    }

    void putBack() const {
        frameState = frame;
        applyCarriedGl();
        elapsedMs = elapsed;
        skipDrawing = skipping;
        screenWidth = width;
        screenHeight = height;
        viewportHeight = band;
        pictureArea = area;
        lineWidthScale = lineScale;
        music.virtualClock = virtualClock;
        music.tape = tape;
        std::memcpy(music.spectrum, spectrum, sizeof spectrum);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(modelview);
        glMatrixMode(static_cast<GLenum>(matrixMode));
    }
};

}  // namespace

void OffscreenRun::setUp(int clockFps, int width, int height) {
    if (clockFps == fps && width == layout.width && height == layout.height) return;
    fps = clockFps;
    layout = frameLayout(width, height, 1);
    placed = false;
    frame = -1;
    picture.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    drawn.assign(static_cast<size_t>(layout.drawWidth) * static_cast<size_t>(layout.drawHeight) * 4, 0);
}

bool OffscreenRun::drawAt(int32_t ms, const SnapshotTable& table, const OffscreenTarget& target) {
    return draw(firstFrameAtOrAfter(std::max(ms, 0), fps), table, target);
}

bool OffscreenRun::draw(int64_t k, const SnapshotTable& table, const OffscreenTarget& target) {
    if (layout.width <= 0 || !target.bind || !target.read || !target.unbind) return false;
    // The nearest state before frame k: the table's (on this clock its snapshot of k's second, or
    // where its own run stands; on another, the start-up state, which is before frame 0 of any
    // clock), or this run's own where it is nearer still.
    const DemoSnapshot* from = nullptr;
    if (!table.taken.empty()) {
        if (table.fps == fps) {
            from = &table.taken[std::min(static_cast<size_t>(k / table.every), table.taken.size() - 1)];
            if (table.ahead.frame <= k && table.ahead.frame > from->frame) from = &table.ahead;
        } else {
            from = &table.taken.front();
        }
    }
    const bool fromOwn = placed && own.frame <= k && (!from || own.frame >= from->frame);
    if (fromOwn) from = &own;
    if (!from) return false;

    // Whatever the layer holds back of the run's own frame goes to the run's frame buffer first.
    glFlush();
    if (!target.bind(layout.drawWidth, layout.drawHeight)) return false;
    LiveState live;
    live.take();
    useFrameLayout(layout);
    frameState = from->state;
    // A width carried from the live run is in its frame buffer's pixels; a capture at this size
    // would hold it scaled by this layout's line scale instead.
    if (!fromOwn) frameState.gl.lineWidth *= layout.lineScale / live.lineScale;
    applyCarriedGl();
    music.tape = nullptr;
    catchUp(from->frame, k, fps);
    skipDrawing = false;
    music.virtualClock = true;
    drawFrame(frameMs(k, fps));
    glFlush();
    target.read(layout.drawWidth, layout.drawHeight, drawn.data());
    own = takeSnapshot(k + 1);
    placed = true;
    frame = k;
    target.unbind();
    live.putBack();

    // Top row first and opaque: the frame's alpha is whatever blending left, no part of the picture.
    std::fill(picture.begin(), picture.end(), 0);
    const size_t rowBytes = static_cast<size_t>(layout.drawWidth) * 4;
    for (int y = 0; y < layout.drawHeight; ++y) {
        const uint8_t* source = drawn.data() + rowBytes * static_cast<size_t>(layout.drawHeight - 1 - y);
        uint8_t* out = picture.data() +
                       (static_cast<size_t>(layout.pasteY + y) * static_cast<size_t>(layout.width) +
                        static_cast<size_t>(layout.pasteX)) * 4;
        std::memcpy(out, source, rowBytes);
    }
    for (size_t i = 3; i < picture.size(); i += 4) picture[i] = 255;
    return true;
}
