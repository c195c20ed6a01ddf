// run_clock_test.cpp -- the browser run's clock against simulated sound outputs: held, late, suspended, stalled, hidden
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/web/run_clock.h"

// A page's sound as the clock sees it: a context whose clock moves in coarse steps while it
// runs, heard some latency late, and the source the clock asked for.
struct FakeSound {
    bool running = false;
    bool stuck = false;  // says it runs but its clock stands still
    double contextMs = 0.0;
    double fromMs = 0.0, startedAtMs = 0.0;
    static constexpr double stepMs = 10.0, latencyMs = 25.0;

    double clockMs() const { return std::floor(contextMs / stepMs) * stepMs; }
    SoundReading reading() const { return {running, fromMs + clockMs() - startedAtMs - latencyMs}; }
    double heard() const { return fromMs + contextMs - startedAtMs - latencyMs; }
};

// Frames at 60 a second, each doing what the web platform does with the clock.
struct PageRun {
    RunClock clock;
    FakeSound sound;
    double pageMs = 5000.0;
    double largestStepMs = 0.0;
    int placed = 0;

    PageRun() { clock.start(0.0, pageMs); }
    void frames(double forMs, double gapMs = 1000.0 / 60.0) {
        for (double end = pageMs + forMs; pageMs < end;) {
            pageMs += gapMs;
            if (sound.running && !sound.stuck) sound.contextMs += gapMs;
            const double before = clock.instantMs;
            const SoundReading reading = sound.reading();
            clock.follow(pageMs, reading);
            largestStepMs = std::max(largestStepMs, clock.instantMs - before);
            EXPECT_GE(clock.instantMs, before) << "went back at page " << pageMs;
            if (clock.wantsSilence()) clock.soundSilenced();
            if (clock.wantsSound(reading)) {
                sound.fromMs = clock.instantMs;
                sound.startedAtMs = sound.clockMs();
                clock.soundStarted(pageMs);
                ++placed;
            }
        }
    }
};

TEST(RunClock, FollowsTheSoundAndGoesOnWithoutItWithoutAJump) {
    struct Case {
        const char* name;
        double runsFromMs;   // when the context starts running (-1: never)
        double stopsAtMs;    // when it is suspended (-1: never)
        bool stalls;         // at stopsAtMs it stands still instead, still saying it runs
        double backAtMs;     // when a gesture has it running again (-1: never)
        bool heldAtEnd;
        double stuckUntilMs = 0;  // says it runs from the start, but its clock stands until then
    };
    const Case cases[] = {
        {"running at once", 0, -1, false, -1, false},
        {"running, but its clock starts 600 ms late", 0, -1, false, -1, false, 600},
        {"starting after 120 ms", 120, -1, false, -1, false},
        {"never starting (no output)", -1, -1, false, -1, true},
        {"held, then a gesture at 2 s", -1, -1, false, 2000, false},
        {"suspended at 3 s (full screen)", 0, 3000, false, -1, true},
        {"suspended at 3 s, back at 5 s", 0, 3000, false, 5000, false},
        {"standing still at 3 s (device gone)", 0, 3000, true, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PageRun run;
        const double startMs = run.pageMs;
        for (double at = 0; at < 12000; at += 100) {
            run.sound.running = (c.runsFromMs >= 0 && at >= c.runsFromMs && (c.stopsAtMs < 0 || at < c.stopsAtMs)) ||
                                (c.backAtMs >= 0 && at >= c.backAtMs);
            run.sound.stuck = (c.stalls && at >= c.stopsAtMs) || at < c.stuckUntilMs;
            if (c.stalls && at >= c.stopsAtMs) run.sound.running = true;
            run.frames(100);
            // A sound that plays from the start is followed closely within a couple of seconds.
            if (at == 2500 && c.backAtMs < 0 && !c.heldAtEnd) {
                EXPECT_NEAR(run.clock.instantMs, run.sound.heard(), 20.0);
            }
        }
        // Never a jump: at most a frame and the 5 % ease apart, however the clocks changed hands.
        EXPECT_LT(run.largestStepMs, 1000.0 / 60.0 * 1.06);
        EXPECT_EQ(run.clock.soundHeld, c.heldAtEnd);
        if (c.heldAtEnd) {
            // The page's clock carried the run on: it lost no more than the wait for the sound.
            EXPECT_NEAR(run.clock.instantMs, run.pageMs - startMs, RunClock::soundGraceMs + 20.0);
        } else {
            // On the sound again and eased onto what it plays, started there once per hand-over.
            EXPECT_NEAR(run.clock.instantMs, run.sound.heard(), 20.0);
            EXPECT_LE(run.placed, c.backAtMs >= 0 || c.stuckUntilMs > 0 ? 3 : 1);
        }
    }
}

TEST(RunClock, HiddenTabPausesAndJumpsPickUpAtTheRightInstant) {
    for (const bool withSound : {true, false}) {
        SCOPED_TRACE(withSound ? "on the sound" : "on the page's clock");
        PageRun run;
        run.sound.running = withSound;
        run.frames(2000);
        // A hidden tab draws no frames; shown again, the run is where the music is.
        const double before = run.clock.instantMs;
        run.frames(30000, 30000);
        run.frames(500);
        EXPECT_NEAR(run.clock.instantMs, before + 30500, RunClock::soundGraceMs);
        if (withSound) {
            EXPECT_NEAR(run.clock.instantMs, run.sound.heard(), 20.0);
        }

        // Paused, the instant holds and the sound is silenced; resumed, both go on from there.
        run.clock.pause(run.pageMs);
        EXPECT_TRUE(run.clock.wantsSilence() || !withSound);
        const double paused = run.clock.instantMs;
        run.frames(3000);
        EXPECT_EQ(run.clock.instantMs, paused);
        run.clock.resume(run.pageMs);
        run.frames(1000);
        EXPECT_NEAR(run.clock.instantMs, paused + 1000, withSound ? 120.0 : RunClock::soundGraceMs + 20.0);

        // A jump either way lands exactly there, and the sound is started there anew.
        for (const double target : {90000.0, 20000.0}) {
            run.clock.jumpTo(target, run.pageMs);
            EXPECT_EQ(run.clock.instantMs, target);
            run.frames(1000);
            EXPECT_NEAR(run.clock.instantMs, target + 1000, withSound ? 120.0 : RunClock::soundGraceMs + 20.0);
            if (withSound) {
                EXPECT_NEAR(run.sound.fromMs, target, 20.0);
            }
        }
    }
}
