// main.cpp -- talumen-render: the demo's frame loop on a virtual clock, headless, to stills, frames and video
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/allocator.h"
#include "base/globals.h"
#include "app/run.h"
#include "app/seek.h"
#include "app/timeline.h"
#include "assets/data_path.h"
#include "assets/loader.h"
#include "audio/music.h"
#include "platform/egl_context.h"
#include "base/program_folder.h"
#include "render/gl.h"
#include "render/carried_gl.h"
#include "render/overlay.h"
#include "render_tool.h"

#ifndef TALUMEN_VERSION
#define TALUMEN_VERSION "unknown"
#endif

static HeadlessGl gl;
static FrameLayout layout;
static std::vector<uint8_t> drawnRgba;  // the frame buffer as GL reads it, bottom row first
static std::vector<uint8_t> frameRgb;   // the capture, top row first
static bool musicOpened = false;

static double fixedLevel = 0.0;
static double fixedLevelReading() { return fixedLevel; }

// The run's clock: the instant of the frame of the fps clock being drawn, set before each turn.
static uint32_t virtualMs = 0;
static uint32_t virtualClock() { return virtualMs; }

// Where the start stood after each of its stages, for --bench-start.
struct StartMarks {
    RunMark begun;
    RunMark gl;
    RunMark loaded;
    RunMark track;
};
static StartMarks startMarks;

// The latest instant the run reads the music at: the track's thread measures the loudness of
// every frame of the clock up to it while the rest of the start goes on.
static int32_t lastInstant(const RenderOptions& options) {
    switch (options.kind) {
        case OutputKind::still:
        case OutputKind::none:
            return options.bench || options.benchSeek ? sequenceEndMs : options.at;
        case OutputKind::stills:
            return *std::max_element(options.stills.begin(), options.stills.end());
        case OutputKind::seeks:
            // Each seek plays on for a second.
            return *std::max_element(options.seeks.begin(), options.seeks.end()) + 1000;
        case OutputKind::frames:
        case OutputKind::video:
            return options.to;
    }
    return sequenceEndMs;
}

// Exit status of a start that failed because the GL cannot draw a frame buffer that large:
// a bad --size or --ssaa, found only once the GL is there.
static constexpr int startTooLarge = 2;

// The player's start-up without its dialog and window: the display-mode globals as the dialog
// sets them, the GL (with the files read meanwhile), smooth lines, one clear, the loads taken
// into GL in timeline order, then the music.
// 0 when the demo is ready, else the exit status, the reason reported.
static int startDemo(const RenderOptions& options) {
    setDataFolder(options.dataFolder.empty() ? chooseDataFolder(programFolder()) : options.dataFolder);
    layout = frameLayout(options.width, options.height, options.ssaa);
    useFrameLayout(layout);
    startMarks.begun = markRun();
    // The files are read on helper threads, and the track on a thread of its own, while the GL
    // comes up; the track's thread goes on through the catch-up.
    if (!options.fixedLevel) music.startReading(options.fps, lastInstant(options), false);
    startLoadingScenes(loadHelpers());
    if (!gl.create(layout.drawWidth, layout.drawHeight)) {
        dropSceneLoads();
        music.stop();
        if (gl.largestSide > 0 && (layout.drawWidth > gl.largestSide || layout.drawHeight > gl.largestSide)) {
            reportError("--size " + std::to_string(options.width) + "x" + std::to_string(options.height) +
                        " with --ssaa " + std::to_string(options.ssaa) + " draws " +
                        std::to_string(layout.drawWidth) + "x" + std::to_string(layout.drawHeight) +
                        " pixels; this GL draws at most " + std::to_string(gl.largestSide) + " a side");
            return startTooLarge;
        }
        reportError(std::string("no headless OpenGL context (") + headlessGlNeeds + " is needed)");
        return 1;
    }
    drawnRgba.assign(static_cast<size_t>(layout.drawWidth) * static_cast<size_t>(layout.drawHeight) * 4, 0);
    frameRgb.assign(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height) * 3, 0);
    // GL's own starting width, 1, which the opening draws with, scaled like every later one.
    setLineWidth(1.0f);
    setUpContext();
    // Frames that only move the state on draw into a 1 x 1 scissor box instead, to check that
    // the two give the same frames.
    const char* catchUp = std::getenv("TALUMEN_RENDER_CATCH_UP");
    catchUpDrawn = catchUp && std::strcmp(catchUp, "drawn") == 0;
    startMarks.gl = markRun();
    finishLoadingScenes();
    startMarks.loaded = markRun();

    if (options.fixedLevel) {
        fixedLevel = options.level;
        music.levelSource = fixedLevelReading;
        startMarks.track = markRun();
        return 0;
    }
    // The offline device plays nothing: what it "hears" is the track at elapsedMs.
    audioDevice = clockAudioDevice();
    if (!music.open()) {
        reportError("the music did not open; --level X renders without " + dataPath(musicPath));
        gl.destroy();
        return 1;
    }
    musicOpened = true;
    music.play();
    startMarks.track = markRun();
    return 0;
}

