// run_clock.cpp -- the run's instant from the sound's clock, the page's clock, and the hand-overs between them
#include "platform/web/run_clock.h"

#include <algorithm>
#include <cmath>

namespace {

// The page's clock takes the run on from the instant it had reached.
void toPage(RunClock& clock, bool held) {
    clock.silenceDue = clock.silenceDue || clock.soundPlaced;
    clock.onSound = false;
    clock.holding = false;
    clock.soundRetried = false;
    clock.soundHeld = held;
    clock.soundMoving = false;
}

// The instant is held at runMs until the sound, started there, moves; a sound that was held
// back stays so, and the page's clock goes on from runMs meanwhile.
void placeAt(RunClock& clock, double runMs) {
    clock.instantMs = runMs;
    clock.silenceDue = clock.silenceDue || clock.soundPlaced;
    clock.soundPlaced = false;
    clock.soundMoving = false;
    clock.soundRead = false;
    if (clock.soundHeld) {
        toPage(clock, true);
    } else {
        clock.onSound = true;
        clock.holding = true;
        clock.waitSinceMs = -1.0;
    }
}

// Where the sound is now: its last move, carried on by the page's clock between moves.
double soundNow(const RunClock& clock, double pageMs) { return clock.lastSoundMs + (pageMs - clock.soundMovedAtMs); }

}  // namespace

void RunClock::start(double runMs, double pageMs) {
    *this = RunClock();
    started = true;
    lastPageMs = pageMs;
    placeAt(*this, runMs);
}

void RunClock::jumpTo(double runMs, double pageMs) {
    if (!started) return;
    lastPageMs = pageMs;
    placeAt(*this, runMs);
}

void RunClock::pause(double pageMs) {
    if (!started || paused) return;
    lastPageMs = pageMs;
    paused = true;
    silenceDue = silenceDue || soundPlaced;
}

void RunClock::resume(double pageMs) {
    if (!started || !paused) return;
    paused = false;
    lastPageMs = pageMs;
    placeAt(*this, instantMs);
}

void RunClock::soundStarted(double pageMs) {
    soundPlaced = true;
    soundMoving = false;
    soundRead = false;
    soundMovedAtMs = pageMs;
}

double RunClock::follow(double pageMs, const SoundReading& sound) {
    if (!started || paused) return instantMs;
    const double stepMs = std::max(0.0, pageMs - lastPageMs);
    lastPageMs = pageMs;

    // A move is a reading that differs from the one before, of a sound started at the instant.
    bool moved = false;
    if (soundPlaced && sound.running) {
        if (!soundRead) {
            soundRead = true;
            lastSoundMs = sound.ms;
        } else if (sound.ms != lastSoundMs) {
            moved = true;
            lastSoundMs = sound.ms;
            soundMovedAtMs = pageMs;
        }
    }

    if (!onSound) {
        instantMs += stepMs;
        if (moved && !soundRetried && std::fabs(instantMs - soundNow(*this, pageMs)) > soundRetryMs) {
            // The output began to play well after the sound was started (one slow to start
            // says it runs before it does): the sound is started again at the instant.
            soundRetried = true;
            silenceDue = true;
            soundPlaced = false;
            return instantMs;
        }
        // The sound, started at about the instant, plays: it takes charge again.
        if (moved) {
            onSound = true;
            soundMoving = true;
            soundHeld = false;
        }
        return instantMs;
    }
    if (moved) soundMoving = true;
    if (!soundMoving) {
        // Awaited: the instant stays where the sound will start, for a while from the first
        // frame on (the frame that starts a run may be a slow one).
        if (waitSinceMs < 0.0) waitSinceMs = pageMs;
        if (pageMs - waitSinceMs >= soundGraceMs) toPage(*this, true);
        return instantMs;
    }
    if (!sound.running) {
        // Suspended, interrupted or closed under the run: the page's clock goes on at once.
        if (!holding) instantMs += stepMs;
        toPage(*this, true);
        return instantMs;
    }
    const double soundNowMs = soundNow(*this, pageMs);
    if (holding) {
        // Started at the instant, the sound is heard there only after its output's latency:
        // the instant waits for it, so that picture and sound start together.
        if (soundNowMs < instantMs) return instantMs;
        holding = false;
        instantMs = soundNowMs;
        return instantMs;
    }
    // The instant moves with the page's clock and is steered onto the sound at most 5 % of
    // the way per step: a sound clock that moves in coarse steps, or a hand-over, then never
    // shows as a jump. Where the sound is somewhere else altogether, the instant goes there.
    const double predictedMs = instantMs + stepMs;
    const double differenceMs = soundNowMs - predictedMs;
    const double mostMs = easePerMs * stepMs;
    instantMs = std::fabs(differenceMs) > soundSnapMs
                    ? std::max(instantMs, soundNowMs)
                    : predictedMs + std::max(-mostMs, std::min(mostMs, differenceMs));
    // A sound that says it runs but stands still: its last move was carried on meanwhile, and
    // the page's clock goes on from here.
    if (pageMs - soundMovedAtMs >= soundGraceMs) toPage(*this, true);
    return instantMs;
}
