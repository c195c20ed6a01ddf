// playback.h -- a running demo's clock, pause and seek: what the player's keys (and the page) drive
#pragma once
#include <cstdint>

#include "app/seek.h"
#include "audio/music.h"

// What the viewer asks of a running demo besides Escape, in the order asked; redraw is the
// window's own request to show its picture again.
enum class DemoCommand { none, pauseOrResume, forward, back, nextScene, previousScene, toStart, redraw };

// The viewer's commands, kept in the order given until the frame loop takes them; a full queue
// drops the newest, so a held key cannot grow it.
struct CommandQueue {
    static constexpr int size = 32;
    DemoCommand items[size] = {};
    int first = 0;
    int count = 0;

    void push(DemoCommand command);
    DemoCommand take();  // none when empty
};

// The demo's instant is the music's audible position where the music plays, and otherwise a
// millisecond counter. A seek lands on the state a run from 0 on the 60 fps clock has at the
// clock's frame at or after the instant asked for, draws that frame as offline rendering
// draws it, and the sound goes on from there; paused, neither the picture nor the sound moves.
struct Playback {
    static constexpr int fps = 60;                 // the clock seeks land on
    static constexpr int32_t skipMs = 10000;       // what forward and back move by

    // Where the sound stops moving while it should play (a device that stalls or is gone), the
    // counter takes over from the frame on screen after stallMs, so the picture never freezes;
    // the sound is moved to the counter's instant when it is heard to move again, and the next
    // seek or resume tries the sound as the clock once more. A device that keeps time itself
    // (the page's, whose own clock stands in for a held sound) is never taken over.
    static constexpr uint32_t stallMs = 300;

    bool withSound = false;   // the music plays: moves and pauses go to it
    bool soundClock = false;  // and its audible position is the clock now
    bool soundStalled = false;  // the counter took over from a sound that stopped moving
    bool rejoinDue = false;     // and the sound is moved to the counter once it moves again
    int32_t lastHeardMs = -1;   // the sound's position when last seen to move, and when that was
    uint32_t lastHeardTick = 0;
    uint32_t (*ticks)() = nullptr;  // the counter, where there is no sound
    int32_t tickBaseMs = 0;         // the counter's instant at tickBase
    uint32_t tickBase = 0;

    bool paused = false;
    bool ended = false;          // a seek past the end
    bool exactFrameDue = false;  // a seek's first frame, drawn at shownMs on the virtual clock
    bool redrawDue = false;
    bool anyShown = false;
    int32_t shownMs = 0;  // the instant of the frame on screen (or due, after a seek)

    SnapshotTable snapshots;
    // The frame on screen: the state before it and the readings it took, to draw it again.
    DemoSnapshot beforeShown;
    ReadingTape shownReadings;

    // Starts the table of snapshots, one for every second of the sequence, which buildTable
    // fills between the frames, so that any seek lands at once. With the start-up state
    // current and the track open.
    void prepare();
    // Takes the table's next few seconds, as far as the track's thread has measured their
    // loudness: about a millisecond between two frames. A seek past them takes the rest.
    void buildTable();
    // Before the first frame, after the music started (or failed to).
    void start(bool sound, uint32_t (*counter)());
    // The demo's instant now: the frame on screen's while paused.
    int32_t now();
    void pause();
    void resume();
    // False when ms lies past the end: the run is then over, as at its end.
    bool seek(int32_t ms);
    // False when the command ends the run.
    bool apply(DemoCommand command);

    // The instant of the next frame to draw; false while none is due (paused, or a move of the
    // sound not heard yet: the picture waits for it).
    bool frameDue(int32_t& ms);
    void draw(int32_t ms);
    // The frame on screen once more, exactly: its state put back and its readings replayed.
    void redrawShown();

    uint32_t counterTicks() const;
    // The sound is the clock again (where it plays), and is watched afresh for a stall.
    void watchSound();
};

extern Playback playback;