static void stopDemo() {
    demoRun.finish();
    if (musicOpened) music.stop();
    musicOpened = false;
    gl.destroy();
}

// The run, started at the fps clock's frame at or after atMs, which the first turn draws: the
// frames before it only move the scenes' state on, from the nearest snapshot.
static void beginRun(const RenderOptions& options, int32_t atMs) {
    RunStart start;
    start.fps = options.fps;
    start.atMs = atMs;
    start.playMusic = musicOpened;
    start.counter = virtualClock;
    virtualMs = static_cast<uint32_t>(frameMs(firstFrameAtOrAfter(atMs, options.fps), options.fps));
    demoRun.startRun(start);
}

// The run's turn at frame k of the clock: drawn, or with shown false only moving the state on.
static void turnAt(int64_t k, const RenderOptions& options, bool shown = true) {
    virtualMs = static_cast<uint32_t>(frameMs(k, options.fps));
    demoRun.turn(shown);
}

// A seek, as the player's keys seek, to the clock's frame at or after ms, drawn.
static int32_t seekTo(int32_t ms, const RenderOptions& options) {
    const int64_t frame = firstFrameAtOrAfter(ms, options.fps);
    virtualMs = static_cast<uint32_t>(frameMs(frame, options.fps));
    demoRun.post(RunEvent{RunCommand::seekTo, ms});
    demoRun.turn();
    return frameMs(frame, options.fps);
}

// The frame the run drew last into frameRgb.
static void readFrame() {
    gl.readBottomUp(drawnRgba.data());
    composeFrame(layout, drawnRgba.data(), frameRgb.data());
}

