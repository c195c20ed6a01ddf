// timeline.h -- the five timed scenes and the per-frame drawing both the player and the renderer run
#pragma once
#include <cstdint>

// Milliseconds since the music started; both ends inclusive.
struct TimeRange {
    int32_t start = 0;
    int32_t end = 0;
};

struct TimelineRow {
    TimeRange range;
    void (*render)(float progress) = nullptr;
    const char* name = nullptr;
};

constexpr int timelineRows = 5;
extern const TimelineRow timeline[timelineRows];

// The loop stops after the first frame at or beyond this instant.
constexpr int32_t sequenceEndMs = 156000;

// Frame k of a clock at fps frames per second is drawn at floor(k x 1000 / fps) ms.
int32_t frameMs(int64_t frame, int fps);
// The first frame of that clock drawn at or after ms (ms >= 0).
int64_t firstFrameAtOrAfter(int32_t ms, int fps);

bool inRange(int32_t t, TimeRange range);
float progress(int32_t t, TimeRange range);

void clearFrame();

// Start-up: the scenes' load steps in timeline order, with every texture in GL and every
// message of a failed load shown, in call order, when it returns. With helpers, the files are
// read on that many threads of their own (loader.h).
void loadScenes(int helpers);
// The same in two halves, so that the files are read while the GL comes up. The first needs
// no GL: with helpers, it runs the load steps, which queue their files; without, it does
// nothing. The second, with the GL context current, takes the loads into GL (or runs the
// steps whole). dropSceneLoads ends a start whose GL never came, without a message.
void startLoadingScenes(int helpers);
void finishLoadingScenes();
void dropSceneLoads();
// finishLoadingScenes a load at a time: takes the next once it is read, waiting at most waitMs
// for it; true once every load is in (where no helpers read them, the steps run whole here).
// Called until it is true, and then no more.
bool takeNextSceneLoad(int waitMs);

// One frame at time ms: clear, the 16:9 viewport band (or pictureArea), elapsedMs, the perspective
// projection, then every row that covers ms, in row order. No buffer swap.
void drawFrame(int32_t ms);
