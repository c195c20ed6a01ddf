// web_platform.cpp -- the browser under the demo: WebGL 2 context, Escape, WebAudio playback, page boxes
#include "platform/web/web_platform.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <GLES3/gl3.h>

#include <cstdint>

namespace {

bool escapePressed = false;

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    const bool escape = event->keyCode == 27;
    if (escape) escapePressed = true;
    return escape ? EM_TRUE : EM_FALSE;
}

// The page's hooks live on the module object (Module.page), which index.html fills in.
EM_JS(void, jsMessageBox, (const char* text, const char* caption), {
    const t = UTF8ToString(text);
    const c = UTF8ToString(caption);
    if (Module.page && Module.page.messageBox) Module.page.messageBox(t, c);
    else console.log(c + ': ' + t);
});

EM_JS(void, jsDemoEnded, (int reason), {
    if (Module.page && Module.page.demoEnded) Module.page.demoEnded(reason);
});

EM_JS(int, jsAudioPresent, (), {
    return (typeof AudioContext !== 'undefined' || typeof webkitAudioContext !== 'undefined') ? 1 : 0;
});

// The whole track goes into one AudioBuffer, one plane per channel, and plays from its start.
// A context that cannot take the track's rate plays it resampled.
EM_JS(int, jsAudioStart, (const float* frames, double frameCount, int channels, int rate), {
    const Ctx = typeof AudioContext !== 'undefined' ? AudioContext : webkitAudioContext;
    let ctx = null;
    try {
        ctx = new Ctx({sampleRate: rate});
    } catch (e) {
        try { ctx = new Ctx(); } catch (e2) { return 0; }
    }
    const n = frameCount | 0;
    let buffer = null;
    try {
        buffer = ctx.createBuffer(channels, Math.max(n, 1), rate);
    } catch (e) {
        ctx.close();
        return 0;
    }
    const base = frames >> 2;
    for (let c = 0; c < channels; ++c) {
        const plane = buffer.getChannelData(c);
        for (let i = 0, j = base + c; i < n; ++i, j += channels) plane[i] = HEAPF32[j];
    }
    const source = ctx.createBufferSource();
    source.buffer = buffer;
    source.connect(ctx.destination);
    source.start();
    if (ctx.state === 'suspended') ctx.resume();
    Module.talumenAudio = {ctx: ctx, source: source, startedAt: ctx.currentTime, rate: rate};
    return 1;
});

// After the end the context's clock keeps running on silence, so the position keeps moving,
// as a sound card's does.
EM_JS(double, jsAudioFrame, (), {
    const a = Module.talumenAudio;
    if (!a) return 0;
    const latency = a.ctx.outputLatency || a.ctx.baseLatency || 0;
    const seconds = a.ctx.currentTime - a.startedAt - latency;
    return seconds > 0 ? Math.floor(seconds * a.rate) : 0;
});

EM_JS(void, jsAudioStop, (), {
    const a = Module.talumenAudio;
    Module.talumenAudio = null;
    if (!a) return;
    try { a.source.stop(); } catch (e) {}
    a.source.disconnect();
    a.ctx.close();
});

struct WebAudioState {
    int rate = 0;
    int channels = 0;
};
WebAudioState audio;

bool webVersionMatches() { return true; }
bool webInit(int rate, int channels) {
    audio.rate = rate;
    audio.channels = channels;
    return jsAudioPresent() != 0;
}
bool webStart(const float* frames, int64_t frameCount) {
    if (!frames || frameCount <= 0 || audio.rate <= 0) return false;
    return jsAudioStart(frames, static_cast<double>(frameCount), audio.channels, audio.rate) != 0;
}
int64_t webAudible() { return static_cast<int64_t>(jsAudioFrame()); }
void webStop() {
    jsAudioStop();
    audio.rate = 0;
    audio.channels = 0;
}

}  // namespace

bool webCreateContext(int width, int height, bool keepPicture) {
    emscripten_set_canvas_element_size("#screen", width, height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    // The native window has no multisampling either: smooth edges come from the lines' own coverage.
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = keepPicture ? EM_TRUE : EM_FALSE;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#screen", &attributes);
    if (context <= 0) return false;
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyDown);
    return true;
}

// A one-pixel read waits for the whole frame, where glFinish may return at once.
void webFinish() {
    unsigned char pixel[4];
    ::glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

AudioDevice webAudioDevice() {
    AudioDevice device;
    device.versionMatches = webVersionMatches;
    device.init = webInit;
    device.start = webStart;
    device.audibleFrame = webAudible;
    device.stop = webStop;
    return device;
}

void webMessageBox(const char* text, const char* caption) { jsMessageBox(text, caption); }

bool webEscapeDown() { return escapePressed; }
void webClearEscape() { escapePressed = false; }

void webDemoEnded(int reason) { jsDemoEnded(reason); }
