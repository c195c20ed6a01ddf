// web_platform.h -- what the browser gives the demo: the WebGL 2 canvas, keys, sound, page boxes
#pragma once
#include <cstdint>

#include "app/offscreen_run.h"
#include "app/run.h"
#include "audio/music.h"

// Makes the WebGL 2 context on the page's canvas (#screen) at width x height and makes it
// current. keepPicture keeps the drawing buffer after it is shown, for stills read back later.
bool webCreateContext(int width, int height, bool keepPicture);
// Gives the context's canvas the size of another mode; what is in the context stays.
void webResizeContext(int width, int height);
// From now on Escape and, while webTakeKeys allows, the demo's keys reach the program.
void webListenKeys();
// Waits until the GL has drawn everything sent so far.
void webFinish();
// A frame buffer object in the page's context for frames drawn offscreen (the timeline's preview).
OffscreenTarget webOffscreenTarget();
// The largest width or height such a frame buffer can have in the context that is current.
int webLargestOffscreen();
// Whether the page is in full screen: where f put it or took it out, or where "Run Demo" did.
bool webInFullScreen();

// The sound card: the decoded track in a WebAudio buffer, played in the context the page made
// inside the "Run Demo" gesture. What it makes audible is the run's instant (webRunInstant), on
// the sound's clock or the page's, which keeps time where the sound is held; Music::moveTo
// moves that instant, held or playing, and the sound with it.
AudioDevice webAudioDevice();
// Decodes the track into its WebAudio buffer ahead of the run (after music.open()).
void webPrepareSound();
// The run's clock: starts at instant 0 and gives the instant of each frame in milliseconds,
// starting and silencing the sound as it takes charge or lets go, and telling the page while
// the browser holds the sound back.
void webRunStart();
double webRunInstant();

// A box on the page with the caption, the text and an OK button; the demo goes on meanwhile.
void webMessageBox(const char* text, const char* caption);

// True once Escape went down since the run began.
bool webEscapeDown();
void webClearEscape();
// The keys' events in the order pressed, as the player's takeEvent() gives them; false when
// there are no more. Keys count only while a run plays (on): elsewhere they are the page's.
bool webTakeEvent(RunEvent& event);
void webTakeKeys(bool on);

// Once each: the canvas's context was lost, and it is back (empty: every GL object gone).
bool webTakeContextLost();
bool webTakeContextRestored();

// How a run ended, for the page.
constexpr int webEndEscape = 0;
constexpr int webEndSequence = 1;
void webDemoEnded(int reason);
