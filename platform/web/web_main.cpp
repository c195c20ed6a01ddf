// web_main.cpp -- the demo in a browser: start-up, the frame loop on requestAnimationFrame, stills and the bench
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/message.h"
#include "app/timeline.h"
#include "audio/music.h"
#include "platform/web/web_platform.h"
#include "render/gl.h"

namespace {

// Messages said while the track decodes behind the start screen are held back and said at
// the moment the native player would say them: after the scenes have loaded.
struct HeldMessages {
    std::vector<std::string> texts;
    std::vector<std::string> captions;
};
HeldMessages held;
void holdMessage(const char* text, const char* caption) {
    held.texts.emplace_back(text ? text : "");
    held.captions.emplace_back(caption ? caption : "");
}

struct WebRun {
    bool trackOpened = false;  // music.open() succeeded behind the start screen
    bool prepared = false;
    bool started = false;      // the scenes are loaded and the context made
    bool playing = false;      // the frame loop runs
    int frames = 0;            // frames the run has drawn
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

// The player's start-up after its dialog: the context, smooth lines, one clear, the scenes.
bool startScenes(int width, int height, bool keepPicture) {
    setMode(width, height);
    if (!webCreateContext(width, height, keepPicture)) return false;
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    clearFrame();
    loadScenes(0);  // the page runs no threads: every load runs whole when it is called
    run.started = true;
    return true;
}

int32_t frameMsAt(int64_t frame, int fps) { return static_cast<int32_t>(frame * 1000 / fps); }
// The first frame of the fps clock at or after ms (ms >= 0).
int64_t firstFrameAt(int32_t ms, int fps) { return (static_cast<int64_t>(ms) * fps + 999) / 1000; }

// The GL layer batches what immediate mode sends; a frame is complete only once it is flushed.
void drawWholeFrame(int32_t ms) {
    drawFrame(ms);
    glFlush();
}

void endRun(int reason) {
    if (run.playing) emscripten_cancel_main_loop();
    run.playing = false;
    music.stop();
    webDemoEnded(reason);
}

void frame() {
    if (!run.playing) return;
    if (webEscapeDown()) {
        endRun(webEndEscape);
        return;
    }
    const double ms = webRunInstant();
    ++run.frames;
    drawWholeFrame(static_cast<int32_t>(std::min(ms, 2.0e9)));
    if (elapsedMs >= sequenceEndMs) endRun(webEndSequence);
}

}  // namespace

extern "C" {

// Behind the start screen: decodes the track. Its messages wait for webStart.
EMSCRIPTEN_KEEPALIVE int webPrepare() {
    if (run.prepared) return run.trackOpened ? 1 : 0;
    run.prepared = true;
    audioDevice = webAudioDevice();
    messageHandler = holdMessage;
    run.trackOpened = music.open();
    if (run.trackOpened) webPrepareSound();
    messageHandler = webMessageBox;
    return run.trackOpened ? 1 : 0;
}

// "Run Demo": the context at the chosen mode, the scenes, then the held messages. 1 when the
// demo goes on to webPlay (after the page's boxes are closed), 0 when it ends here, as the
// native player ends when its window or its music does not open.
EMSCRIPTEN_KEEPALIVE int webStart(int width, int height) {
    webPrepare();
    if (run.started) return 0;
    if (!startScenes(width, height, false)) return 0;
    for (size_t i = 0; i < held.texts.size(); ++i) messageBox(held.texts[i].c_str(), held.captions[i].c_str());
    held.texts.clear();
    held.captions.clear();
    return run.trackOpened ? 1 : 0;
}

// The run starts at instant 0 and waits there for the sound, which plays in the context the
// page made inside the "Run Demo" gesture; where the browser holds it back, the page's clock
// takes the run on.
EMSCRIPTEN_KEEPALIVE void webPlay() {
    if (!run.started || run.playing) return;
    music.play();
    webRunStart();
    run.playing = true;
    webClearEscape();
    emscripten_set_main_loop(frame, 0, 0);
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
    run.stillEnd = firstFrameAt(ms, 60);
    return nullptr;
}

EMSCRIPTEN_KEEPALIVE int webStillStep(int frames) {
    if (run.stillFrame < run.stillEnd) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        skipDrawing = true;
        for (int i = 0; i < frames && run.stillFrame < run.stillEnd; ++i) drawWholeFrame(frameMsAt(run.stillFrame++, 60));
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
    const int32_t ms = frameMsAt(k, 60);
    const double t0 = emscripten_get_now();
    drawWholeFrame(ms);
    webFinish();
    return emscripten_get_now() - t0;
}

// The scene row frame k counts for: the ending scene where two cover it, timelineRows where none does.
EMSCRIPTEN_KEEPALIVE int webBenchRow(int k) {
    const int32_t ms = frameMsAt(k, 60);
    for (int i = 0; i < timelineRows; ++i)
        if (inRange(ms, timeline[i].range)) return i;
    return timelineRows;
}

EMSCRIPTEN_KEEPALIVE const char* webSceneName(int row) {
    return row >= 0 && row < timelineRows ? timeline[row].name : "(none)";
}
EMSCRIPTEN_KEEPALIVE int webSequenceFrames() { return static_cast<int>(firstFrameAt(sequenceEndMs, 60) + 1); }

}  // extern "C"

int main() {
    messageHandler = webMessageBox;
    return 0;
}
