// run.h -- the life of one run of the demo, the same for every front end: the player, the page and the renderer feed it events and a clock, and show what it draws
#pragma once
#include <cstdint>
#include <string>

#include "app/seek.h"
#include "audio/music.h"

// What a front end hands the run besides the clock: the viewer's commands, the window's and
// the GL's events.
enum class RunCommand {
    none,
    stop,           // Escape, the close box, a stop signal: the run ends
    pauseOrResume,
    forward,        // 10 s on
    back,           // 10 s back
    nextScene,      // the start of the next timeline row
    previousScene,  // the start of the row before the one playing
    toStart,
    seekTo,         // to RunEvent::ms (the timeline bar, a link to an instant)
    frameForward,   // one frame of the clock on, while paused
    frameBack,      // one frame of the clock back, while paused
    muteOrUnmute,   // the sound off or on; the picture, the clock and the loudness go on
    fullScreen,     // full screen, or a window of the mode's size, and back (fullScreen below)
    help,           // the keys shown over the picture until the next key (helpShown below)
    redraw,         // the window asks for its picture again
    contextLost,    // the GL context is gone, with every object in it
    contextRenewed, // it is back, empty, and the GL layer's own objects are made again in it
};

struct RunEvent {
    RunCommand command = RunCommand::none;
    int32_t ms = 0;  // for seekTo
};

// The events in the order given, until the run takes them; a full queue drops the newest, so
// a held key cannot grow it.
struct RunEvents {
    static constexpr int size = 32;
    RunEvent items[size] = {};
    int first = 0;
    int count = 0;

    void push(RunEvent event);
    bool pop(RunEvent& event);  // false when empty
    void drop() { first = count = 0; }
};

// Why a run ended: not yet, the viewer stopped it, or the sequence reached its end (by the
// clock, a seek past it, or a context renewed past it: all the same end).
enum class RunEnd { none, stopped, sequenceEnd };

// What one turn of the run did, for the front end to act on.
struct RunTurn {
    bool drawn = false;   // a frame is in the back buffer: show it
    bool landed = false;  // and it is the frame a seek (or the start) landed on
    RunEnd ended = RunEnd::none;  // after showing what was drawn, the run is over
    int waitMs = 0;       // nothing drawn: the longest to wait for input before the next turn
};

// How a front end starts a run.
struct RunStart {
    int fps = 60;             // the clock seeks, steps and a late start land on
    int32_t atMs = 0;         // the first frame: the clock's frame at or after it
    bool playMusic = false;   // start the track, opened already (music.open())
    bool soundIsClock = false;  // and its audible position is the run's instant while it plays
    // The run's instant where the sound is not the clock: a millisecond counter (the player's
    // ticks, the page's clock, the renderer's virtual clock).
    uint32_t (*counter)() = nullptr;
    // Snapshots are taken between frames, in a share of the time between two turns, so that a
    // seek lands from the nearest second; off, they are taken only as far as a seek needs.
    bool snapshotsBetweenFrames = false;
    // Called every turn once the events are taken, paused or not, before the frame due: for a
    // sound whose clock moves only when read (the page's), so that it follows a pause or a
    // seek at once.
    void (*readClock)() = nullptr;
};

// A run the viewer watches as it plays, from atMs: the music playing and its audible position
// the clock, the counter where it cannot play, snapshots taken between frames.
RunStart watchedRun(uint32_t (*counter)(), int32_t atMs = 0);

// The demo's instant is the music's audible position where the music plays and is the clock,
// and otherwise the counter. A seek lands on the state a run from 0 on the clock has at the
// clock's frame at or after the instant asked for, draws that frame as offline rendering draws
// it, and the sound goes on from there; paused, neither the picture nor the sound moves.
struct DemoRun {
    static constexpr int32_t skipMs = 10000;  // what forward and back move by
    // Where the sound stops moving while it should play (a device that stalls or is gone), the
    // counter takes over from the frame on screen after stallMs, so the picture never freezes;
    // the sound is moved to the counter's instant when it is heard to move again, and the next
    // seek or resume tries the sound as the clock once more. A device that keeps time itself
    // (the page's, whose own clock stands in for a held sound) is never taken over.
    static constexpr uint32_t stallMs = 300;