static int renderStill(const RenderOptions& options) {
    std::string error;
    PendingFile out;
    if (!out.create(options.output, true, error)) {
        reportError(error);
        return 1;
    }
    const int started = startDemo(options);
    if (started != 0) {
        out.discard();
        return started;
    }
    beginRun(options, options.at);
    demoRun.turn();
    readFrame();
    if (!writePng(out.file, layout.width, layout.height, frameRgb.data())) {
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
    std::error_code error;
    std::filesystem::create_directory(dir, error);
    if (error && !std::filesystem::exists(dir)) {
        reportError("cannot make the directory \"" + dir + "\": " + error.message());
        return false;
    }
    if (!std::filesystem::is_directory(dir, error) || access(dir.c_str(), W_OK) != 0) {
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
    if (written && !writePng(out.file, layout.width, layout.height, frameRgb.data())) {
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
    const int started = startDemo(options);
    if (started != 0) return started;
    bool begun = false;
    for (const int32_t ms : options.stills) {
        if (!begun) {
            beginRun(options, ms);
            demoRun.turn();
        } else {
            seekTo(ms, options);
        }
        begun = true;
        readFrame();
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

// Stills reached the way the player's keys reach them: each instant, in the order given, by a
// seek from wherever the run stands, landing on the clock's frame at or after it (written as
// DIR/MS.png for that frame's instant); then the run plays on for a second, cheaply, as it
// would on screen, before the next seek.
static int renderSeeks(const RenderOptions& options) {
    std::string dir;
    if (!makeOutputDirectory(options, dir)) return 1;
    const int started = startDemo(options);
    if (started != 0) return started;
    beginRun(options, 0);
    for (const int32_t ms : options.seeks) {
        const int32_t landed = seekTo(ms, options);
        readFrame();
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.png", static_cast<int>(landed));
        if (!writeScreenPng(dir + name)) {
            stopDemo();
            return 1;
        }
        const int64_t frame = firstFrameAtOrAfter(landed, options.fps);
        for (int64_t k = frame + 1; k <= frame + options.fps; ++k) turnAt(k, options, false);
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
    const int started = startDemo(options);
    if (started != 0) return started;
    beginRun(options, options.from);
    ProgressLine progress;
    progress.begin("rendering", end - first);
    for (int64_t k = first; k < end; ++k) {
        turnAt(k, options);
        readFrame();
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

// Frames go to the encoder from a thread of their own: while one frame is averaged down,
// packed and written down the pipe, the next one is drawn.
struct FrameHandOff {
    VideoEncoder* encoder = nullptr;
    std::thread worker;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<uint8_t> waiting;  // a drawn frame the worker has not taken yet
    bool hasWaiting = false;
    bool closing = false;
    bool failed = false;
    std::string error;

    void start(VideoEncoder& to) {
        encoder = &to;
        waiting.assign(drawnRgba.size(), 0);
        worker = std::thread([this] { run(); });
    }

    void run() {
        std::vector<uint8_t> drawn(waiting.size());
        std::vector<uint8_t> frame(static_cast<size_t>(encoder->frameBytes));
        for (;;) {
            {
                std::unique_lock<std::mutex> held(lock);
                changed.wait(held, [this] { return hasWaiting || closing; });
                if (!hasWaiting) return;
                drawn.swap(waiting);
                hasWaiting = false;
            }
            changed.notify_all();
            if (encoder->takesYuv)
                composeYuvFrame(layout, drawn.data(), frame.data());
            else
                composeFrame(layout, drawn.data(), frame.data());
            std::string why;
            if (!encoder->writeFrame(frame.data(), why)) {
                std::lock_guard<std::mutex> held(lock);
                failed = true;
                error = why;
                closing = true;
                hasWaiting = false;
                changed.notify_all();
                return;
            }
        }
    }

    // Takes the frame in drawn (leaving the worker's spare buffer there); false once the
    // encoder has failed.
    bool give(std::vector<uint8_t>& drawn) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [this] { return !hasWaiting || failed; });
        if (failed) return false;
        drawn.swap(waiting);
        hasWaiting = true;
        changed.notify_all();
        return true;
    }

    // Waits until every frame given is written; false with the reason when one was not.
    bool finish(std::string& why) {
        {
            std::lock_guard<std::mutex> held(lock);
            closing = true;
        }
        changed.notify_all();
        if (worker.joinable()) worker.join();
        if (failed) why = error;
        return !failed;
    }
};

static int renderVideo(const RenderOptions& options) {
    int64_t first = 0;
    int64_t end = 0;
    if (!rangeFrames(options, first, end)) return 1;
    const std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        reportError(std::string("ffmpeg is not on PATH; .mp4 and .mkv output need it") + encoderSource);
        return 1;
    }
    std::string error;
    PendingFile out;
    if (!out.create(options.output, false, error)) {
        reportError(error);
        return 1;
    }
    const int started = startDemo(options);
    if (started != 0) {
        out.discard();
        return started;
    }
    // The sound is the track as the demo decodes and plays it, from the first frame's instant for
    // as long as the frames last. With --level the music was not opened: the track is opened
    // here for the sound alone.
    const std::string audioPath = dataPath(musicPath);
    const bool ownTrack = !trackIsOpen() && access(audioPath.c_str(), R_OK) == 0;
    if (ownTrack) openTrack(audioPath.c_str(), 0, 0, false);
    ExportSound sound;
    const TrackLayout track = trackLayout();
    if (access(audioPath.c_str(), R_OK) != 0) {
        reportError("no readable " + audioPath + ": the video has no sound");
    } else if (track.channels == 0 || !trackStarts()) {
        reportError(audioPath + " is not a track that plays: the video has no sound");
    } else {
        if (ownTrack && !trackEndNote(track).empty()) reportError(trackEndNote(track));
        sound.channels = track.channels;
        sound.rate = track.rate;
        sound.firstFrame = clockAudibleFrame(frameMs(first, options.fps), track.rate);
        sound.frameCount = ((end - first) * track.rate + options.fps / 2) / options.fps;
    }
    const bool mkv = options.output.size() >= 4 && options.output.compare(options.output.size() - 4, 4, ".mkv") == 0;
    VideoEncoder encoder;
    VideoQuality quality;
    quality.lossless = options.lossless;
    if (options.hasCrf) quality.crf = options.crf;
    if (!encoder.start(ffmpeg, out.tempPath, mkv ? "matroska" : "mp4", layout.width, layout.height, options.fps,
                       quality, sound, error)) {
        reportError(error);
        out.discard();
        if (ownTrack) closeTrack();
        stopDemo();
        return 1;
    }
    beginRun(options, options.from);
    ProgressLine progress;
    progress.begin("encoding", end - first);
    FrameHandOff handOff;
    handOff.start(encoder);
    bool ok = true;
    for (int64_t k = first; k < end && ok; ++k) {
        turnAt(k, options);
        gl.readBottomUp(drawnRgba.data());
        ok = handOff.give(drawnRgba);
        progress.update(k - first + 1);
    }
    progress.end();
    ok = handOff.finish(error) && ok;
    ok = ok && encoder.finish(error);
    if (ok) ok = out.commit(error);
    if (!ok) {
        encoder.abort();
        out.discard();
        reportError(error);
    }
    // The sound's thread is done with the track.
    if (ownTrack) closeTrack();
    stopDemo();
    return ok ? 0 : 1;
}

static int runBench(const RenderOptions& options) {
    const int status = startDemo(options);
    if (status != 0) return status;
    // The player stops after the first frame at or beyond the end of the sequence.
    const int64_t frames = firstFrameAtOrAfter(sequenceEndMs, options.fps) + 1;
    constexpr int noScene = timelineRows;
    std::vector<double> times[timelineRows + 1];
    std::vector<double> all;
    all.reserve(static_cast<size_t>(frames));
    ProgressLine progress;
    progress.begin("bench", frames);
    beginRun(options, 0);
    const double started = wallSeconds();
    glFinish();
    for (int64_t k = 0; k < frames; ++k) {
        const int32_t ms = frameMs(k, options.fps);
        // A frame two scenes share counts for the one that is ending.
        int row = noScene;
        for (int i = 0; i < timelineRows && row == noScene; ++i)
            if (inRange(ms, timeline[i].range)) row = i;
        const double t0 = wallSeconds();
        turnAt(k, options);
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

    std::printf("talumen-render --bench: %dx%d, %d fps clock, %lld frames in %.1f s (%.1f frames/s)\n", layout.width,
                layout.height, options.fps, static_cast<long long>(frames), total,
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

// Seeks to ten instants over the sequence, forward and back, each timed to its first frame
// drawn: first as a seek without snapshots works (the start-up state caught up), then from the
// nearest snapshot, the way the player seeks.
static int runSeekBench(const RenderOptions& options) {
    const int status = startDemo(options);
    if (status != 0) return status;
    const int fps = options.fps;
    SnapshotTable snapshots;
    snapshots.startTable(fps);
    // The first frame pays for the rasteriser's set-up; the player has drawn it before any seek.
    drawFrame(0);
    glFinish();
    const double tableStart = wallSeconds();
    snapshots.extend(snapshots.last);
    const double tableMs = (wallSeconds() - tableStart) * 1000.0;

    const int32_t targets[] = {140000, 20000, 121000, 60000, 150000, 92500, 5000, 100000, 80000, 35000};
    constexpr int count = sizeof targets / sizeof targets[0];
    double took[2][count] = {};
    double frameOnly[count] = {};
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count; ++i) {
            const int64_t frame = firstFrameAtOrAfter(targets[i], fps);
            const double t0 = wallSeconds();
            snapshots.landOn(frame, pass == 0);
            const double t1 = wallSeconds();
            drawFrame(frameMs(frame, fps));
            glFinish();
            const double t2 = wallSeconds();
            took[pass][i] = (t2 - t0) * 1000.0;
            frameOnly[i] = (t2 - t1) * 1000.0;
        }
    }
    stopDemo();

    std::printf("talumen-render --bench-seek: %dx%d, %d fps clock; %zu snapshots, one every %lld frames, %.1f KiB, "
                "taken in %.1f ms\n",
                layout.width, layout.height, fps, snapshots.taken.size(), static_cast<long long>(snapshots.every),
                static_cast<double>(snapshots.bytes()) / 1024.0, tableMs);
    std::printf("%9s %9s %16s %16s %14s\n", "seek to", "lands on", "from start ms", "from snapshot ms", "its frame ms");
    for (int i = 0; i < count; ++i) {
        const int32_t landed = frameMs(firstFrameAtOrAfter(targets[i], fps), fps);
        std::printf("%9d %9d %16.1f %16.1f %14.1f\n", static_cast<int>(targets[i]), static_cast<int>(landed),
                    took[0][i], took[1][i], frameOnly[i]);
    }
    return 0;
}

// The start of a still, stage by stage: what each took on the clock and in processor time (all
// threads), and the resident memory after it. One start a process: run it several times for a median.
static int runStartBench(const RenderOptions& options) {
    const int status = startDemo(options);
    if (status != 0) return status;
    beginRun(options, options.at);
    const RunMark caughtUp = markRun();
    demoRun.turn();
    readFrame();
    const RunMark drawn = markRun();
    const TrackTimes trackDone = trackTimes();
    stopDemo();

    std::printf("talumen-render --bench-start: %dx%d, the frame at %d ms of the %d fps clock\n", layout.width,
                layout.height, static_cast<int>(options.at), options.fps);
    std::printf("%-12s %9s %9s %14s\n", "stage", "wall ms", "cpu ms", "resident MiB");
    auto stage = [](const char* name, const RunMark& from, const RunMark& to) {
        std::printf("%-12s %9.1f %9.1f %14.1f\n", name, (to.wallSeconds - from.wallSeconds) * 1000.0,
                    (to.cpuSeconds - from.cpuSeconds) * 1000.0, to.residentKib / 1024.0);
    };
    stage("GL context", startMarks.begun, startMarks.gl);
    stage("loads", startMarks.gl, startMarks.loaded);
    std::printf("  (the files are read from the start of the GL context on; this is what is left after it)\n");
    std::printf("  pictures: %d in GL; decoding %.1f ms, mipmaps into GL %.1f ms (summed over threads)\n",
                loadTimes.pictures, loadTimes.pictureDecodeSeconds * 1000.0, loadTimes.pictureUploadSeconds * 1000.0);
    std::printf("  meshes: %d read in %.1f ms\n", loadTimes.meshes, loadTimes.meshSeconds * 1000.0);
    stage(options.fixedLevel ? "track (none)" : "track", startMarks.loaded, startMarks.track);
    if (!options.fixedLevel) {
        // The track's clock is the steady clock, as the marks' wall clock is.
        const auto since = [](double at) { return at > 0.0 ? (at - startMarks.begun.wallSeconds) * 1000.0 : 0.0; };
        std::printf("  (decoded on a thread of its own from the start on: headers at %.1f ms, first frames at %.1f ms;\n"
                    "   %.1f ms decoding and measuring, %lld chunks, %lld seeks, %.1f MiB of samples held at most)\n",
                    since(trackDone.headersSeconds), since(trackDone.firstFramesSeconds),
                    trackDone.decodeSeconds * 1000.0, static_cast<long long>(trackDone.chunksDecoded),
                    static_cast<long long>(trackDone.seeks), static_cast<double>(trackDone.heldBytes) / (1024.0 * 1024.0));
    }
    stage("catch-up", startMarks.track, caughtUp);
    stage("first frame", caughtUp, drawn);
    std::printf("%-12s %9.1f %9.1f\n", "total", (drawn.wallSeconds - startMarks.begun.wallSeconds) * 1000.0,
                (drawn.cpuSeconds - startMarks.begun.cpuSeconds) * 1000.0);
    std::printf("peak resident memory: %.1f MiB\n", peakResidentKib() / 1024.0);
    return 0;
}

int main(int argc, char** argv) {
    tuneAllocator();
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
    if (options.benchStart) return runStartBench(options);
    switch (options.kind) {
        case OutputKind::still:
            return renderStill(options);
        case OutputKind::stills:
            return renderStills(options);
        case OutputKind::seeks:
            return renderSeeks(options);
        case OutputKind::frames:
            return renderFrames(options);
        case OutputKind::video:
            return renderVideo(options);
        case OutputKind::none:
            break;
    }
    return options.benchSeek ? runSeekBench(options) : runBench(options);
}
