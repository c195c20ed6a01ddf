// sdl_platform.cpp -- the player's full-screen window, input, clock, message boxes and stop signals over SDL2
#include <SDL.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "app/globals.h"
#include "app/message.h"
#include "platform/platform.h"

DemoWindow demoWindow;

// Set by SIGINT and SIGTERM; read wherever Escape is, so a signal leaves through the same
// shut-down and the display mode is given back.
static volatile sig_atomic_t stopRequested = 0;
// An Escape press seen since the last poll: a press and its release can both arrive in one
// event pump, after which the keyboard state alone would never show it.
static bool escapePressed = false;
static bool videoStarted = false;

static void onStopSignal(int) { stopRequested = 1; }

void installSignalHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // A second signal falls back to the default action, so a viewer who insists still gets out.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

static int SDLCALL watchEscape(void*, SDL_Event* event) {
    if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_ESCAPE) escapePressed = true;
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

bool DemoWindow::create() {
    if (window || screenWidth <= 0 || screenHeight <= 0) return false;

    // Our own signal handlers stay in charge; the screen saver stays off while we run; a
    // message box taking the focus must not iconify the full-screen window.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    videoStarted = true;
    SDL_DisplayMode mode;
    if (invisibleDriver(SDL_GetCurrentVideoDriver()) || !findMode(screenWidth, screenHeight, mode)) {
        destroy();
        return false;
    }

    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The scenes draw in immediate mode.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);

    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    SDL_Window* created = SDL_CreateWindow("Demo", 0, 0, screenWidth, screenHeight, flags);
    window = created;
    if (!created || SDL_SetWindowDisplayMode(created, &mode) != 0) {
        destroy();
        return false;
    }
    context = SDL_GL_CreateContext(created);
    if (!context || SDL_GL_MakeCurrent(created, context) != 0) {
        destroy();
        return false;
    }

    SDL_AddEventWatch(watchEscape, nullptr);
    SDL_ShowWindow(created);
    SDL_RaiseWindow(created);
    SDL_ShowCursor(SDL_DISABLE);
    SDL_DisableScreenSaver();
    return true;
}

void DemoWindow::destroy() {
    SDL_Window* created = static_cast<SDL_Window*>(window);
    if (context) {
        SDL_GL_MakeCurrent(created, nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
        context = nullptr;
    }
    if (created) {
        // Leaving full screen gives the desktop its display mode back.
        SDL_SetWindowFullscreen(created, 0);
        SDL_DestroyWindow(created);
        window = nullptr;
    }
    if (videoStarted) {
        SDL_DelEventWatch(watchEscape, nullptr);
        SDL_EnableScreenSaver();
        // Closing the display connection flushes the mode change before the process ends.
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoStarted = false;
    }
}

void DemoWindow::swapBuffers() {
    if (window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window));
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
    if (stopRequested) return true;
    if (!videoStarted) return false;
    SDL_PumpEvents();
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    return escapePressed || (keys && keys[SDL_SCANCODE_ESCAPE]);
}

uint32_t tickCount() { return SDL_GetTicks(); }

static bool displayPresent() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

static void showBox(const char* text, const char* caption) {
    if (!text) text = "";
    if (!caption || !*caption) caption = "Error";
    // No box once a stop signal came: a modal box would hold the way out open.
    if (!stopRequested && displayPresent() && SDL_ShowSimpleMessageBox(0, caption, text, nullptr) == 0) return;
    writeMessageLine(text, caption);
}

void installMessageBoxes() { messageHandler = showBox; }
