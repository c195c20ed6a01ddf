// seek.h -- landing on any frame of the clock: what the frames carry, snapshots of it, and the catch-up from the nearest
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/frame_state.h"

// Everything a frame leaves for the next ones, at a frame of the clock. Restoring a snapshot
// taken before frame k and drawing frame k gives that frame byte for byte.
struct DemoSnapshot {
    int64_t frame = 0;  // of the clock: the state before this frame is drawn
    FrameState state;
};

DemoSnapshot takeSnapshot(int64_t frame);
void restoreSnapshot(const DemoSnapshot& snapshot);

// Frames first..end-1 of the fps clock as frames that only move the state on: nothing drawn,
// every reading of the track at the frame's own instant.
void catchUp(int64_t first, int64_t end, int fps);
// Set to draw catch-ups in full into a 1 x 1 scissor box instead, to check that the frames
// that draw nothing leave the state that drawn ones do.
extern bool catchUpDrawn;

// Snapshots every second of a run from 0 on the fps clock. The table's own run takes them, a
// little at a time between the frames the viewer sees or all at once: it keeps its state in
// a snapshot of its own and swaps it with the live one while it runs.
struct SnapshotTable {
    int fps = 0;
    int64_t every = 0;   // frames between two snapshots
    int64_t last = 0;    // the sequence's last frame on this clock
    std::vector<DemoSnapshot> taken;  // taken[i] is the state before frame i x every
    DemoSnapshot ahead;  // where the table's run stands

    // Starts the table from the state now, which must be the start-up state: before frame 0.
    void startTable(int clockFps);
    // Runs the table's run on by at most frames frames; true once every snapshot is taken.
    bool extend(int64_t frames);
    bool complete() const { return ahead.frame >= last; }
    // Makes the state the one before frame k of a run from 0: the nearest snapshot at or
    // before k caught up to k (or, with fromStart, the start-up state caught up, the way a
    // seek worked without snapshots). The frames the table has not reached yet are run first.
    void landOn(int64_t k, bool fromStart = false);
    size_t bytes() const { return taken.capacity() * sizeof(DemoSnapshot) + sizeof(*this); }
};
