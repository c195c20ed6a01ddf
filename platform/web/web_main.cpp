// web_main.cpp -- the demo in a browser: start-up, the frame loop on requestAnimationFrame, pause and seek, stills and the bench
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/message.h"
#include "app/keys.h"
#include "app/offscreen_run.h"
#include "app/run.h"
#include "app/timeline.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "audio/track.h"
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

// The timeline bar's preview: the frame of the newest instant the pointer is over, drawn
// offscreen by the next turn from the run's snapshots. One at a time: an instant asked for while
// one is drawn waits for the next turn, and a newer one replaces it.
struct Preview {
    static constexpr double budgetMs = 16.0;
    int32_t wantedMs = -1;
    double costMs = 0.0;  // what the last one took to draw
    int width = 0;
    int height = 0;
    OffscreenRun frames;
};
Preview preview;

// What the page shows of the run beside its picture (the help, the media controls' state), told
// to it when it changes.
struct PageView {
    bool told = false;
    bool paused = false;
    bool helpShown = false;
    bool fullScreen = false;
    int row = -1;
};
PageView pageView;

// The scene playing at ms: the latest row started by then.
int sceneAt(int32_t ms) {
    int row = 0;
    for (int i = 0; i < timelineRows; ++i)
        if (timeline[i].range.start <= ms) row = i;
    return row;
}

// The preview of askedMs, drawn: the frame at ms, RGBA rows top first.
EM_JS(void, jsPreviewDrawn, (const uint8_t* rgba, int width, int height, int ms, const char* scene, int askedMs), {
    if (!Module.page || !Module.page.previewDrawn) return;
    const pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4).slice();
    Module.page.previewDrawn(new ImageData(pixels, width, height), ms, UTF8ToString(scene), askedMs);
});

EM_JS(void, jsRunChanged, (int paused, int ms, int helpShown, int fullScreen, const char* scene), {
    if (Module.page && Module.page.runChanged)
        Module.page.runChanged({paused: paused !== 0, ms: ms, helpShown: helpShown !== 0, fullScreen: fullScreen !== 0,
                                scene: UTF8ToString(scene)});
});

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
    // The preview first, so that the newest pointer position is drawn before the run's own frame.
    bool previewDrawn = false;
    if (preview.wantedMs >= 0 && !demoRun.contextLost) {
        const int32_t ms = preview.wantedMs;
        preview.wantedMs = -1;
        preview.frames.setUp(pageFps, preview.width, preview.height);
        const double started = emscripten_get_now();
        if (preview.frames.drawAt(ms, demoRun.snapshots, webOffscreenTarget())) {
            // Read back, so drawn: the time includes whatever the GL still had to draw before it.
            preview.costMs = emscripten_get_now() - started;
            previewDrawn = true;
            const int32_t drawnMs = frameMs(preview.frames.frame, pageFps);
            jsPreviewDrawn(preview.frames.picture.data(), preview.width, preview.height, drawnMs,
                           timeline[sceneAt(drawnMs)].name, ms);
        }
    }
    // Where the machine cannot draw a preview and the run's frame in a frame's time, a turn that
    // drew a preview leaves the run's frame out (its state moves on as if it were drawn), so that
    // the newest position under a moving pointer never waits behind a frame of the run: the
    // picture goes on once the pointer stops. A landing, or any event, is drawn as ever.
    const bool leaveOut = previewDrawn && preview.costMs > Preview::budgetMs && demoRun.events.count == 0 &&
                          !demoRun.exactFrameDue;
    const RunTurn turn = demoRun.turn(!leaveOut);
    // The page's full screen is the browser's to give: the run's word for it follows it.
    demoRun.fullScreen = webInFullScreen();
    const int row = sceneAt(demoRun.shownMs);
    if (!pageView.told || turn.landed || demoRun.paused != pageView.paused || demoRun.helpShown != pageView.helpShown ||
        demoRun.fullScreen != pageView.fullScreen || row != pageView.row) {
        pageView = PageView{true, demoRun.paused, demoRun.helpShown, demoRun.fullScreen, row};
        jsRunChanged(demoRun.paused, demoRun.shownMs, demoRun.helpShown, demoRun.fullScreen, timeline[row].name);
    }
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
    // The track's decoding measures the loudness of every frame of the run's clock on its way
    // (webPrepareSound decodes it whole), which the seeks' catch-ups and the timeline's loudness read.
    music.startReading(pageFps, sequenceEndMs, false);
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
    if (demoRun.snapshots.taken.empty()) demoRun.startSnapshots(pageFps);
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
    preview = Preview();
    pageView = PageView();
    run.playing = true;
    webClearEscape();
    webTakeKeys(true);
    emscripten_set_main_loop(frame, 0, 0);
}

// A click or tap on the timeline bar: landed by the next turn.
EMSCRIPTEN_KEEPALIVE void webSeek(int ms) {
    if (run.playing) demoRun.post(RunEvent{RunCommand::seekTo, ms});
}

// The pointer over the timeline bar at ms: the preview of its frame, width x height, is drawn by
// the next turn and handed to Module.page.previewDrawn. A negative ms drops one not yet drawn.
EMSCRIPTEN_KEEPALIVE void webPreview(int ms, int width, int height) {
    if (!run.playing) return;
    if (ms < 0 || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        preview.wantedMs = -1;
        return;
    }
    preview.wantedMs = std::min(ms, sequenceEndMs);
    preview.width = width;
    preview.height = height;
}

