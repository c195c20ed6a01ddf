// sdl_platform.cpp -- the player's window, input, clock, message boxes and sound over SDL2
#include "platform/platform.h"

DemoWindow demoWindow;

bool DemoWindow::create() { return false; }
void DemoWindow::destroy() {}
void DemoWindow::swapBuffers() {}

PumpResult pumpOneMessage() { return PumpResult::quit; }
bool escapeDown() { return true; }
uint32_t tickCount() { return 0; }
void installMessageBoxes() {}
void installSignalHandlers() {}