    int fps = 60;
    bool betweenFrames = false;  // RunStart::snapshotsBetweenFrames
    void (*readClock)() = nullptr;

    bool withSound = false;     // the music plays: moves and pauses go to it
    bool soundIsClock = false;  // and its audible position is the clock where it moves
    bool soundClock = false;    // and it is the clock now
    bool soundStalled = false;  // the counter took over from a sound that stopped moving
    bool rejoinDue = false;     // and the sound is moved to the counter once it moves again
    int32_t lastHeardMs = -1;   // the sound's position when last seen to move, and when that was
    uint32_t lastHeardTick = 0;
    uint32_t (*ticks)() = nullptr;
    int32_t tickBaseMs = 0;     // the counter's instant at tickBase
    uint32_t tickBase = 0;

    bool running = false;        // between startRun() and finish()
    // What the viewer asked of the front end, which shows it its own way: the player's window
    // full screen (true at the start), and the keys' help over the picture.
    bool fullScreen = true;
    bool helpShown = false;
    RunEnd ended = RunEnd::none;
    bool paused = false;
    bool contextLost = false;
    bool exactFrameDue = false;  // a seek's first frame, drawn at shownMs on the virtual clock
    bool redrawDue = false;
    bool anyShown = false;
    int32_t shownMs = 0;  // the instant of the frame on screen (or due, after a seek)

    RunEvents events;
    SnapshotTable snapshots;
    // The frame on screen: the state before it and the readings it took, to draw it again.
    DemoSnapshot beforeShown;
    ReadingTape shownReadings;

    double lastTurnSeconds = 0.0;  // the steady clock at the previous turn; 0 before the first
    double landingSeconds = 0.0;   // what the newest seek's landing (snapshot and catch-up) took
    std::string said;              // lines for the viewer, held until the frame they lead to shows
    bool saidStall = false;

    // The table of snapshots from the state now, which must be the start-up state (the scenes
    // loaded, no frame drawn): the page and the player take it before the run begins, while the
    // viewer chooses. startRun() takes it where it was not.
    void startSnapshots(int clockFps);
    // Takes the table on for at most seconds, as far as the track's loudness is measured.
    void extendSnapshots(double seconds);
    bool startRun(const RunStart& start);
    void post(RunEvent event) { events.push(event); }
    void post(RunCommand command) { events.push(RunEvent{command, 0}); }
    // One turn: the events taken in order, then the frame due drawn (or the one on screen drawn
    // again), then snapshots in what time is left. shown false moves the state on as the frame
    // due would, drawing nothing.
    RunTurn turn(bool shown = true);
    // The lines said since the last call, once the frame they lead to is on screen.
    std::string takeSaid();
    // Stops the music; the run is over.
    void finish();

    // The instant now: the frame on screen's while paused.
    int32_t instant();
    uint32_t counterTicks() const;

    // The turn's own steps.
    void apply(const RunEvent& event);
    bool seek(int32_t ms);
    void pauseRun();
    void resumeRun();
    void stepFrames(int frames);
    void watchSound();
    bool frameDue(int32_t& ms);
    void draw(int32_t ms, bool shown);
    void redrawShown();
    void endWith(RunEnd why);
};

extern DemoRun demoRun;

// Draws over the frame the run just drew, while RunTurn's frame is on its way to the screen
// (the player's help card); set by a front end that shows the help in the picture. It must
// leave GL holding frameState.gl again.
extern void (*drawOverFrame)();

// What the player sets once in a new context, and again in one made anew: smooth lines, which
// nothing turns off, GL's own starting line width scaled for the frame buffer, and one clear.
void setUpContext();
