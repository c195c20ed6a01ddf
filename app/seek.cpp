// seek.cpp -- snapshots of what the frames carry, taken and put back, and the catch-ups between them
#include "app/seek.h"

#include "render/gl.h"

#include <algorithm>

#include "base/globals.h"
#include "app/timeline.h"
#include "audio/music.h"
#include "render/carried_gl.h"

DemoSnapshot takeSnapshot(int64_t frame) {
    DemoSnapshot snapshot;
    snapshot.frame = frame;
    snapshot.state = frameState;
    return snapshot;
}

void restoreSnapshot(const DemoSnapshot& snapshot) {
    frameState = snapshot.state;
    applyCarriedGl();
}

bool catchUpDrawn = false;

void catchUp(int64_t first, int64_t end, int fps) {
    if (end <= first) return;
    const bool wasSkipping = skipDrawing;
    const bool wasVirtual = music.virtualClock;
    skipDrawing = !catchUpDrawn;
    music.virtualClock = true;
    if (catchUpDrawn) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
    }
    for (int64_t k = first; k < end; ++k) drawFrame(frameMs(k, fps));
    if (catchUpDrawn) glDisable(GL_SCISSOR_TEST);
    skipDrawing = wasSkipping;
    music.virtualClock = wasVirtual;
}

void SnapshotTable::startTable(int clockFps) {
    fps = clockFps;
    every = clockFps;
    last = firstFrameAtOrAfter(sequenceEndMs, fps);
    taken.clear();
    taken.reserve(static_cast<size_t>(last / every + 1));
    taken.push_back(takeSnapshot(0));
    ahead = taken.front();
}

bool SnapshotTable::extend(int64_t frames) {
    if (complete() || frames <= 0) return complete();
    const int32_t liveMs = elapsedMs;
    const DemoSnapshot live = takeSnapshot(0);
    restoreSnapshot(ahead);
    const int64_t stop = std::min(last, ahead.frame + frames);
    for (int64_t k = ahead.frame; k < stop;) {
        const int64_t next = std::min(stop, (k / every + 1) * every);
        catchUp(k, next, fps);
        k = next;
        if (k % every == 0) taken.push_back(takeSnapshot(k));
    }
    ahead = takeSnapshot(stop);
    restoreSnapshot(live);
    elapsedMs = liveMs;
    return complete();
}

void SnapshotTable::landOn(int64_t k, bool fromStart) {
    if (taken.empty()) return;
    k = std::max<int64_t>(0, std::min(k, last));
    if (!fromStart && ahead.frame < k) extend(k - ahead.frame);
    const size_t nearest = std::min(static_cast<size_t>(k / every), taken.size() - 1);
    const DemoSnapshot& from = taken[fromStart ? 0 : nearest];
    restoreSnapshot(from);
    catchUp(from.frame, k, fps);
}
