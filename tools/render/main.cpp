// main.cpp -- talumen-render: the demo's frame loop on a virtual clock, headless, to stills, frames and video
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/timeline.h"
#include "audio/music.h"
#include "platform/egl_context.h"
#include "render/gl.h"
#include "render_tool.h"

#ifndef TALUMEN_VERSION
#define TALUMEN_VERSION "unknown"
#endif

static HeadlessGl gl;
static std::vector<uint8_t> screenRgba;
static bool musicOpened = false;

static double fixedLevel = 0.0;
static double fixedLevelReading() { return fixedLevel; }

// The player's start-up without its dialog and window: the display-mode globals as the dialog
// sets them, smooth lines, one clear, the load steps in timeline order, then the music.
static bool startDemo(const RenderOptions& options) {
    screenWidth = options.width;
    screenHeight = options.height;
    viewportHeight = options.width == 1024 ? 576 : options.height;
    if (!gl.create(screenWidth, screenHeight)) {
        reportError("no headless OpenGL context (Mesa's surfaceless EGL platform is needed)");
        return false;
    }
    screenRgba.assign(static_cast<size_t>(screenWidth) * static_cast<size_t>(screenHeight) * 4, 0);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    clearFrame();
    loadScenes();

    if (options.fixedLevel) {
        fixedLevel = options.level;
        music.levelSource = fixedLevelReading;
        return true;
    }
    // The offline device plays nothing: what it "hears" is the track at elapsedMs.
    audioDevice = clockAudioDevice();
    if (!music.open()) {
        reportError(std::string("the music did not open; --level X renders without ") + musicPath);
        return false;
    }
    musicOpened = true;
    music.play();
    return true;
}

static void stopDemo() {
    if (musicOpened) music.stop();
    musicOpened = false;
    gl.destroy();
}

// Frames before the wanted instant only advance the scenes' state (latches, camera, the
// generator), which never depends on what was drawn, so they are drawn into a 1 x 1 scissor
// box: the scenes make every call they would make, and the rasteriser fills one pixel.
static void advanceCheaply(int64_t beginFrame, int64_t endFrame, int fps, int32_t targetMs) {
    if (endFrame <= beginFrame) return;
    char label[64];
    std::snprintf(label, sizeof label, "advancing to %d ms", static_cast<int>(targetMs));
    ProgressLine progress;
    progress.begin(label, endFrame - beginFrame);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    for (int64_t k = beginFrame; k < endFrame; ++k) {
        drawFrame(frameMs(k, fps));
        progress.update(k - beginFrame + 1);
    }
    glDisable(GL_SCISSOR_TEST);
    progress.end();
}

static void drawAndRead(int32_t ms) {
    drawFrame(ms);
    gl.readPixels(screenRgba.data());
}

static int renderStill(const RenderOptions& options) {
    std::string error;
    PendingFile out;
    if (!out.create(options.output, true, error)) {
        reportError(error);
        return 1;
    }
    if (!startDemo(options)) {
        out.discard();
        return 1;
    }
    advanceCheaply(0, firstFrameAtOrAfter(options.at, options.fps), options.fps, options.at);
    drawAndRead(options.at);
    if (!writePng(out.file, screenWidth, screenHeight, screenRgba.data())) {
        reportError("writing \"" + options.output + "\" failed");
        out.discard();
        stopDemo();
        return 1;
    }
    const bool committed = out.commit(error);
    if (!committed) reportError(error);
    stopDemo();
    return committed ? 0 : 1;
}

// The DIR/ of frames or stills, made when missing; false (reported) when it cannot be written.
static bool makeOutputDirectory(const RenderOptions& options, std::string& dir) {
    dir = options.output;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        reportError("cannot make the directory \"" + dir + "\": " + std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || access(dir.c_str(), W_OK) != 0) {
        reportError("cannot write frames into \"" + dir + "\"");
        return false;
    }
    return true;
}

// One PNG of the screen as it was last read, written under a temporary name and renamed.
static bool writeScreenPng(const std::string& path) {
    std::string error;
    PendingFile out;
    bool written = out.create(path, true, error);
    if (written && !writePng(out.file, screenWidth, screenHeight, screenRgba.data())) {
        error = "writing \"" + path + "\" failed";
        written = false;
    }
    if (written) written = out.commit(error);
    if (!written) {
        out.discard();
        reportError(error);
    }
    return written;
}

// Several stills of one run: each instant is a frame of the clock, drawn in full and written
// as DIR/MS.png, with the frames between drawn cheaply; each equals the --at still of its instant.
static int renderStills(const RenderOptions& options) {
    std::string dir;
    if (!makeOutputDirectory(options, dir)) return 1;
    if (!startDemo(options)) return 1;
    int64_t next = 0;
    for (const int32_t ms : options.stills) {
        const int64_t frame = firstFrameAtOrAfter(ms, options.fps);
        advanceCheaply(next, frame, options.fps, ms);
        drawAndRead(ms);
        next = frame + 1;
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.png", static_cast<int>(ms));
        if (!writeScreenPng(dir + name)) {
            stopDemo();
            return 1;
        }
    }
    stopDemo();
    return 0;
}

// The frames of --from..--to, both ends included, on the fps clock.
static bool rangeFrames(const RenderOptions& options, int64_t& first, int64_t& end) {
    first = firstFrameAtOrAfter(options.from, options.fps);
    end = firstFrameAtOrAfter(options.to + 1, options.fps);
    if (end > first) return true;
    reportError("no frame of the " + std::to_string(options.fps) + " fps clock falls in " +
                std::to_string(options.from) + ".." + std::to_string(options.to) + " ms");
    return false;
}

