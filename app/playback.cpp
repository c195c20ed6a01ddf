// playback.cpp -- the running demo's clock, pause, seeks by key, and the frame on screen drawn again
#include "app/playback.h"

#include <algorithm>

#include "base/globals.h"
#include "app/timeline.h"
#include "audio/music.h"

Playback playback;

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

}  // namespace

void CommandQueue::push(DemoCommand command) {
    if (count == size) return;
    items[(first + count++) % size] = command;
}

DemoCommand CommandQueue::take() {
    if (count == 0) return DemoCommand::none;
    const DemoCommand command = items[first];
    first = (first + 1) % size;
    --count;
    return command;
}

uint32_t Playback::counterTicks() const { return ticks ? ticks() : 0; }

void Playback::watchSound() {
    rejoinDue = false;
    lastHeardMs = -1;
    lastHeardTick = counterTicks();
    soundClock = withSound;
}

void Playback::prepare() { snapshots.begin(fps); }

void Playback::buildTable() {
    constexpr int64_t framesAtATime = 4 * fps;
    const int64_t measured = trackClockFramesReady();
    if (!snapshots.complete() && measured > snapshots.ahead.frame)
        snapshots.extend(std::min(framesAtATime, measured - snapshots.ahead.frame));
}

void Playback::start(bool sound, uint32_t (*counter)()) {
    withSound = sound;
    ticks = counter;
    tickBaseMs = 0;
    tickBase = counterTicks();
    paused = ended = exactFrameDue = redrawDue = anyShown = soundStalled = false;
    shownMs = 0;
    watchSound();
}

int32_t Playback::now() {
    if (paused || exactFrameDue) return shownMs;
    if (soundClock) return music.audibleMs();
    return tickBaseMs + static_cast<int32_t>(counterTicks() - tickBase);
}

void Playback::pause() {
    if (paused) return;
    paused = true;
    // Nothing on screen yet: the state is still the start-up one, so frame 0 is shown.
    if (!anyShown && !exactFrameDue) {
        shownMs = 0;
        exactFrameDue = true;
    }
    if (withSound) music.moveTo(shownMs, false);
}

void Playback::resume() {
    if (!paused) return;
    paused = false;
    // Picture and sound go on from the frame on screen; the sound queued for the device before
    // the pause took hold is heard again, rather than the picture skipping it.
    if (withSound) music.moveTo(shownMs, true);
    tickBaseMs = shownMs;
    tickBase = counterTicks();
    watchSound();
}

bool Playback::seek(int32_t ms) {
    if (ms > sequenceEndMs) {
        ended = true;
        return false;
    }
    const int64_t frame = firstFrameAtOrAfter(std::max(ms, 0), fps);
    snapshots.landOn(frame);
    shownMs = frameMs(frame, fps);
    exactFrameDue = true;
    redrawDue = false;
    if (withSound) music.moveTo(shownMs, !paused);
    tickBaseMs = shownMs;
    tickBase = counterTicks();
    watchSound();
    return true;
}

bool Playback::apply(DemoCommand command) {
    switch (command) {
        case DemoCommand::pauseOrResume:
            paused ? resume() : pause();
            return true;
        case DemoCommand::forward:
            return seek(now() + skipMs);
        case DemoCommand::back:
            return seek(now() - skipMs);
        case DemoCommand::nextScene:
            return seek(nextSceneStart(now()));
        case DemoCommand::previousScene:
            return seek(previousSceneStart(now()));
        case DemoCommand::toStart:
            return seek(0);
        case DemoCommand::redraw:
            redrawDue = anyShown;
            return true;
        case DemoCommand::none:
            break;
    }
    return true;
}

bool Playback::frameDue(int32_t& ms) {
    if (ended) return false;
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
            music.moveTo(now(), true);
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
        ms = now();
        return true;
    }
    ms = sound;
    return heard;
}

void Playback::draw(int32_t ms) {
    beforeShown = takeSnapshot(0);
    shownReadings.readings.clear();
    shownReadings.replaying = false;
    music.tape = &shownReadings;
    // Without the sound as the clock the track is still heard at the frame's instant, so the
    // picture is the one the sound would have given.
    music.virtualClock = exactFrameDue || (withSound && !soundClock);
    drawFrame(ms);
    music.virtualClock = false;
    music.tape = nullptr;
    exactFrameDue = false;
    redrawDue = false;
    anyShown = true;
    shownMs = ms;
}

void Playback::redrawShown() {
    redrawDue = false;
    if (!anyShown) return;
    restoreSnapshot(beforeShown);
    shownReadings.next = 0;
    shownReadings.replaying = true;
    music.tape = &shownReadings;
    drawFrame(shownMs);
    music.tape = nullptr;
    shownReadings.replaying = false;
}
