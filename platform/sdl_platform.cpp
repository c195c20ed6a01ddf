// sdl_platform.cpp -- the player's full-screen window, input and clock over SDL2
// The framebuffer functions are GL 3.0; the GL library exports them.
#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <SDL_opengl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/globals.h"
#include "base/message.h"
#include "app/keys.h"
#include "platform/player.h"

DemoWindow demoWindow;

// An Escape press seen since the last poll: a press and its release can both arrive in one
// event pump, after which the keyboard state alone would never show it.
static bool escapePressed = false;
static bool videoStarted = false;

static RunEvents events;

// Keys that are no character by where they lie, the others by the character they type in the
// keyboard's layout (SDL's key code); "?" comes as text, being a shifted key on most layouts.
static Key keyOf(const SDL_Keysym& key) {
    switch (key.scancode) {
        case SDL_SCANCODE_ESCAPE: return Key::escape;
        case SDL_SCANCODE_SPACE: return Key::space;
        case SDL_SCANCODE_LEFT: return Key::left;
        case SDL_SCANCODE_RIGHT: return Key::right;
        case SDL_SCANCODE_PAGEUP: return Key::pageUp;
        case SDL_SCANCODE_PAGEDOWN: return Key::pageDown;
        case SDL_SCANCODE_HOME: return Key::home;
        case SDL_SCANCODE_END: return Key::end;
        default: break;
    }
    if (key.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) return Key::none;
    if (key.sym >= SDLK_0 && key.sym <= SDLK_9)
        return static_cast<Key>(static_cast<int>(Key::digit0) + (key.sym - SDLK_0));
    if (key.sym >= SDLK_KP_1 && key.sym <= SDLK_KP_9)
        return static_cast<Key>(static_cast<int>(Key::digit1) + (key.sym - SDLK_KP_1));
    if (key.sym == SDLK_KP_0) return Key::digit0;
    const bool shifted = (key.mod & KMOD_SHIFT) != 0;
    switch (key.sym) {
        case SDLK_COMMA: return shifted ? Key::none : Key::comma;
        case SDLK_PERIOD: return shifted ? Key::none : Key::period;
        case SDLK_k: return Key::k;
        case SDLK_j: return Key::j;
        case SDLK_l: return Key::l;
        case SDLK_m: return Key::m;
        case SDLK_f: return Key::f;
        case SDLK_h: return Key::h;
        default: return Key::none;
    }
}

static int SDLCALL watchInput(void*, SDL_Event* event) {
    if (event->type == SDL_KEYDOWN) {
        if (event->key.keysym.scancode == SDL_SCANCODE_ESCAPE) escapePressed = true;
        const RunEvent asked = eventForKey(keyOf(event->key.keysym), event->key.repeat != 0);
        if (asked.command != RunCommand::none) events.push(asked);
    }
    if (event->type == SDL_TEXTINPUT && std::strcmp(event->text.text, "?") == 0)
        events.push(eventForKey(Key::question, false));
    if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_EXPOSED)
        events.push(RunEvent{RunCommand::redraw, 0});
    return 1;
}

// Drivers that would "work" without showing anything: the demo must not play unseen.
static bool invisibleDriver(const char* name) {
    return !name || std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

// The display mode of exactly width x height, at 32 bits per pixel where there is one.
static bool findMode(int width, int height, SDL_DisplayMode& found) {
    bool any = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0 || mode.w != width || mode.h != height) continue;
        if (!any || (SDL_BYTESPERPIXEL(mode.format) == 4 && SDL_BYTESPERPIXEL(found.format) != 4)) found = mode;
        any = true;
    }
    return any;
}

// A picture of width x height shown scaled to fit a screen of screenW x screenH, centred with
// its aspect kept: where it lands, x and y from the screen's top-left corner.
struct FitRect {
    int x = 0, y = 0, width = 0, height = 0;
};

static FitRect fitToScreen(int width, int height, int screenW, int screenH) {
    FitRect fit;
    if (width <= 0 || height <= 0 || screenW <= 0 || screenH <= 0) return fit;
    const double scale = std::min(static_cast<double>(screenW) / width, static_cast<double>(screenH) / height);
    fit.width = std::min(screenW, static_cast<int>(std::lround(width * scale)));
    fit.height = std::min(screenH, static_cast<int>(std::lround(height * scale)));
    fit.x = (screenW - fit.width) / 2;
    fit.y = (screenH - fit.height) / 2;
    return fit;
}

