// web_platform.cpp -- the browser under the demo: WebGL 2 context, Escape, WebAudio and the run's clock, page boxes
#include "platform/web/web_platform.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/keys.h"
#include "platform/web/run_clock.h"

namespace {

bool escapePressed = false;
bool takingKeys = false;  // a run plays: its keys are the demo's, not the page's

RunEvents events;

// The keys of the table (keys.h). Keys held with Ctrl, Alt or Meta are the browser's (Alt+Left
// goes back a page). Letters, digits, the question mark, the comma and the full stop are read
// from the character the key types, so that they are where the viewer's keyboard layout puts them.
Key keyOf(const EmscriptenKeyboardEvent& key) {
    if (key.ctrlKey || key.altKey || key.metaKey) return Key::none;
    switch (key.keyCode) {
        case 32: return Key::space;
        case 33: return Key::pageUp;
        case 34: return Key::pageDown;
        case 35: return Key::end;
        case 36: return Key::home;
        case 37: return Key::left;
        case 39: return Key::right;
        default: break;
    }
    if (key.key[0] == '\0' || key.key[1] != '\0') return Key::none;
    const char typed = key.key[0];
    if (typed >= '0' && typed <= '9') return static_cast<Key>(static_cast<int>(Key::digit0) + (typed - '0'));
    switch (typed) {
        case 'k': case 'K': return Key::k;
        case 'j': case 'J': return Key::j;
        case 'l': case 'L': return Key::l;
        case 'm': case 'M': return Key::m;
        case 'f': case 'F': return Key::f;
        case 'h': case 'H': return Key::h;
        case '?': return Key::question;
        case ',': return Key::comma;
        case '.': return Key::period;
        default: return Key::none;
    }
}

// A browser lets a page into full screen only inside the handler of the viewer's own key or
// click, so f asks for it here, at once, rather than on the run's next turn. 0 where the engine
// has no Fullscreen API (an iPhone's): f then does nothing. Leaving full screen ends a run,
// except where f left it (Module.page.leavingFullScreen says so to the page).
EM_JS(int, jsToggleFullScreen, (), {
    const d = document, root = d.documentElement;
    if (d.fullscreenElement || d.webkitFullscreenElement) {
        const exit = d.exitFullscreen || d.webkitExitFullscreen;
        if (!exit) return 0;
        if (Module.page && Module.page.leavingFullScreen) Module.page.leavingFullScreen();
        Promise.resolve(exit.call(d)).catch(() => {});
        return 1;
    }
    const request = root.requestFullscreen || root.webkitRequestFullscreen;
    if (!request) return 0;
    Promise.resolve(request.call(root)).catch(() => {});
    return 1;
});

EM_JS(int, jsInFullScreen, (), {
    return document.fullscreenElement || document.webkitFullscreenElement ? 1 : 0;
});

// A key the demo takes is kept from the page (Space would scroll it).
EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    if (event->keyCode == 27) {
        escapePressed = true;
        return EM_TRUE;
    }
    const RunEvent asked = takingKeys ? eventForKey(keyOf(*event), event->repeat) : RunEvent{};
    if (asked.command == RunCommand::none) return EM_FALSE;
    if (asked.command == RunCommand::fullScreen && !jsToggleFullScreen()) return EM_FALSE;
    events.push(asked);
    return EM_TRUE;
}

// The context is lost with every GL object in it; the browser makes it again only for a page
// that says it wants it back (preventDefault, which EM_TRUE asks for).
struct ContextWatch {
    bool lost = false;
    bool restored = false;
};
ContextWatch contextWatch;
EM_BOOL onContextLost(int, const void*, void*) {
    contextWatch.lost = true;
    contextWatch.restored = false;
    return EM_TRUE;
}
EM_BOOL onContextRestored(int, const void*, void*) {
    contextWatch.lost = false;
    contextWatch.restored = true;
    return EM_TRUE;
}

// The frame buffer object offscreen frames are drawn into (the timeline's preview), in the run's
// context; made at the first size asked for and made anew at another. A context lost takes it
// with it: its names are then forgotten, not given back.
struct Offscreen {
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
};
Offscreen offscreen;

