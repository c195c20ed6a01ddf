// run.cpp -- one run of the demo: its clock, pause, seeks and frame steps, the frame due drawn, the end, a stalled sound and a lost context
#include "app/run.h"

#include "render/gl.h"

#include <algorithm>
#include <cstdio>

#include "app/timeline.h"
#include "assets/texture.h"
#include "base/globals.h"
#include "base/run_marks.h"
#include "render/carried_gl.h"

DemoRun demoRun;
void (*drawOverFrame)() = nullptr;

namespace {

// The start of the first row that starts after ms; past the end when none does.
int32_t nextSceneStart(int32_t ms) {
    for (const TimelineRow& row : timeline)
        if (row.range.start > ms) return row.range.start;
    return sequenceEndMs + 1;
}

// The start of the row before the one playing at ms (the latest to have started); 0 from the first.
int32_t previousSceneStart(int32_t ms) {
    int32_t current = 0;
    for (const TimelineRow& row : timeline)
        if (row.range.start <= ms) current = row.range.start;
    int32_t previous = 0;
    for (const TimelineRow& row : timeline)
        if (row.range.start < current) previous = row.range.start;
    return previous;
}

// Snapshots between frames take a quarter of the time between two turns (at least 4 ms, at most
// 30), or half of it where no frame was drawn (paused, or the sound awaited), so that the table
// is whole within seconds at any frame rate while the frames keep their pace.
constexpr double snapshotShare = 0.25;
constexpr double snapshotIdleShare = 0.5;
constexpr double snapshotLeastSeconds = 0.004;
constexpr double snapshotMostSeconds = 0.030;
constexpr int64_t snapshotStepFrames = 30;

}  // namespace

void RunEvents::push(RunEvent event) {
    if (count == size) return;
    items[(first + count++) % size] = event;
}

bool RunEvents::pop(RunEvent& event) {
    if (count == 0) return false;
    event = items[first];
    first = (first + 1) % size;
    --count;
    return true;
}

void setUpContext() {
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    applyCarriedGl();
    clearFrame();
}

RunStart watchedRun(uint32_t (*counter)(), int32_t atMs) {
    RunStart start;
    start.atMs = atMs;
    start.playMusic = true;
    start.soundIsClock = true;
    start.counter = counter;
    start.snapshotsBetweenFrames = true;
    return start;
}

uint32_t DemoRun::counterTicks() const { return ticks ? ticks() : 0; }

void DemoRun::startSnapshots(int clockFps) {
    fps = clockFps;
    snapshots.startTable(clockFps);
}

void DemoRun::extendSnapshots(double seconds) {
    // Beyond the loudness the track's thread has measured, a catch-up would wait for it.
    const int64_t measured = music.clockFramesMeasured(fps);
    const double until = steadySeconds() + seconds;
    while (!snapshots.complete() && measured > snapshots.ahead.frame && steadySeconds() < until)
        snapshots.extend(std::min(snapshotStepFrames, measured - snapshots.ahead.frame));
}

bool DemoRun::startRun(const RunStart& start) {
    if (snapshots.taken.empty() || snapshots.fps != start.fps) startSnapshots(start.fps);
    fps = start.fps;
    betweenFrames = start.snapshotsBetweenFrames;
    readClock = start.readClock;
    withSound = start.playMusic && music.play();
    soundIsClock = start.soundIsClock;
    ticks = start.counter;
    tickBaseMs = 0;
    tickBase = counterTicks();
    running = true;
    ended = RunEnd::none;
    paused = contextLost = exactFrameDue = redrawDue = anyShown = soundStalled = saidStall = helpShown = false;
    fullScreen = true;
    shownMs = 0;
    events.drop();
    said.clear();
    lastTurnSeconds = 0.0;
    watchSound();
    if (start.atMs > 0) seek(std::min(start.atMs, sequenceEndMs));
    return withSound;
}

void DemoRun::watchSound() {
    rejoinDue = false;
    lastHeardMs = -1;
    lastHeardTick = counterTicks();
    soundClock = withSound && soundIsClock;
}

int32_t DemoRun::instant() {
    if (paused || exactFrameDue) return shownMs;
    if (soundClock) return music.audibleMs();
    return tickBaseMs + static_cast<int32_t>(counterTicks() - tickBase);
}

void DemoRun::endWith(RunEnd why) {
    if (ended == RunEnd::none) ended = why;
}

void DemoRun::pauseRun() {
    if (paused) return;
    paused = true;
    // Nothing on screen yet: the state is still the start-up one, so frame 0 is shown.
    if (!anyShown && !exactFrameDue) {
        shownMs = 0;
        exactFrameDue = true;
    }
    if (withSound) music.moveTo(shownMs, false);
}

