// player.h -- what the player needs of its platform (dialog, window, input, clock, sound, boxes), which each platform layer gives it
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/run.h"
#include "audio/music.h"

// Shows the modal setup dialog; its outcome is in runFlag and the three size globals.
// False when there is no display to show it on. Once the dialog is up, and until the viewer
// chooses, meanwhile (when not null) runs again and again for as long as it returns true: a
// step of work at a time, each short enough not to keep the choice waiting.
bool runSetupDialog(bool (*meanwhile)());
// When the viewer closed the dialog, on the steady clock in seconds (0 before), for the
// start-up's figures: what meanwhile still had to do then counts from there.
extern double dialogClosedSeconds;

// The full-screen window with its GL context. Where the display has the mode screenWidth x
// screenHeight, the display is switched to it. Where it has not (or the switch is refused),
// the window covers the desktop in its own mode. The frames are drawn into an offscreen
// buffer of screenWidth x screenHeight, and each swap shows it in the window: as it is where
// the window is of the mode's size, scaled to fit otherwise, centred, with its aspect kept
// and black around it. Either way the frame loop draws as into the mode.
struct DemoWindow {
    void* window = nullptr;   // the windowing library's window
    void* context = nullptr;  // the GL context
    // A hidden window that holds the context from prepareGl() until create() moves it on.
    void* scratchWindow = nullptr;
    // The offscreen buffer the frames are drawn into; 0 where none could be made with the
    // display switched to the mode, and the frames go straight into the window.
    uint32_t framebuffer = 0;
    uint32_t colourBuffer = 0;
    uint32_t depthBuffer = 0;
    // Why the last create() failed, for the viewer; empty when no mode was chosen (0 x 0).
    std::string failure;
    // The display switched to the mode by create(), rather than its own mode scaled.
    bool modeSwitched = false;
    // Full screen, as create() leaves it, or a window of the mode's size (setFullScreen).
    bool fullScreen = false;

    // Brings the GL context up before the mode is known, on a hidden window of its own, and
    // makes it current, so that the loads can be taken into it while the viewer chooses;
    // create() then shows the same context in the demo's window. False (nothing left behind)
    // where no context comes up; create() then makes its own.
    bool prepareGl();
    bool create();
    // Restores the display mode and destroys the window. Safe to call twice.
    void destroy();
    void swapBuffers();
    // Full screen as create() makes it (the mode switched to, or the desktop's own mode with
    // the picture scaled), or a window of the mode's size, centred, with the display's own mode
    // given back and the pointer shown; the frames are drawn as full screen, scaled where they
    // were. False, with the window as it was before the call (or windowed, where full screen
    // was refused on the way back), when the display refuses.
    bool setFullScreen(bool on);
};
extern DemoWindow demoWindow;

// The help card's picture (app/help_card.h), drawn from the keys' table at build time: a JPEG,
// with a size of 0 where the build could not draw it.
extern const unsigned char keysPictureJpeg[];
extern const size_t keysPictureJpegSize;

enum class PumpResult { empty, quit, dispatched };

// Takes and handles one pending window message, like a PeekMessage/dispatch pair.
PumpResult pumpOneMessage();
// True while Escape is held (or a termination signal arrived, which leaves the same way).
bool escapeDown();
// The oldest event the viewer's keys (keys.h) or the window gave since it was last asked, as the
// message pump saw them; false when there is none.
bool takeEvent(RunEvent& event);
// Waits at most ms milliseconds for the window's next message, while there is nothing to draw.
void waitForInput(int ms);
// Milliseconds on a wrapping unsigned 32-bit counter.
uint32_t tickCount();

// Routes messageBox() to modal boxes; falls back to stderr where none can be shown. Call it
// before any thread starts: the boxes are shown by a process it forks.
void installMessageBoxes();
// The sound card, through the windowing library's audio.
AudioDevice platformAudioDevice();
// Makes SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and a closed console) end
// the demo through the same shut-down as Escape, a message box that is up included.
void installSignalHandlers();
// True once such a stop came; escapeDown() is true from then on too.
bool stopRequested();
