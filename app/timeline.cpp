// timeline.cpp -- which scenes cover an instant, with what progress, and the frame they draw
#include "app/timeline.h"

#include "render/gl.h"

#include "base/frame_state.h"
#include "base/globals.h"
#include "assets/loader.h"
#include "scenes/cubes.h"
#include "scenes/city.h"
#include "scenes/credits.h"
#include "scenes/opening.h"
#include "scenes/tree.h"

// Row order is render order: at 56500, 92500 and 121000 ms two rows cover the instant,
// and the later scene starts from the GL state and modelview the earlier one left.
const TimelineRow timeline[timelineRows] = {
    {{0, 56500}, OpeningScene::render, "opening"},
    {{56500, 92500}, CubesScene::render, "cubes"},
    {{92500, 121000}, CityScene::render, "city"},
    {{121000, 149500}, TreeScene::render, "tree"},
    {{150000, 156000}, CreditsScene::render, "credits"},
};

int32_t frameMs(int64_t frame, int fps) { return static_cast<int32_t>(frame * 1000 / fps); }

int64_t firstFrameAtOrAfter(int32_t ms, int fps) {
    // floor(k x 1000 / fps) >= ms exactly when k x 1000 >= ms x fps, ms being whole.
    return (static_cast<int64_t>(ms) * fps + 999) / 1000;
}

bool inRange(int32_t t, TimeRange range) { return range.start <= t && t <= range.end; }

float progress(int32_t t, TimeRange range) {
    if (t <= range.start) return 0.0f;
    if (t >= range.end) return 1.0f;
    return static_cast<float>(static_cast<double>(t - range.start) /
                              static_cast<double>(range.end - range.start));
}

void clearFrame() {
    glClearColor(frameState.clearColour.x, frameState.clearColour.y, frameState.clearColour.z, 1.0f);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    // A clear puts nothing in the state a frame hands on, and the software rasteriser clears
    // the whole buffer whatever the scissor box says.
    if (!skipDrawing) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

static bool loadsQueued = false;

static void runLoadSteps() {
    OpeningScene::load();
    CubesScene::load();
    CityScene::load();
    TreeScene::load();
    CreditsScene::load();
}

void startLoadingScenes(int helpers) {
    loadsQueued = beginLoads(helpers);
    if (loadsQueued) runLoadSteps();
}

void finishLoadingScenes() {
    if (loadsQueued)
        finishLoads();
    else
        runLoadSteps();
    loadsQueued = false;
}

bool takeNextSceneLoad(int waitMs) {
    if (loadsQueued && !takeNextLoad(waitMs)) return false;
    if (!loadsQueued) runLoadSteps();
    loadsQueued = false;
    return true;
}

void dropSceneLoads() {
    dropLoads();
    loadsQueued = false;
}

void loadScenes(int helpers) {
    startLoadingScenes(helpers);
    finishLoadingScenes();
}

void drawFrame(int32_t ms) {
    clearFrame();
    if (pictureArea.width > 0)
        glViewport(pictureArea.x, pictureArea.y, pictureArea.width, pictureArea.height);
    else
        glViewport(0, (screenHeight - viewportHeight) / 2, screenWidth, viewportHeight);
    elapsedMs = ms;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(screenWidth) / static_cast<double>(viewportHeight), 0.5,
                   5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const TimelineRow& row : timeline) {
        if (inRange(elapsedMs, row.range)) row.render(progress(elapsedMs, row.range));
    }
}
