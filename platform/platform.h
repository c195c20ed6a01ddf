// platform.h -- what the player needs of its platform: dialog, window, input, clock, sound, boxes
#pragma once
#include <cstdint>

#include "audio/music.h"

// Shows the modal setup dialog; its outcome is in runFlag and the three size globals.
// With no display at all it cannot open, which counts as closing it.
void runSetupDialog();

// The full-screen window with its GL context, in the display mode screenWidth x screenHeight.
struct DemoWindow {
    void* window = nullptr;   // the windowing library's window
    void* context = nullptr;  // the GL context

    // Every failure is silent; a 0 x 0 mode is refused.
    bool create();
    // Restores the display mode and destroys the window. Safe to call twice.
    void destroy();
    void swapBuffers();
};
extern DemoWindow demoWindow;

enum class PumpResult { empty, quit, dispatched };

// Takes and handles one pending window message, like a PeekMessage/dispatch pair.
PumpResult pumpOneMessage();
// True while Escape is held (or a termination signal arrived, which leaves the same way).
bool escapeDown();
// Milliseconds on a wrapping unsigned 32-bit counter.
uint32_t tickCount();

// Routes messageBox() to modal boxes; falls back to stderr where none can be shown.
void installMessageBoxes();
// The sound card, through the windowing library's audio.
AudioDevice platformAudioDevice();
// Makes SIGINT and SIGTERM end the demo through the same shut-down as Escape.
void installSignalHandlers();
