// offscreen_run_test.cpp -- frames of other instants drawn offscreen beside a run: talumen-render's frames at their size and clock, and the run on screen going on as if none had been drawn
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "app/offscreen_run.h"
#include "app/run.h"
#include "app/timeline.h"
#include "base/frame_state.h"
#include "base/globals.h"
#include "picture.h"
#include "render/carried_gl.h"
#include "testkit.h"

namespace {

uint32_t counter = 0;
uint32_t readCounter() { return counter; }

// A frame buffer object of the size asked, as the page makes one in its WebGL context; the
// one bound before is bound again afterwards (the headless GL's own).
struct Fbo {
    GLuint name = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
    GLint before = 0;
    int binds = 0;
};
Fbo fbo;

bool bindFbo(int width, int height) {
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo.before);
    if (fbo.name == 0 || width != fbo.width || height != fbo.height) {
        if (fbo.name == 0) {
            glGenFramebuffers(1, &fbo.name);
            glGenRenderbuffers(1, &fbo.colour);
            glGenRenderbuffers(1, &fbo.depth);
        }
        glBindRenderbuffer(GL_RENDERBUFFER, fbo.colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, fbo.depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo.name);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, fbo.colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, fbo.depth);
        fbo.width = width;
        fbo.height = height;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo.name);
    ++fbo.binds;
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}
void readFbo(int width, int height, uint8_t* rgba) {
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}
void unbindFbo() { glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(fbo.before)); }
const OffscreenTarget target{bindFbo, readFbo, unbindFbo};

Picture pictureOf(const OffscreenRun& run) {
    Picture picture;
    picture.width = run.layout.width;
    picture.height = run.layout.height;
    for (size_t i = 0; i < run.picture.size(); i += 4) picture.rgb.insert(picture.rgb.end(), &run.picture[i], &run.picture[i] + 3);
    return picture;
}

Picture renderedStill(const std::string& args) {
    EXPECT_EQ(renderTool("--level 3.1 " + args + " still.png"), 0) << readWhole("tool.err");
    return readPng("still.png");
}

}  // namespace

// A run plays at 1280x720 from 50 s; meanwhile frames of other instants are drawn at 384x216:
// landed from the run's snapshots (its table on the 60 fps clock), from the offscreen run's own
// last frame when they follow it, and on another clock from the start-up state. Each is
// talumen-render's frame of that size and clock byte for byte; the run's state, its globals and
// the GL's carried state are as they were, and its next frame is the one a seek lands on there.
TEST(OffscreenRun, FramesAreTheRenderersAndTheRunOnScreenGoesOnUntouched) {
    TempDir dir;
    linkSharedData();
    ASSERT_TRUE(startGl(1280, 720));
    loadScenes(0);
    constantLevel(3.1);
    setUpContext();
    counter = 50000;
    RunStart start;
    start.atMs = 50000;
    start.counter = readCounter;
    demoRun.startRun(start);
    ASSERT_TRUE(demoRun.turn().drawn);
    counter = 50100;
    ASSERT_TRUE(demoRun.turn().drawn);
    demoRun.extendSnapshots(60.0);
    ASSERT_TRUE(demoRun.snapshots.complete());
    const FrameState live = frameState;
    const int32_t liveMs = elapsedMs;

    OffscreenRun preview;
    preview.setUp(60, 384, 216);
    const struct {
        int32_t ms;
        int fps;
        const char* what;
    } frames[] = {
        {20000, 60, "the opening, from the table"},
        {57016, 60, "the cubes, from the table"},
        {57033, 60, "the next frame, from its own state"},
        {100000, 60, "the city, from the table"},
        {130500, 60, "the tree, from the table"},
        {93000, 30, "the city on the 30 fps clock, from the start-up state"},
        {93033, 30, "and its next frame"},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.what);
        preview.setUp(f.fps, 384, 216);
        ASSERT_TRUE(preview.drawAt(f.ms, demoRun.snapshots, target));
        EXPECT_EQ(frameMs(preview.frame, f.fps), f.ms);
        const Picture still = renderedStill("--size 384x216 --fps " + std::to_string(f.fps) + " --at " + std::to_string(f.ms));
        EXPECT_EQ(psnr(pictureOf(preview), still), std::numeric_limits<double>::infinity());
        EXPECT_EQ(std::memcmp(&frameState, &live, sizeof live), 0);
        EXPECT_EQ(elapsedMs, liveMs);
        EXPECT_EQ(screenWidth, 1280);
        EXPECT_EQ(viewportHeight, 720);
        EXPECT_EQ(pictureArea.width, 0);
        EXPECT_EQ(lineWidthScale, 1.0f);
        GLfloat width = 0.0f;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_EQ(width, live.gl.lineWidth);
        EXPECT_EQ(glIsEnabled(GL_BLEND) == GL_TRUE, live.gl.blend);
    }
    // A 4:3 preview keeps the mode's bands, as talumen-render draws them.
    preview.setUp(60, 1024, 768);
    ASSERT_TRUE(preview.drawAt(40000, demoRun.snapshots, target));
    EXPECT_EQ(psnr(pictureOf(preview), renderedStill("--size 1024x768 --at 40000")), std::numeric_limits<double>::infinity());

    // The run's next frame, then the same frame landed by a seek.
    counter = 50200;
    ASSERT_TRUE(demoRun.turn().drawn);
    const std::vector<uint8_t> next = grabScreen();
    demoRun.post(RunEvent{RunCommand::seekTo, 50200});
    ASSERT_TRUE(demoRun.turn().landed);
    EXPECT_TRUE(grabScreen() == next);
}