// The offscreen buffer the frames are drawn into when the display cannot run the mode:
// colour and a 24-bit depth buffer of screenWidth x screenHeight, left bound for drawing.
static bool makeOffscreenBuffer(DemoWindow& window) {
    glGenFramebuffers(1, &window.framebuffer);
    glGenRenderbuffers(1, &window.colourBuffer);
    glGenRenderbuffers(1, &window.depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, window.colourBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, screenWidth, screenHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, window.depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, screenWidth, screenHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, window.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, window.colourBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, window.depthBuffer);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// The frames drawn into the window itself again, the offscreen buffer given back.
static void dropOffscreenBuffer(DemoWindow& window) {
    if (window.framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &window.framebuffer);
        glDeleteRenderbuffers(1, &window.colourBuffer);
        glDeleteRenderbuffers(1, &window.depthBuffer);
    }
    window.framebuffer = window.colourBuffer = window.depthBuffer = 0;
}

// The desktop's own mode, or the mode chosen where the display does not say.
static SDL_DisplayMode desktopMode() {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0 || desktop.w <= 0 || desktop.h <= 0) {
        desktop.w = screenWidth;
        desktop.h = screenHeight;
    }
    return desktop;
}

// Whether the display runs the mode chosen now, under the window.
static bool displayInMode(SDL_Window* window) {
    SDL_DisplayMode current;
    return SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(window), &current) == 0 && current.w == screenWidth &&
           current.h == screenHeight;
}

static void sayScaled(SDL_Window* window) {
    int wide = 0, high = 0;
    SDL_GL_GetDrawableSize(window, &wide, &high);
    std::fprintf(stderr, "talumen: the %dx%d display mode is not available; playing at %dx%d, scaled to fit\n",
                 screenWidth, screenHeight, wide, high);
}

// The city's far plane lies 10000 times as far as its near one, which a 16-bit depth buffer
// cannot tell apart: 24 bits are asked for, and 16 only where no window with 24 can be made.
// A window for a context made already takes the depth that context's window had.
static int windowDepth = 0;
static SDL_Window* createWindow(int width, int height, Uint32 flags) {
    for (int depth : {24, 16}) {
        if (windowDepth != 0 && depth != windowDepth) continue;
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
        if (SDL_Window* made = SDL_CreateWindow("Demo", 0, 0, width, height, flags)) {
            windowDepth = depth;
            return made;
        }
    }
    return nullptr;
}

// SDL's video with a display that shows something, and the GL the demo asks for; false with
// the reason.
static bool startVideo(std::string& why) {
    // Our own signal handlers stay in charge; the screen saver stays off while we run; a
    // message box taking the focus must not iconify the full-screen window.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (!videoStarted && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        why = std::string("no display (") + SDL_GetError() + ")";
        return false;
    }
    videoStarted = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (invisibleDriver(driver)) {
        why = std::string("no display (the video driver \"") + (driver ? driver : "") + "\" shows nothing)";
        return false;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The scenes draw in immediate mode.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    return true;
}

// Remembers why the window could not be made, takes down whatever was made, and fails.
static bool giveUp(DemoWindow& window, const std::string& why) {
    window.destroy();
    window.failure = "Cannot play full screen: " + why;
    return false;
}