void DemoRun::resumeRun() {
    if (!paused) return;
    paused = false;
    // Picture and sound go on from the frame on screen; the sound queued for the device before
    // the pause took hold is heard again, rather than the picture skipping it.
    if (withSound) music.moveTo(shownMs, true);
    tickBaseMs = shownMs;
    tickBase = counterTicks();
    watchSound();
}

bool DemoRun::seek(int32_t ms) {
    if (ms > sequenceEndMs) {
        endWith(RunEnd::sequenceEnd);
        return false;
    }
    const double started = steadySeconds();
    const int64_t frame = firstFrameAtOrAfter(std::max(ms, 0), fps);
    snapshots.landOn(frame);
    landingSeconds = steadySeconds() - started;
    shownMs = frameMs(frame, fps);
    exactFrameDue = true;
    redrawDue = false;
    if (withSound) music.moveTo(shownMs, !paused);
    tickBaseMs = shownMs;
    tickBase = counterTicks();
    watchSound();
    return true;
}

// A frame of the clock on or back from the one on screen, which need not be one of the clock's
// (the sound's instants are not): on, the first frame after it; back, the last one before it.
// The steps stay within the sequence and short of its last frame, whose drawing ends the run.
void DemoRun::stepFrames(int frames) {
    const int32_t from = instant();
    int64_t frame = frames > 0 ? firstFrameAtOrAfter(from + 1, fps) : firstFrameAtOrAfter(from, fps) - 1;
    frame = std::max<int64_t>(0, std::min(frame, firstFrameAtOrAfter(sequenceEndMs, fps) - 1));
    seek(frameMs(frame, fps));
}

// The commands that come from the viewer's keys, clicks and taps, rather than from the window,
// the GL or the help key itself: each one takes the help away.
static bool fromTheViewer(RunCommand command) {
    switch (command) {
        case RunCommand::none:
        case RunCommand::help:
        case RunCommand::redraw:
        case RunCommand::contextLost:
        case RunCommand::contextRenewed:
            return false;
        default:
            return true;
    }
}

void DemoRun::apply(const RunEvent& event) {
    if (helpShown && fromTheViewer(event.command)) {
        helpShown = false;
        redrawDue = paused && anyShown;
    }
    bool report = true;
    switch (event.command) {
        case RunCommand::none:
            report = false;
            break;
        case RunCommand::stop:
            endWith(RunEnd::stopped);
            report = false;
            break;
        case RunCommand::pauseOrResume:
            paused ? resumeRun() : pauseRun();
            break;
        case RunCommand::forward:
            seek(instant() + skipMs);
            break;
        case RunCommand::back:
            seek(instant() - skipMs);
            break;
        case RunCommand::nextScene:
            seek(nextSceneStart(instant()));
            break;
        case RunCommand::previousScene:
            seek(previousSceneStart(instant()));
            break;
        case RunCommand::toStart:
            seek(0);
            break;
        case RunCommand::seekTo:
            seek(event.ms);
            break;
        case RunCommand::frameForward:
        case RunCommand::frameBack:
            // A frame step is for a picture that stands still; while playing it would be lost.
            if (paused) stepFrames(event.command == RunCommand::frameForward ? 1 : -1);
            report = paused;
            break;
        case RunCommand::muteOrUnmute:
            music.setMuted(!music.muted);
            said += music.muted ? "talumen: sound off\n" : "talumen: sound on\n";
            report = false;
            break;
        case RunCommand::fullScreen:
            fullScreen = !fullScreen;
            report = false;
            break;
        case RunCommand::help:
            helpShown = !helpShown;
            redrawDue = paused && anyShown;
            report = false;
            break;
        case RunCommand::redraw:
            redrawDue = anyShown;
            report = false;
            break;
        case RunCommand::contextLost:
            contextLost = true;
            report = false;
            break;
        case RunCommand::contextRenewed:
            // A context made anew holds nothing: the pictures are made again under the names they
            // had (so the snapshots' bound pictures are still theirs), the carried state is set
            // again from the record, and the run goes on from its instant as a seek goes on.
            contextLost = false;
            setUpContext();
            reloadTextures();
            seek(instant());
            report = false;
            break;
    }
    if (!report || ended != RunEnd::none) return;
    const char* what = event.command != RunCommand::pauseOrResume ? "at" : paused ? "paused at" : "playing from";
    const int32_t ms = instant();
    char line[64];
    std::snprintf(line, sizeof line, "talumen: %s %d.%03d s\n", what, static_cast<int>(ms / 1000),
                  static_cast<int>(ms % 1000));
    said += line;
}