// The system's media controls (the page's Media Session), as the keys ask.
EMSCRIPTEN_KEEPALIVE void webPauseOrResume() {
    if (run.playing) demoRun.post(RunCommand::pauseOrResume);
}
EMSCRIPTEN_KEEPALIVE void webSkip(int forward) {
    if (run.playing) demoRun.post(forward ? RunCommand::forward : RunCommand::back);
}
EMSCRIPTEN_KEEPALIVE void webScene(int next) {
    if (run.playing) demoRun.post(next ? RunCommand::nextScene : RunCommand::previousScene);
}
EMSCRIPTEN_KEEPALIVE int webPaused() { return demoRun.paused ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int webMuted() { return music.muted ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int webFullScreen() { return demoRun.fullScreen ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int webHelpShown() { return demoRun.helpShown ? 1 : 0; }

// The keys' table, for the help over the picture.
EMSCRIPTEN_KEEPALIVE int webKeyHelpLines() { return keyHelpLines; }
EMSCRIPTEN_KEEPALIVE const char* webKeyHelpKeys(int line) { return line >= 0 && line < keyHelpLines ? keyHelp[line].keys : ""; }
EMSCRIPTEN_KEEPALIVE const char* webKeyHelpDoes(int line) { return line >= 0 && line < keyHelpLines ? keyHelp[line].does : ""; }

// The track's loudness along the timeline bar in count values (webLoudnessValue), each the
// loudest frame of the 60 fps clock in its share of the sequence, as the track's decoding measured
// them: 1 once they are there; 0 where they are not all measured yet or the track did not open.
static std::vector<float> loudness;
EMSCRIPTEN_KEEPALIVE int webLoudness(int count) {
    loudness.clear();
    const int64_t frames = firstFrameAtOrAfter(sequenceEndMs, pageFps) + 1;
    if (!run.trackOpened || count <= 0 || count > 16384 || music.readingFps != pageFps ||
        trackClockFramesReady() < frames)
        return 0;
    loudness.assign(static_cast<size_t>(count), 0.0f);
    for (int64_t k = 0; k < frames; ++k) {
        long double reading = 0.0L;
        if (!trackClockReading(clockAudibleFrame(frameMs(k, pageFps), music.rate()), reading)) continue;
        const size_t at = static_cast<size_t>(std::min<int64_t>(count - 1, k * count / frames));
        loudness[at] = std::max(loudness[at], static_cast<float>(reading));
    }
    return 1;
}
EMSCRIPTEN_KEEPALIVE double webLoudnessValue(int at) {
    return at >= 0 && static_cast<size_t>(at) < loudness.size() ? loudness[static_cast<size_t>(at)] : 0.0;
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
    demoRun.startSnapshots(pageFps);
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

// Saving video and stills from the page (the start screen, or a paused run): frames of the
// export's own clock and size, drawn offscreen beside whatever the page holds (the start-up
// state, or the paused run, both left as they were), as talumen-render --fps N --size WxH draws
// them: the frames of another clock than the page's are those of a run from 0 on that clock,
// caught up from the start-up state, and frames in order land from the one before. The sound is
// the track's own samples as the core decodes and converts them.
struct Saving {
    OffscreenRun frames;
    std::vector<float> sound;
};
Saving saving;

// Ready to draw frames of the fps clock at width x height: 1, or 0 where the context is not
// there (not made, or lost) or cannot draw that large, or the track did not open. On the start
// screen the scenes are loaded first where the page has not loaded them yet.
EMSCRIPTEN_KEEPALIVE int webSaveBegin(int fps, int width, int height) {
    if (!run.started) webPrepareScenes();
    if ((!run.contextReady && !run.started) || demoRun.contextLost || !run.trackOpened) return 0;
    if (fps <= 0 || fps > 240 || width <= 0 || height <= 0 || width > webLargestOffscreen() || height > webLargestOffscreen()) return 0;
    // The start-up state, before any frame: what a clock other than the table's lands from.
    if (demoRun.snapshots.taken.empty()) demoRun.startSnapshots(pageFps);
    saving.frames = OffscreenRun();
    saving.frames.setUp(fps, width, height);
    return 1;
}

// Frame k of the clock, width x height RGBA rows top first, opaque; null where it cannot be drawn.
EMSCRIPTEN_KEEPALIVE const uint8_t* webSaveFrame(double k) {
    if (k < 0 || demoRun.contextLost) return nullptr;
    if (!saving.frames.draw(static_cast<int64_t>(k), demoRun.snapshots, webOffscreenTarget())) return nullptr;
    return saving.frames.picture.data();
}

// The track's frames first..first+count-1, interleaved, silence outside it (webTrackChannels a frame).
EMSCRIPTEN_KEEPALIVE const float* webSaveSound(double first, int count) {
    const int channels = music.channels();
    if (count <= 0 || channels <= 0 || !run.trackOpened) return nullptr;
    saving.sound.resize(static_cast<size_t>(count) * static_cast<size_t>(channels));
    copyTrackFrames(static_cast<int64_t>(first), count, saving.sound.data());
    return saving.sound.data();
}

// Done: the frames' buffers go.
EMSCRIPTEN_KEEPALIVE void webSaveEnd() { saving = Saving(); }

EMSCRIPTEN_KEEPALIVE int webTrackChannels() { return music.channels(); }

// The page's save dialog over a paused run: the viewer's keys are the dialog's while it is open.
EMSCRIPTEN_KEEPALIVE void webRunTakesKeys(int on) {
    if (run.playing) webTakeKeys(on != 0);
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
// The scene playing at ms (the latest to have started), for the preview's and the controls' names.
EMSCRIPTEN_KEEPALIVE int webSceneAt(int ms) { return sceneAt(ms); }
EMSCRIPTEN_KEEPALIVE int webSequenceFrames() { return static_cast<int>(firstFrameAtOrAfter(sequenceEndMs, 60) + 1); }

}  // extern "C"

int main() {
    messageHandler = webMessageBox;
    return 0;
}
