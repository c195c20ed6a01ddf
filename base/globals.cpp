// globals.cpp -- storage of the program-wide state, all of it empty before the entry point runs
#include "base/globals.h"

#include "base/frame_state.h"

int screenWidth = 0;
int screenHeight = 0;
int viewportHeight = 0;
PictureArea pictureArea;
bool skipDrawing = false;
int32_t elapsedMs = 0;
uint8_t runFlag = 1;
FrameState frameState;
