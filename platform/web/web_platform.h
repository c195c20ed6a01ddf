// web_platform.h -- what the browser gives the demo: the WebGL 2 canvas, keys, sound, page boxes
#pragma once
#include "audio/music.h"

// Makes the WebGL 2 context on the page's canvas (#screen) at width x height and makes it
// current. keepPicture keeps the drawing buffer after it is shown, for stills read back later.
bool webCreateContext(int width, int height, bool keepPicture);
// Waits until the GL has drawn everything sent so far.
void webFinish();

// The sound card: the decoded track in a WebAudio buffer; the audible frame is the audio
// clock's position less its output latency, at the track's rate.
AudioDevice webAudioDevice();

// A box on the page with the caption, the text and an OK button; the demo goes on meanwhile.
void webMessageBox(const char* text, const char* caption);

// True once Escape went down since the run began.
bool webEscapeDown();
void webClearEscape();

// How a run ended, for the page.
constexpr int webEndEscape = 0;
constexpr int webEndSequence = 1;
void webDemoEnded(int reason);
