// web_main.cpp -- the demo in a browser: start-up, the frame loop on requestAnimationFrame, pause and seek, stills and the bench
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/message.h"
#include "app/run.h"
#include "app/timeline.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "platform/web/web_platform.h"
#include "render/gl.h"

namespace {

// Messages said behind the start screen, while the track decodes and the scenes load, are held
// back and said at the moment the native player would say them: after "Run Demo", the scenes'
// first, then the track's, whichever was read first.
HeldMessages heldLoads;
HeldMessages heldTrack;

struct WebRun {
    bool trackOpened = false;  // music.open() succeeded behind the start screen
    bool prepared = false;
    bool scenesPrepared = false;  // webPrepareScenes has run
    bool contextReady = false;    // and made the context, with the scenes in it
    bool started = false;      // the scenes are loaded and the context made at the chosen mode
    bool playing = false;      // the frame loop runs
    int frames = 0;            // frames the run has drawn
    double seekShownAt = 0.0;  // page time at which the newest seek's frame was drawn, and its instant
    int32_t seekMs = -1;
    double landingMs = 0.0;    // what the newest seek's landing (snapshot and catch-up) took
    double fixedLevel = 0.0;
    int32_t stillMs = 0;
    int64_t stillFrame = 0;    // the still's frame of the clock
    uint32_t virtualMs = 0;    // the clock of stills and the bench: the frame being drawn
};
WebRun run;

double fixedLevelReading() { return run.fixedLevel; }
uint32_t virtualClock() { return run.virtualMs; }

// The clock every run of the page lands seeks and steps on, as the player's does.
constexpr int pageFps = 60;

// The display mode as the setup dialog sets it: 1024 x 768 draws the 3D picture in a
// 576-pixel band, every other mode in its full height.
void setMode(int width, int height) {
    screenWidth = width;
    screenHeight = height;
    viewportHeight = width == 1024 && height == 768 ? 576 : height;
}

// The context at a mode, smooth lines, one clear, and the scenes loaded into it.
bool makeSceneContext(int width, int height, bool keepPicture) {
    setMode(width, height);
    if (!webCreateContext(width, height, keepPicture)) return false;
    setUpContext();
    loadScenes(0);  // the page runs no threads: every load runs whole when it is called
    return true;
}

// The player's start-up after its dialog, at the chosen mode, with the keys listened to.
bool startScenes(int width, int height, bool keepPicture) {
    if (!makeSceneContext(width, height, keepPicture)) return false;
    webListenKeys();
    run.started = true;
    return true;
}

void endRun(int reason) {
    if (run.playing) emscripten_cancel_main_loop();
    run.playing = false;
    webTakeKeys(false);
    demoRun.finish();
    webDemoEnded(reason);
}

void readRunClock() { webRunInstant(); }

// The page's clock in whole milliseconds: the run's counter where the sound cannot play at all.
uint32_t pageTicks() { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

// A slice of the snapshot table behind the start screen, in budgetMs.
constexpr int64_t snapshotStepFrames = 30;
void extendSnapshotsFor(double budgetMs) {
    const double until = emscripten_get_now() + budgetMs;
    while (!demoRun.snapshots.complete() && emscripten_get_now() < until) demoRun.snapshots.extend(snapshotStepFrames);
}

// One turn of the run a call of the browser's frame loop: the keys and the context's events
// handed to it, the clock read, the frame it draws flushed, and the page told when it ends.
void frame() {
    if (!run.playing) return;
    if (webEscapeDown()) demoRun.post(RunCommand::stop);
    for (RunEvent event; webTakeEvent(event);) demoRun.post(event);
    if (webTakeContextLost()) demoRun.post(RunCommand::contextLost);
    if (webTakeContextRestored()) {
        // The layer's own objects first; the run makes the pictures and the carried state again.
        gl11ContextRenewed();
        demoRun.post(RunCommand::contextRenewed);
    }
    const RunTurn turn = demoRun.turn();
    if (turn.drawn) {
        // The GL layer batches what immediate mode sends; a frame is complete only once flushed.
        glFlush();
        ++run.frames;
        if (turn.landed) {
            // Timed to the frame drawn, not merely sent.
            webFinish();
            run.seekShownAt = emscripten_get_now();
            run.seekMs = demoRun.shownMs;
            run.landingMs = demoRun.landingSeconds * 1000.0;
        }
    }
    if (turn.ended != RunEnd::none) endRun(turn.ended == RunEnd::sequenceEnd ? webEndSequence : webEndEscape);
}

}  // namespace

extern "C" {

// Behind the start screen: decodes the track. Its messages wait for webStart.
EMSCRIPTEN_KEEPALIVE int webPrepare() {
    if (run.prepared) return run.trackOpened ? 1 : 0;
    run.prepared = true;
    audioDevice = webAudioDevice();
    heldMessages = &heldTrack;
    messageHandler = holdMessage;
    run.trackOpened = music.open();
    if (run.trackOpened) webPrepareSound();
    messageHandler = webMessageBox;
    return run.trackOpened ? 1 : 0;
}

// Behind the start screen, once it shows: the context, at the first mode's size until "Run Demo"
// gives the chosen one, and the scenes in it, so that "Run Demo" has only the first frame to
// draw. Their messages wait for webStart too. Where no context comes up here, webStart tries
// again and says what the player says.
EMSCRIPTEN_KEEPALIVE void webPrepareScenes() {
    if (run.scenesPrepared || run.started) return;
    run.scenesPrepared = true;
    heldMessages = &heldLoads;
    messageHandler = holdMessage;
    run.contextReady = makeSceneContext(1024, 768, false);
    messageHandler = webMessageBox;
}

// Behind the start screen, after the scenes: builds the seek table a slice of budgetMs at a time
// (its frames read the track's loudness, decoded by then), so that a run's first seeks, ?t=
// included, land from the nearest second. 1 once it is whole, or where it cannot be built here;
// the run builds the rest between its frames.
EMSCRIPTEN_KEEPALIVE int webPrepareSnapshots(double budgetMs) {
    if (!run.contextReady || !run.trackOpened || run.started) return 1;
    if (demoRun.snapshots.taken.empty()) demoRun.prepare(pageFps);
    extendSnapshotsFor(budgetMs);
    return demoRun.snapshots.complete() ? 1 : 0;
}

// "Run Demo": the context at the chosen mode, with the scenes in it, then the held messages. 1
// when the demo goes on to webPlay (after the page's boxes are closed), 0 when it ends here, as
// the native player ends when its window or its music does not open.
EMSCRIPTEN_KEEPALIVE int webStart(int width, int height) {
    webPrepare();
    if (run.started) return 0;
    webPrepareScenes();
    if (run.contextReady) {
        setMode(width, height);
        webResizeContext(width, height);
        // A context's first viewport is its canvas's size when it was made, which a resize leaves.
        glViewport(0, 0, width, height);
        webListenKeys();
        clearFrame();
        run.started = true;
    } else if (!startScenes(width, height, false)) {
        return 0;
    }
    heldLoads.sayAll();
    heldTrack.sayAll();
    return run.trackOpened ? 1 : 0;
}

// The run starts at startMs (?t=) and waits there for the sound, which plays in the context the
// page made inside the "Run Demo" gesture; where the browser holds it back, the page's clock
// takes the run on. A later start is a seek before the first frame: that frame is the one
// talumen-render --at draws at the clock's frame at or after it.
EMSCRIPTEN_KEEPALIVE void webPlay(int startMs) {
    if (!run.started || run.playing) return;
    webRunStart();
    // The table was begun behind the start screen where the scenes were loaded there; a run that
    // came first begins it here.
    RunStart start = watchedRun(pageTicks, startMs);
    // The run's clock, read every turn, paused or not, so that the sound follows it.
    start.readClock = readRunClock;
    demoRun.startRun(start);
    run.playing = true;
    webClearEscape();
    webTakeKeys(true);
    emscripten_set_main_loop(frame, 0, 0);
}

// A click or tap on the timeline bar: landed by the next turn.
EMSCRIPTEN_KEEPALIVE void webSeek(int ms) {
    if (run.playing) demoRun.post(RunEvent{RunCommand::seekTo, ms});
}

// Escape seen by the page, or full screen left: the run ends at once, by its own turn.
EMSCRIPTEN_KEEPALIVE void webStop() {
    if (!run.playing) return;
    demoRun.post(RunCommand::stop);
    frame();
}

// The track's rate, for a context made at it (so that nothing resamples it); 0 before it opened.
EMSCRIPTEN_KEEPALIVE int webTrackRate() { return music.rate(); }

EMSCRIPTEN_KEEPALIVE double webLevel() { return static_cast<double>(music.level()); }
EMSCRIPTEN_KEEPALIVE int webElapsedMs() { return elapsedMs; }
EMSCRIPTEN_KEEPALIVE int webFrames() { return run.frames; }
// The instant of the frame on screen, for the timeline bar.
EMSCRIPTEN_KEEPALIVE int webPosition() { return demoRun.shownMs; }
EMSCRIPTEN_KEEPALIVE double webSeekShownAt() { return run.seekShownAt; }
EMSCRIPTEN_KEEPALIVE int webSeekMs() { return run.seekMs; }
EMSCRIPTEN_KEEPALIVE double webLandingMs() { return run.landingMs; }
// How far the snapshot table has reached, in ms of the sequence.
EMSCRIPTEN_KEEPALIVE int webSnapshotsReach() { return frameMs(demoRun.snapshots.ahead.frame, pageFps); }

// The timeline's rows and the sequence's end, for the bar's segments.
EMSCRIPTEN_KEEPALIVE int webTimelineRows() { return timelineRows; }
EMSCRIPTEN_KEEPALIVE int webRowStart(int row) { return row >= 0 && row < timelineRows ? timeline[row].range.start : 0; }
EMSCRIPTEN_KEEPALIVE int webRowEnd(int row) { return row >= 0 && row < timelineRows ? timeline[row].range.end : 0; }
EMSCRIPTEN_KEEPALIVE int webSequenceEndMs() { return sequenceEndMs; }

// ?at=MS: what talumen-render --at MS draws, by a run that starts there on the virtual clock.
// The frames of the 60 fps clock before MS only move the scenes' state on, as talumen-render's
// do; the page calls webStillStep until it returns 1, so that it stays responsive on a late
// instant: the snapshot table is taken that far a slice at a time, then the run lands from it.
// 0 on success, else the reason, as talumen-render words it.
EMSCRIPTEN_KEEPALIVE const char* webStillBegin(int ms, int hasLevel, double level, int width, int height) {
    if (!startScenes(width, height, true))
        return "no WebGL 2 context";
    bool opened = false;
    if (hasLevel) {
        run.fixedLevel = level;
        music.levelSource = fixedLevelReading;
    } else {
        // The offline device plays nothing: what it "hears" is the track at elapsedMs.
        audioDevice = clockAudioDevice();
        if (!music.open()) return "the music did not open; --level X renders without data/talumen.ogg";
        opened = true;
    }
    run.stillMs = ms;
    run.stillFrame = firstFrameAtOrAfter(ms, pageFps);
    run.trackOpened = opened;
    demoRun.prepare(pageFps);
    return nullptr;
}

EMSCRIPTEN_KEEPALIVE int webStillStep(int frames) {
    SnapshotTable& table = demoRun.snapshots;
    if (table.ahead.frame < run.stillFrame && !table.complete()) {
        table.extend(std::min<int64_t>(frames, run.stillFrame - table.ahead.frame));
        return 0;
    }
    RunStart start;
    start.fps = pageFps;
    start.atMs = run.stillMs;
    start.playMusic = run.trackOpened;
    start.counter = virtualClock;
    run.virtualMs = static_cast<uint32_t>(frameMs(run.stillFrame, pageFps));
    demoRun.startRun(start);
    demoRun.turn();
    glFlush();
    webFinish();
    return 1;
}

// ?bench: every frame of the 60 fps clock from fromMs to toMs, each timed until the GL has
// drawn it; the page reads the times back per frame with webBenchTime.
EMSCRIPTEN_KEEPALIVE int webBenchBegin(int width, int height) {
    if (!startScenes(width, height, false)) return 0;
    audioDevice = clockAudioDevice();
    RunStart start;
    start.fps = pageFps;
    start.playMusic = music.open();
    start.counter = virtualClock;
    run.virtualMs = 0;
    demoRun.startRun(start);
    return 1;
}

// Draws frame k of the 60 fps clock and returns its cost in milliseconds.
EMSCRIPTEN_KEEPALIVE double webBenchFrame(int k) {
    const double t0 = emscripten_get_now();
    run.virtualMs = static_cast<uint32_t>(frameMs(k, pageFps));
    demoRun.turn();
    glFlush();
    webFinish();
    return emscripten_get_now() - t0;
}

// The scene row frame k counts for: the ending scene where two cover it, timelineRows where none does.
EMSCRIPTEN_KEEPALIVE int webBenchRow(int k) {
    const int32_t ms = frameMs(k, 60);
    for (int i = 0; i < timelineRows; ++i)
        if (inRange(ms, timeline[i].range)) return i;
    return timelineRows;
}

EMSCRIPTEN_KEEPALIVE const char* webSceneName(int row) {
    return row >= 0 && row < timelineRows ? timeline[row].name : "(none)";
}
EMSCRIPTEN_KEEPALIVE int webSequenceFrames() { return static_cast<int>(firstFrameAtOrAfter(sequenceEndMs, 60) + 1); }

}  // extern "C"

int main() {
    messageHandler = webMessageBox;
    return 0;
}