bool offscreenBind(int width, int height) {
    if (offscreen.framebuffer == 0) {
        glGenFramebuffers(1, &offscreen.framebuffer);
        glGenRenderbuffers(1, &offscreen.colour);
        glGenRenderbuffers(1, &offscreen.depth);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, offscreen.framebuffer);
    if (width != offscreen.width || height != offscreen.height) {
        // The window's own buffer has RGBA and a depth buffer, and no stencil.
        glBindRenderbuffer(GL_RENDERBUFFER, offscreen.colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, offscreen.depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, offscreen.colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, offscreen.depth);
        offscreen.width = width;
        offscreen.height = height;
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    offscreen.width = offscreen.height = 0;
    return false;
}

void offscreenRead(int width, int height, uint8_t* rgba) {
    ::glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void offscreenUnbind() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

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

// The whole track as one AudioBuffer, one plane per channel. An AudioBuffer needs no context,
// so it is made behind the start screen and "Run Demo" only has to start it. It is filled a
// slice at a time (jsSoundFill), so the page's own memory never holds the whole track.
EM_JS(int, jsSoundPrepare, (double frameCount, int channels, int rate), {
    if (typeof AudioBuffer === 'undefined') return 0;
    let buffer = null;
    try {
        buffer = new AudioBuffer({length: Math.max(frameCount | 0, 1), numberOfChannels: channels, sampleRate: rate});
    } catch (e) {
        return 0;
    }
    // Firefox answers outputLatency by asking its sound server, and with PulseAudio that can leave
    // the server and PulseAudio waiting on each other for good, the page with them: where the
    // engine is Gecko the latency is its baseLatency alone.
    // (Gecko names itself "Gecko/DATE"; the other engines say "like Gecko".)
    const gecko = navigator.userAgent.includes(' Gecko/');
    Module.talumenSound = {buffer: buffer, ctx: null, source: null, gain: null, muted: false, startedAt: 0, fromMs: 0,
                           latency: 0, readsOutputLatency: !gecko};
    return 1;
});

// count interleaved frames into the buffer from its frame first on.
EM_JS(void, jsSoundFill, (const float* frames, double first, int count, int channels), {
    const s = Module.talumenSound;
    if (!s) return;
    const base = frames >> 2;
    const at = first | 0;
    for (let c = 0; c < channels; ++c) {
        const plane = s.buffer.getChannelData(c);
        for (let i = 0, j = base + c; i < count; ++i, j += channels) plane[at + i] = HEAPF32[j];
    }
});

// The run's context is the one the page made or resumed inside the "Run Demo" gesture, where
// every engine lets a context start; without one a context is made here, which may stay
// suspended until the viewer's next gesture.
EM_JS(int, jsSoundStart, (), {
    const s = Module.talumenSound;
    if (!s) return 0;
    let ctx = Module.page && Module.page.audioContext;
    if (!ctx || ctx.state === 'closed') {
        const Ctx = typeof AudioContext !== 'undefined' ? AudioContext
                  : typeof webkitAudioContext !== 'undefined' ? webkitAudioContext : null;
        if (!Ctx) return 0;
        try { ctx = new Ctx(); } catch (e) { return 0; }
    }
    s.ctx = ctx;
    // Every source plays through one gain, which mutes the sound without stopping it.
    try {
        s.gain = ctx.createGain();
        s.gain.gain.value = s.muted ? 0 : 1;
        s.gain.connect(ctx.destination);
    } catch (e) {
        s.gain = null;
    }
    return 1;
});

// Sound off or on, faded over 5 ms as the player fades a jump, so that it does not click; the
// source plays on, and with it the sound's clock.
EM_JS(void, jsSoundMute, (int muted), {
    const s = Module.talumenSound;
    if (!s) return;
    s.muted = muted !== 0;
    if (!s.gain) return;
    const gain = s.gain.gain, now = s.ctx.currentTime;
    gain.cancelScheduledValues(now);
    gain.setValueAtTime(gain.value, now);
    gain.linearRampToValueAtTime(s.muted ? 0 : 1, now + 0.005);
});

// 1 while the context runs; ms is the run instant audible now (kept as lastRead for the tests).
EM_JS(int, jsSoundRead, (double* ms), {
    const s = Module.talumenSound;
    if (!s || !s.ctx) return 0;
    s.lastRead = s.fromMs + (s.ctx.currentTime - s.startedAt - s.latency) * 1000;
    HEAPF64[ms >> 3] = s.lastRead;
    return s.ctx.state === 'running' ? 1 : 0;
});

// A source node plays once: every start at an instant is a new one.
EM_JS(void, jsSoundSilence, (), {
    const s = Module.talumenSound;
    if (!s || !s.source) return;
    try { s.source.stop(); } catch (e) {}
    s.source.disconnect();
    s.source = null;
});

// Past the track's end the context's clock runs on over silence, as a sound card's does.
EM_JS(void, jsSoundPlayAt, (double ms), {
    const s = Module.talumenSound;
    if (!s || !s.ctx) return;
    if (s.source) {
        try { s.source.stop(); } catch (e) {}
        s.source.disconnect();
        s.source = null;
    }
    s.fromMs = ms;
    s.startedAt = s.ctx.currentTime;
    s.latency = (s.readsOutputLatency ? s.ctx.outputLatency : 0) || s.ctx.baseLatency || 0;
    const offset = ms / 1000;
    if (offset < 0 || offset >= s.buffer.duration) return;
    try {
        const source = s.ctx.createBufferSource();
        source.buffer = s.buffer;
        source.connect(s.gain || s.ctx.destination);
        source.start(0, offset);
        s.source = source;
    } catch (e) {}
});

EM_JS(void, jsSoundStop, (), {
    const s = Module.talumenSound;
    Module.talumenSound = null;
    if (!s) return;
    if (s.source) {
        try { s.source.stop(); } catch (e) {}
        s.source.disconnect();
    }
    if (s.gain) s.gain.disconnect();
    if (s.ctx && s.ctx.state !== 'closed') s.ctx.close().catch(() => {});
});

// The page's note that the browser holds the sound back; only where there is a sound to hold.
EM_JS(void, jsSoundHeld, (int held), {
    const s = Module.talumenSound;
    if (Module.page && Module.page.soundHeld) Module.page.soundHeld(held !== 0 && !!(s && s.ctx));
});

struct WebSound {
    int rate = 0;
    int channels = 0;
    bool prepared = false;  // the track is in its AudioBuffer
    bool noteShown = false;
    RunClock clock;
};
WebSound sound;

bool soundVersionMatches() { return true; }
bool soundInit(int rate, int channels) {
    sound.rate = rate;
    sound.channels = channels;
    return true;
}
bool soundStart() {
    webPrepareSound();
    return sound.prepared && jsSoundStart() != 0;
}
// What the scenes hear is the run's instant on whichever clock is in charge, so the loudness,
// and with it the picture, is the same with the sound playing or held.
int64_t soundAudible() {
    return static_cast<int64_t>(std::floor(sound.clock.instantMs * sound.rate / 1000.0));
}
void soundStop() {
    jsSoundStop();
    sound = WebSound();
}
void soundSetMuted(bool muted) { jsSoundMute(muted ? 1 : 0); }
// The run's clock goes where the demo moves the track, held or playing; the sound follows it
// on the next reading.
void soundMoveTo(int32_t ms, bool playing) {
    RunClock& clock = sound.clock;
    const double pageMs = emscripten_get_now();
    if (playing) clock.resume(pageMs);
    clock.jumpTo(ms, pageMs);
    if (!playing) clock.pause(pageMs);
}

}  // namespace

void webPrepareSound() {
    if (sound.prepared || sound.rate <= 0 || sound.channels <= 0) return;
    // The file's own length, where it gives one, saves decoding the track twice: once to learn
    // its length and once to fill the buffer. Should the track decode shorter, the buffer ends
    // in silence; should it decode longer, the sound stops at the length the file gave, while
    // the loudness, read from the track itself, goes on.
    int64_t frameCount = trackLengthHint();
    if (frameCount <= 0) frameCount = trackFrameCount();
    if (frameCount <= 0) return;
    sound.prepared = jsSoundPrepare(static_cast<double>(frameCount), sound.channels, sound.rate) != 0;
    constexpr int64_t slice = 16384;
    std::vector<float> frames(static_cast<size_t>(slice * sound.channels));
    for (int64_t first = 0; sound.prepared && first < frameCount; first += slice) {
        const int count = static_cast<int>(std::min(slice, frameCount - first));
        copyTrackFrames(first, count, frames.data());
        jsSoundFill(frames.data(), static_cast<double>(first), count, sound.channels);
    }
}

void webRunStart() {
    sound.clock.start(0.0, emscripten_get_now());
    sound.noteShown = false;
}

double webRunInstant() {
    const double pageMs = emscripten_get_now();
    SoundReading reading;
    double ms = 0.0;
    reading.running = jsSoundRead(&ms) != 0;
    reading.ms = ms;
    RunClock& clock = sound.clock;
    const double instant = clock.follow(pageMs, reading);
    if (clock.wantsSilence()) {
        jsSoundSilence();
        clock.soundSilenced();
    }
    if (clock.wantsSound(reading)) {
        jsSoundPlayAt(clock.instantMs);
        clock.soundStarted(pageMs);
    }
    // Paused, no sound is due, held back or not: the note waits for the run to go on.
    const bool held = clock.soundHeld && !clock.paused;
    if (held != sound.noteShown) {
        sound.noteShown = held;
        jsSoundHeld(sound.noteShown ? 1 : 0);
    }
    return instant;
}

bool webCreateContext(int width, int height, bool keepPicture) {
    emscripten_set_canvas_element_size("#screen", width, height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // The frame keeps whatever alpha the blending leaves, and is shown over the page's black,
    // where that looks the same as an opaque one; Firefox draws an opaque context's frames
    // about 7 % slower on the software rasteriser.
    attributes.alpha = EM_TRUE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    // The native window has no multisampling either: smooth edges come from the lines' own coverage.
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = keepPicture ? EM_TRUE : EM_FALSE;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#screen", &attributes);
    if (context <= 0) return false;
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    contextWatch = ContextWatch();
    offscreen = Offscreen();
    emscripten_set_webglcontextlost_callback("#screen", nullptr, EM_FALSE, onContextLost);
    emscripten_set_webglcontextrestored_callback("#screen", nullptr, EM_FALSE, onContextRestored);
    return true;
}

void webResizeContext(int width, int height) { emscripten_set_canvas_element_size("#screen", width, height); }

void webListenKeys() { emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyDown); }

// The page makes a new instance for each run and drops the last one: a listener left on the
// window would keep that instance, its heap and its sound alive for as long as the page is open.
extern "C" EMSCRIPTEN_KEEPALIVE void webRelease() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, nullptr);
}