bool DemoRun::frameDue(int32_t& ms) {
    if (exactFrameDue) {
        ms = shownMs;
        return true;
    }
    if (paused) return false;
    bool heard = true;
    const int32_t sound = withSound ? music.audibleMs(&heard) : 0;
    const uint32_t tick = counterTicks();
    const bool moved = withSound && sound != lastHeardMs;
    if (moved) {
        // A sound that moves again after the counter took over is moved to the counter's
        // instant, once, so that the two are heard together again.
        if (rejoinDue && lastHeardMs >= 0) {
            music.moveTo(instant(), true);
            rejoinDue = false;
        }
        lastHeardMs = sound;
        lastHeardTick = tick;
    }
    if (soundClock && !audioDevice.keepsTime && !moved && tick - lastHeardTick > stallMs) {
        soundClock = false;
        soundStalled = rejoinDue = true;
        tickBaseMs = shownMs;
        tickBase = tick;
    }
    if (!soundClock) {
        ms = instant();
        return true;
    }
    ms = sound;
    return heard;
}

void DemoRun::draw(int32_t ms, bool shown) {
    beforeShown = takeSnapshot(0);
    shownReadings.readings.clear();
    shownReadings.replaying = false;
    music.tape = &shownReadings;
    // Without the sound as the clock the track is still heard at the frame's instant, so the
    // picture is the one the sound would have given.
    music.virtualClock = exactFrameDue || (withSound && !soundClock);
    const bool wasSkipping = skipDrawing;
    skipDrawing = wasSkipping || !shown;
    drawFrame(ms);
    skipDrawing = wasSkipping;
    if (shown && helpShown && drawOverFrame) drawOverFrame();
    music.virtualClock = false;
    music.tape = nullptr;
    exactFrameDue = false;
    redrawDue = false;
    anyShown = true;
    shownMs = ms;
}

void DemoRun::redrawShown() {
    redrawDue = false;
    if (!anyShown) return;
    restoreSnapshot(beforeShown);
    shownReadings.next = 0;
    shownReadings.replaying = true;
    music.tape = &shownReadings;
    drawFrame(shownMs);
    music.tape = nullptr;
    shownReadings.replaying = false;
    if (helpShown && drawOverFrame) drawOverFrame();
}

RunTurn DemoRun::turn(bool shown) {
    RunTurn result;
    const double turnSeconds = steadySeconds();
    const double sinceLast = lastTurnSeconds > 0.0 ? turnSeconds - lastTurnSeconds : 0.0;
    lastTurnSeconds = turnSeconds;
    for (RunEvent event; ended == RunEnd::none && events.pop(event);) apply(event);
    if (readClock && running) readClock();
    if (ended != RunEnd::none || !running) {
        result.ended = ended != RunEnd::none ? ended : RunEnd::stopped;
        return result;
    }
    if (contextLost) {
        // Nothing can be drawn; the clock goes on, and the renewal lands at its instant.
        result.waitMs = 10;
        return result;
    }
    const bool landing = exactFrameDue;
    const bool first = !anyShown;
    int32_t ms = 0;
    if (frameDue(ms) && (landing || first || ms != shownMs)) {
        draw(ms, shown);
        result.drawn = shown;
        result.landed = landing;
        // The frame at or beyond the end is the last one shown.
        if (elapsedMs >= sequenceEndMs) endWith(RunEnd::sequenceEnd);
        result.ended = ended;
        // A seek's frame and the first one are shown without waiting for the table.
        if (landing || first || ended != RunEnd::none) return result;
    } else if (redrawDue) {
        // Paused: the frame on screen, not a new one.
        redrawShown();
        result.drawn = true;
    } else {
        result.waitMs = paused ? 10 : 1;
    }
    if (soundStalled && !saidStall) {
        said += "talumen: the sound stopped; the demo goes on without it\n";
        saidStall = true;
    }
    if (betweenFrames) {
        const double share = result.drawn ? snapshotShare : snapshotIdleShare;
        extendSnapshots(std::min(snapshotMostSeconds, std::max(snapshotLeastSeconds, share * sinceLast)));
    }
    return result;
}

std::string DemoRun::takeSaid() {
    // Said once the frame they lead to is on screen.
    if (exactFrameDue) return {};
    std::string lines;
    lines.swap(said);
    return lines;
}

void DemoRun::finish() {
    if (running) music.stop();
    running = false;
}
