// web_main.cpp -- the demo in a browser: start-up, the frame loop on requestAnimationFrame, pause and seek, stills and the bench
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/message.h"
#include "app/playback.h"
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
    double lastCallAt = 0.0;   // page time of the frame loop's last call; 0 before the first
    double fixedLevel = 0.0;
    int32_t stillMs = 0;
    int64_t stillFrame = 0;    // next frame the still's catch-up draws
    int64_t stillEnd = 0;
};
WebRun run;

double fixedLevelReading() { return run.fixedLevel; }

// The display mode as the setup dialog sets it: 1024 x 768 draws the 3D picture in a
// 576-pixel band, every other mode in its full height.
void setMode(int width, int height) {
    screenWidth = width;
    screenHeight = height;
    viewportHeight = width == 1024 && height == 768 ? 576 : height;
}

// What the player sets once in a new context: smooth lines, which nothing turns off, and one clear.
void startGl() {
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    clearFrame();
}

// The context at a mode, smooth lines, one clear, and the scenes loaded into it.
bool makeSceneContext(int width, int height, bool keepPicture) {
    setMode(width, height);
    if (!webCreateContext(width, height, keepPicture)) return false;
    startGl();
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

// The GL layer batches what immediate mode sends; a frame is complete only once it is flushed.
void drawWholeFrame(int32_t ms) {
    drawFrame(ms);
    glFlush();
}

void endRun(int reason) {
    if (run.playing) emscripten_cancel_main_loop();
    run.playing = false;
    webTakeKeys(false);
    music.stop();
    webDemoEnded(reason);
}

// The page's clock in whole milliseconds: the run's counter where the sound cannot play at all.
uint32_t pageTicks() { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

// The snapshot table is built after the frames, a little at a time: a quarter of the time between
// two frames (at least 4 ms, at most 30), or half of it where no frame was drawn (paused, or the
// sound awaited), so that it is whole within seconds at any frame rate; then a seek lands from the
// nearest second. A seek beyond what it has reached runs it on that far first. The first frame and
// a seek's frame are shown without waiting for it.
constexpr double snapshotShare = 0.25;
constexpr double snapshotIdleShare = 0.5;
constexpr double snapshotLeastMs = 4.0;
constexpr double snapshotMostMs = 30.0;
constexpr int64_t snapshotStepFrames = 30;
void extendSnapshots(double sinceLastFrameMs, bool drew) {
    SnapshotTable& table = playback.snapshots;
    const double share = drew ? snapshotShare : snapshotIdleShare;
    const double budget = std::min(snapshotMostMs, std::max(snapshotLeastMs, share * sinceLastFrameMs));
    const double until = emscripten_get_now() + budget;
    while (!table.complete() && emscripten_get_now() < until) table.extend(snapshotStepFrames);
}

// A context made again after it was lost holds nothing: the layer's objects and the pictures are
// made anew under the names they had (so the snapshots' bound pictures are still theirs), and the
// run goes on from its instant as a seek goes on. False where that instant is past the end, which
// a context lost across it reaches: the run then ends as a seek past the end ends it.
bool renewContext() {
    gl11ContextRenewed();
    startGl();
    reloadTextures();
    return playback.seek(playback.now());
}

void frame() {
    if (!run.playing) return;
    const double calledAt = emscripten_get_now();
    const double sinceLastMs = run.lastCallAt > 0.0 ? calledAt - run.lastCallAt : 0.0;
    run.lastCallAt = calledAt;
    if (webEscapeDown()) {
        endRun(webEndEscape);
        return;
    }
    for (DemoCommand command; (command = webTakeCommand()) != DemoCommand::none;) {
        // A seek past the end ends the run as its end does.
        const double askedAt = emscripten_get_now();
        if (!playback.apply(command)) {
            endRun(webEndSequence);
            return;
        }
        if (playback.exactFrameDue) run.landingMs = emscripten_get_now() - askedAt;
    }
    // The clock is read every frame, paused or not, so that the sound follows it.
    webRunInstant();
    if (webContextLost()) return;
    if (webTakeContextRestored() && !renewContext()) {
        endRun(webEndSequence);
        return;
    }
    // While the sound is awaited where it was started, the instant stands still: the frame on
    // screen stays rather than the scenes stepping on at one instant.
    const bool seekFrame = playback.exactFrameDue;
    const bool firstFrame = !playback.anyShown;
    int32_t ms = 0;
    const bool drawing = playback.frameDue(ms) && (seekFrame || firstFrame || ms != playback.shownMs);
    if (drawing) {
        playback.draw(ms);
        glFlush();
        ++run.frames;
        if (seekFrame) {
            // Timed to the frame drawn, not merely sent.
            webFinish();
            run.seekShownAt = emscripten_get_now();
            run.seekMs = ms;
        }
        if (elapsedMs >= sequenceEndMs) {
            endRun(webEndSequence);
            return;
        }
        if (seekFrame || firstFrame) return;
    }
    extendSnapshots(sinceLastMs, drawing);
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
    SnapshotTable& table = playback.snapshots;
    if (table.taken.empty()) table.begin(Playback::fps);
    const double until = emscripten_get_now() + budgetMs;
    while (!table.complete() && emscripten_get_now() < until) table.extend(snapshotStepFrames);
    return table.complete() ? 1 : 0;
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
    // Begun behind the start screen where the scenes were loaded there; a run that came first begins it here.
    if (playback.snapshots.taken.empty()) playback.snapshots.begin(Playback::fps);
    const bool sound = music.play();
    webRunStart();
    playback.start(sound, pageTicks);
    if (startMs > 0) playback.seek(std::min(startMs, sequenceEndMs));
    run.playing = true;
    webClearEscape();
    webTakeKeys(true);
    emscripten_set_main_loop(frame, 0, 0);
}

// A click or tap on the timeline bar.
EMSCRIPTEN_KEEPALIVE void webSeek(int ms) {
    if (!run.playing) return;
    const double askedAt = emscripten_get_now();
    if (!playback.seek(ms)) endRun(webEndSequence);
    run.landingMs = emscripten_get_now() - askedAt;
}

// Escape seen by the page, or full screen left.
EMSCRIPTEN_KEEPALIVE void webStop() {
    if (run.playing) endRun(webEndEscape);
}

// The track's rate, for a context made at it (so that nothing resamples it); 0 before it opened.
EMSCRIPTEN_KEEPALIVE int webTrackRate() { return music.rate(); }

EMSCRIPTEN_KEEPALIVE double webLevel() { return static_cast<double>(music.level()); }
EMSCRIPTEN_KEEPALIVE int webElapsedMs() { return elapsedMs; }
EMSCRIPTEN_KEEPALIVE int webFrames() { return run.frames; }
// The instant of the frame on screen, for the timeline bar.
EMSCRIPTEN_KEEPALIVE int webPosition() { return playback.shownMs; }
EMSCRIPTEN_KEEPALIVE double webSeekShownAt() { return run.seekShownAt; }
EMSCRIPTEN_KEEPALIVE int webSeekMs() { return run.seekMs; }
EMSCRIPTEN_KEEPALIVE double webLandingMs() { return run.landingMs; }
// How far the snapshot table has reached, in ms of the sequence.
EMSCRIPTEN_KEEPALIVE int webSnapshotsReach() { return frameMs(playback.snapshots.ahead.frame, Playback::fps); }

// The timeline's rows and the sequence's end, for the bar's segments.
EMSCRIPTEN_KEEPALIVE int webTimelineRows() { return timelineRows; }
EMSCRIPTEN_KEEPALIVE int webRowStart(int row) { return row >= 0 && row < timelineRows ? timeline[row].range.start : 0; }
EMSCRIPTEN_KEEPALIVE int webRowEnd(int row) { return row >= 0 && row < timelineRows ? timeline[row].range.end : 0; }
EMSCRIPTEN_KEEPALIVE int webSequenceEndMs() { return sequenceEndMs; }

// ?at=MS: what talumen-render --at MS draws. The frames of the 60 fps clock before MS only move
// the scenes' state on, so they run with skipDrawing, as talumen-render's do; the page calls
// webStillStep until it returns 1, so that it stays responsive on a late instant.
// 0 on success, else the reason, as talumen-render words it.
EMSCRIPTEN_KEEPALIVE const char* webStillBegin(int ms, int hasLevel, double level, int width, int height) {
    if (!startScenes(width, height, true))
        return "no WebGL 2 context";
    if (hasLevel) {
        run.fixedLevel = level;
        music.levelSource = fixedLevelReading;
    } else {
        // The offline device plays nothing: what it "hears" is the track at elapsedMs.
        audioDevice = clockAudioDevice();
        if (!music.open()) return "the music did not open; --level X renders without data/talumen.ogg";
        music.play();
    }
    run.stillMs = ms;
    run.stillFrame = 0;
    run.stillEnd = firstFrameAtOrAfter(ms, 60);
    return nullptr;
}

EMSCRIPTEN_KEEPALIVE int webStillStep(int frames) {
    if (run.stillFrame < run.stillEnd) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        skipDrawing = true;
        // Frames that draw nothing have nothing to flush: a flush is a call into the browser's GL.
        for (int i = 0; i < frames && run.stillFrame < run.stillEnd; ++i) drawFrame(frameMs(run.stillFrame++, 60));
        skipDrawing = false;
        glDisable(GL_SCISSOR_TEST);
        if (run.stillFrame < run.stillEnd) return 0;
    }
    drawWholeFrame(run.stillMs);
    webFinish();
    return 1;
}

// ?bench: every frame of the 60 fps clock from fromMs to toMs, each timed until the GL has
// drawn it; the page reads the times back per frame with webBenchTime.
EMSCRIPTEN_KEEPALIVE int webBenchBegin(int width, int height) {
    if (!startScenes(width, height, false)) return 0;
    audioDevice = clockAudioDevice();
    if (music.open()) music.play();
    return 1;
}

// Draws frame k of the 60 fps clock and returns its cost in milliseconds.
EMSCRIPTEN_KEEPALIVE double webBenchFrame(int k) {
    const int32_t ms = frameMs(k, 60);
    const double t0 = emscripten_get_now();
    drawWholeFrame(ms);
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