OffscreenTarget webOffscreenTarget() {
    OffscreenTarget target;
    target.bind = offscreenBind;
    target.read = offscreenRead;
    target.unbind = offscreenUnbind;
    return target;
}

int webLargestOffscreen() {
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min<int>(renderbuffer, std::min(viewport[0], viewport[1]));
}

bool webInFullScreen() { return jsInFullScreen() != 0; }

// A one-pixel read waits for the whole frame, where glFinish may return at once.
void webFinish() {
    unsigned char pixel[4];
    ::glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

AudioDevice webAudioDevice() {
    AudioDevice device;
    device.versionMatches = soundVersionMatches;
    device.init = soundInit;
    device.start = soundStart;
    device.audibleFrame = soundAudible;
    device.stop = soundStop;
    device.moveTo = soundMoveTo;
    device.setMuted = soundSetMuted;
    device.keepsTime = true;
    return device;
}

void webMessageBox(const char* text, const char* caption) { jsMessageBox(text, caption); }

bool webEscapeDown() { return escapePressed; }
void webClearEscape() { escapePressed = false; }

bool webTakeEvent(RunEvent& event) { return events.pop(event); }
void webTakeKeys(bool on) {
    takingKeys = on;
    events.drop();
}

bool webTakeContextLost() {
    const bool lost = contextWatch.lost;
    contextWatch.lost = false;
    return lost;
}
bool webTakeContextRestored() {
    const bool restored = contextWatch.restored;
    contextWatch.restored = false;
    if (restored) offscreen = Offscreen();
    return restored;
}

void webDemoEnded(int reason) { jsDemoEnded(reason); }