bool DemoWindow::prepareGl() {
    std::string why;
    if (context || window || !startVideo(why)) return false;
    // Never shown, so it takes neither the focus nor a place on the screen.
    SDL_Window* scratch = createWindow(1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext made = scratch ? SDL_GL_CreateContext(scratch) : nullptr;
    if (!made || SDL_GL_MakeCurrent(scratch, made) != 0) {
        if (made) SDL_GL_DeleteContext(made);
        if (scratch) SDL_DestroyWindow(scratch);
        windowDepth = 0;
        return false;
    }
    scratchWindow = scratch;
    context = made;
    return true;
}

bool DemoWindow::create() {
    failure.clear();
    // No mode chosen: the dialog was closed, which is no failure to report.
    if (window || screenWidth <= 0 || screenHeight <= 0) return false;
    std::string why;
    if (!startVideo(why)) return giveUp(*this, why);

    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    SDL_DisplayMode mode;
    bool switched = findMode(screenWidth, screenHeight, mode);
    SDL_Window* created = nullptr;
    if (switched) {
        created = createWindow(screenWidth, screenHeight, flags | SDL_WINDOW_FULLSCREEN);
        window = created;
        switched = created && SDL_SetWindowDisplayMode(created, &mode) == 0;
        if (!switched && created) {
            SDL_DestroyWindow(created);
            window = created = nullptr;
        }
    }
    // Made at the desktop's size, so that it covers the screen even where no window manager
    // acts on the full-screen request.
    const SDL_DisplayMode desktop = desktopMode();
    if (!switched) {
        created = createWindow(desktop.w, desktop.h, flags | SDL_WINDOW_FULLSCREEN_DESKTOP);
        window = created;
        if (!created) return giveUp(*this, std::string("no window (") + SDL_GetError() + ")");
    }
    // A context made behind the dialog moves to the demo's window with everything loaded into it.
    if (!context) context = SDL_GL_CreateContext(created);
    if (!context || SDL_GL_MakeCurrent(created, context) != 0)
        return giveUp(*this, std::string("no OpenGL context (") + SDL_GetError() + ")");
    if (scratchWindow) SDL_DestroyWindow(static_cast<SDL_Window*>(scratchWindow));
    scratchWindow = nullptr;

    SDL_AddEventWatch(watchInput, nullptr);
    SDL_ShowWindow(created);
    SDL_RaiseWindow(created);
    // The mode is switched as the window shows; a display that refused it is left in its own.
    if (switched && !displayInMode(created)) {
        switched = false;
        SDL_SetWindowSize(created, desktop.w, desktop.h);
        if (SDL_SetWindowFullscreen(created, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
            return giveUp(*this, std::string("the display took neither the mode nor full screen (") + SDL_GetError() + ")");
    }
    // The frames are drawn into a buffer of GL's own whichever way they are shown: Mesa's
    // rasteriser puts some edge pixels of smooth lines elsewhere in a window's buffer than in
    // one of its own (about 20000 of the star's at 1280x720), and in its own they are the
    // pixels talumen-render draws, byte for byte. Where the mode is switched to, a window's
    // buffer still shows the picture, a little less exactly, if no buffer can be made.
    if (!makeOffscreenBuffer(*this)) {
        dropOffscreenBuffer(*this);
        if (!switched) return giveUp(*this, "no offscreen buffer for the scaled picture");
    }
    if (!switched) sayScaled(created);
    modeSwitched = switched;
    fullScreen = true;
    SDL_ShowCursor(SDL_DISABLE);
    SDL_DisableScreenSaver();
    return true;
}

// A window of the mode's size, centred, with a border and the pointer, the display in its own
// mode; each swap copies the frame into it as it is (scaled, where a window manager gives the
// window another size).
static bool showWindowed(DemoWindow& demo, SDL_Window* shown) {
    // Leaving full screen gives the display its own mode back.
    if (SDL_SetWindowFullscreen(shown, 0) != 0) return false;
    SDL_SetWindowBordered(shown, SDL_TRUE);
    SDL_SetWindowSize(shown, screenWidth, screenHeight);
    SDL_SetWindowPosition(shown, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    SDL_ShowCursor(SDL_ENABLE);
    demo.fullScreen = false;
    return true;
}

// Full screen again as create() made it: the mode switched to where it was, or the desktop
// covered with the picture scaled, as where the display now refuses the mode. The window is
// placed and sized first, for a display without a window manager to act on the request.
static bool showFullScreen(DemoWindow& demo, SDL_Window* shown) {
    SDL_SetWindowBordered(shown, SDL_FALSE);
    SDL_SetWindowPosition(shown, 0, 0);
    bool switched = false;
    if (demo.modeSwitched) {
        SDL_DisplayMode mode;
        SDL_SetWindowSize(shown, screenWidth, screenHeight);
        switched = findMode(screenWidth, screenHeight, mode) && SDL_SetWindowDisplayMode(shown, &mode) == 0 &&
                   SDL_SetWindowFullscreen(shown, SDL_WINDOW_FULLSCREEN) == 0 && displayInMode(shown);
    }
    if (!switched) {
        const SDL_DisplayMode desktop = desktopMode();
        SDL_SetWindowSize(shown, desktop.w, desktop.h);
        // A picture scaled to the desktop needs the offscreen buffer.
        if (SDL_SetWindowFullscreen(shown, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0 || !demo.framebuffer) {
            showWindowed(demo, shown);
            return false;
        }
        if (demo.modeSwitched) sayScaled(shown);
        demo.modeSwitched = false;
    }
    SDL_ShowCursor(SDL_DISABLE);
    demo.fullScreen = true;
    return true;
}

bool DemoWindow::setFullScreen(bool on) {
    SDL_Window* shown = static_cast<SDL_Window*>(window);
    if (!shown) return false;
    if (on == fullScreen) return true;
    return on ? showFullScreen(*this, shown) : showWindowed(*this, shown);
}

void DemoWindow::destroy() {
    SDL_Window* created = static_cast<SDL_Window*>(window);
    if (context) {
        dropOffscreenBuffer(*this);
        SDL_GL_MakeCurrent(created ? created : static_cast<SDL_Window*>(scratchWindow), nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
        context = nullptr;
    }
    framebuffer = colourBuffer = depthBuffer = 0;
    if (scratchWindow) SDL_DestroyWindow(static_cast<SDL_Window*>(scratchWindow));
    scratchWindow = nullptr;
    windowDepth = 0;
    modeSwitched = fullScreen = false;
    if (created) {
        // Leaving full screen gives the desktop its display mode back.
        SDL_SetWindowFullscreen(created, 0);
        SDL_DestroyWindow(created);
        window = nullptr;
    }
    if (videoStarted) {
        SDL_DelEventWatch(watchInput, nullptr);
        SDL_EnableScreenSaver();
        // Closing the display connection flushes the mode change before the process ends.
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoStarted = false;
    }
}

void DemoWindow::swapBuffers() {
    SDL_Window* shown = static_cast<SDL_Window*>(window);
    if (!shown) return;
    if (framebuffer) {
        // The frame is copied (scaled, unless the window is of the mode's size) onto a black
        // window. The scissor would clip both the clear and the copy, so it is off meanwhile
        // and the scenes find it as they left it.
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        glDisable(GL_SCISSOR_TEST);
        int wide = 0, high = 0;
        SDL_GL_GetDrawableSize(shown, &wide, &high);
        const FitRect fit = fitToScreen(screenWidth, screenHeight, wide, high);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        // At the mode's own size (a window of it) the pixels are copied as they are, over the
        // whole window: nothing is left to clear.
        const bool asIs = fit.width == screenWidth && fit.height == screenHeight;
        if (!asIs || fit.width != wide || fit.height != high) {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        // GL counts rows from the bottom.
        const int bottom = high - fit.y - fit.height;
        glBlitFramebuffer(0, 0, screenWidth, screenHeight, fit.x, bottom, fit.x + fit.width, bottom + fit.height,
                          GL_COLOR_BUFFER_BIT, asIs ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(shown);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        if (scissor) glEnable(GL_SCISSOR_TEST);
        return;
    }
    SDL_GL_SwapWindow(shown);
}

PumpResult pumpOneMessage() {
    if (!videoStarted) return PumpResult::empty;
    SDL_Event event;
    if (!SDL_PollEvent(&event)) return PumpResult::empty;
    const bool closed = event.type == SDL_QUIT ||
                        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE);
    if (!closed) return PumpResult::dispatched;
    // A close request takes the window down (and the mode back) before the loop hears of it.
    demoWindow.destroy();
    return PumpResult::quit;
}

bool escapeDown() {
    if (stopRequested()) return true;
    if (!videoStarted) return false;
    SDL_PumpEvents();
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    return escapePressed || (keys && keys[SDL_SCANCODE_ESCAPE]);
}

bool takeEvent(RunEvent& event) { return events.pop(event); }

void waitForInput(int ms) {
    // Leaves the message in the queue for the pump; its key has reached the watch already.
    if (videoStarted) SDL_WaitEventTimeout(nullptr, ms);
}

uint32_t tickCount() { return SDL_GetTicks(); }