static int renderFrames(const RenderOptions& options) {
    int64_t first = 0;
    int64_t end = 0;
    if (!rangeFrames(options, first, end)) return 1;
    std::string dir;
    if (!makeOutputDirectory(options, dir)) return 1;
    if (!startDemo(options)) return 1;
    advanceCheaply(0, first, options.fps, options.from);
    ProgressLine progress;
    progress.begin("rendering", end - first);
    for (int64_t k = first; k < end; ++k) {
        drawAndRead(frameMs(k, options.fps));
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.png", static_cast<long long>(k - first));
        if (!writeScreenPng(dir + name)) {
            progress.end();
            stopDemo();
            return 1;
        }
        progress.update(k - first + 1);
    }
    progress.end();
    stopDemo();
    return 0;
}

static int renderVideo(const RenderOptions& options) {
    int64_t first = 0;
    int64_t end = 0;
    if (!rangeFrames(options, first, end)) return 1;
    const std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        reportError("ffmpeg is not on PATH; .mp4 and .mkv output need it (Debian package ffmpeg)");
        return 1;
    }
    std::string error;
    PendingFile out;
    if (!out.create(options.output, false, error)) {
        reportError(error);
        return 1;
    }
    if (!startDemo(options)) {
        out.discard();
        return 1;
    }
    std::string audioPath = musicPath;
    if (access(musicPath, R_OK) != 0) {
        reportError(std::string("no readable ") + musicPath + ": the video has no sound");
        audioPath.clear();
    }
    const bool mkv = options.output.size() >= 4 && options.output.compare(options.output.size() - 4, 4, ".mkv") == 0;
    const double seconds = static_cast<double>(end - first) / options.fps;
    VideoEncoder encoder;
    if (!encoder.start(ffmpeg, out.tempPath, mkv ? "matroska" : "mp4", screenWidth, screenHeight, options.fps,
                       audioPath, frameMs(first, options.fps), seconds, error)) {
        reportError(error);
        out.discard();
        stopDemo();
        return 1;
    }
    advanceCheaply(0, first, options.fps, options.from);
    std::vector<uint8_t> rgb(static_cast<size_t>(screenWidth) * static_cast<size_t>(screenHeight) * 3);
    ProgressLine progress;
    progress.begin("encoding", end - first);
    bool ok = true;
    for (int64_t k = first; k < end && ok; ++k) {
        drawAndRead(frameMs(k, options.fps));
        packRgb(screenRgba.data(), screenWidth, screenHeight, rgb.data());
        ok = encoder.writeFrame(rgb.data(), error);
        progress.update(k - first + 1);
    }
    progress.end();
    ok = ok && encoder.finish(error);
    if (ok) ok = out.commit(error);
    if (!ok) {
        encoder.abort();
        out.discard();
        reportError(error);
    }
    stopDemo();
    return ok ? 0 : 1;
}

static int runBench(const RenderOptions& options) {
    if (!startDemo(options)) return 1;
    // The player stops after the first frame at or beyond the end of the sequence.
    const int64_t frames = firstFrameAtOrAfter(sequenceEndMs, options.fps) + 1;
    constexpr int noScene = timelineRows;
    std::vector<double> times[timelineRows + 1];
    std::vector<double> all;
    all.reserve(static_cast<size_t>(frames));
    ProgressLine progress;
    progress.begin("bench", frames);
    const double started = wallSeconds();
    glFinish();
    for (int64_t k = 0; k < frames; ++k) {
        const int32_t ms = frameMs(k, options.fps);
        // A frame two scenes share counts for the one that is ending.
        int row = noScene;
        for (int i = 0; i < timelineRows && row == noScene; ++i)
            if (inRange(ms, timeline[i].range)) row = i;
        const double t0 = wallSeconds();
        drawFrame(ms);
        // llvmpipe draws asynchronously: without the finish a frame's cost would land on a later one.
        glFinish();
        const double took = (wallSeconds() - t0) * 1000.0;
        times[row].push_back(took);
        all.push_back(took);
        progress.update(k + 1);
    }
    const double total = wallSeconds() - started;
    progress.end();
    stopDemo();

    std::printf("talumen-render --bench: %dx%d, %d fps clock, %lld frames in %.1f s (%.1f frames/s)\n", screenWidth,
                screenHeight, options.fps, static_cast<long long>(frames), total,
                total > 0.0 ? static_cast<double>(frames) / total : 0.0);
    std::printf("%-10s %7s %10s %10s %10s\n", "scene", "frames", "median ms", "p95 ms", "max ms");
    auto row = [](const char* name, const std::vector<double>& rowTimes) {
        const TimingSummary s = summarise(rowTimes);
        std::printf("%-10s %7lld %10.2f %10.2f %10.2f\n", name, static_cast<long long>(s.frames), s.median, s.p95,
                    s.max);
    };
    for (int i = 0; i < timelineRows; ++i) row(timeline[i].name, times[i]);
    if (!times[noScene].empty()) row("(none)", times[noScene]);
    row("whole", all);
    return 0;
}

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions(argc, argv, options, error)) {
        reportError(error + " (see talumen-render --help)");
        return 2;
    }
    if (options.help) {
        std::fputs(renderUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("talumen-render %s\n", TALUMEN_VERSION);
        return 0;
    }
    installInterruptCleanup();
    switch (options.kind) {
        case OutputKind::still:
            return renderStill(options);
        case OutputKind::stills:
            return renderStills(options);
        case OutputKind::frames:
            return renderFrames(options);
        case OutputKind::video:
            return renderVideo(options);
        case OutputKind::none:
            break;
    }
    return runBench(options);
}
