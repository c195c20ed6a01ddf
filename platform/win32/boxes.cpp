// boxes.cpp -- the player's message boxes on Windows (MessageBoxW over the demo's window) and its stop requests from the console
#include <SDL.h>
#include <SDL_syswm.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/message.h"
#include "platform/player.h"

// Set from the console's handler thread; read wherever Escape is.
static volatile LONG stopSignalled = 0;
// The thread that shows the boxes, whose boxes a stop request ends.
static DWORD boxThread = 0;

bool stopRequested() { return InterlockedCompareExchange(&stopSignalled, 0, 0) != 0; }

// A message box is a dialog of the system's dialog class.
static BOOL CALLBACK endBox(HWND window, LPARAM) {
    wchar_t name[16] = {};
    if (GetClassNameW(window, name, 16) && std::wstring(name) == L"#32770") PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Runs on a thread of its own, made by the system for the console's event.
static BOOL WINAPI onConsoleStop(DWORD event) {
    InterlockedExchange(&stopSignalled, 1);
    // A modal box would hold the way out open.
    if (boxThread) EnumThreadWindows(boxThread, endBox, 0);
    // A closed console, a logoff or a shutdown ends the process as soon as this returns: the
    // player is given the time to go its own way, the display mode given back.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(4000);
    return TRUE;
}

void installSignalHandlers() {
    boxThread = GetCurrentThreadId();
    SetConsoleCtrlHandler(onConsoleStop, TRUE);
}

static std::wstring wide(const char* text) {
    // The program's texts are UTF-8; a file name that is not passes as the code page has it.
    UINT page = CP_UTF8;
    int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) length = MultiByteToWideChar(page = CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(page, 0, text, -1, &result[0], length);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

// The demo's window, which a box is shown over as its own; null before it is up.
static HWND demoWindowHandle() {
    SDL_Window* window = static_cast<SDL_Window*>(demoWindow.window);
    if (!window) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_WINDOWS ? info.info.win.window : nullptr;
}

static void showBox(const char* text, const char* caption) {
    if (!text) text = "";
    if (!caption || !*caption) caption = "Error";
    // Said on stderr as well: a program without a console loses it, and one started with its
    // output redirected keeps what it was told.
    writeMessageLine(text, caption);
    // No box once a stop came: a modal box would hold the way out open.
    if (stopRequested()) return;
    MessageBoxW(demoWindowHandle(), wide(text).c_str(), wide(caption).c_str(), MB_OK | MB_SETFOREGROUND);
}

void installMessageBoxes() {
    // Unbuffered, as on POSIX systems: what is said on stderr is seen as it is said, not when
    // the C library's buffer fills or the program ends.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    messageHandler = showBox;
}
