// run_clock.h -- the run's instant in a browser: the sound's clock while it plays, the page's clock otherwise
#pragma once

// What the page's sound says at one moment.
struct SoundReading {
    bool running = false;  // its context runs (not suspended, interrupted or closed)
    double ms = 0.0;       // the run instant audible now: where its source was started, plus what has played since
};

// The run's instant in milliseconds, read once a frame. While the sound plays, the instant
// follows it; where the sound does not start, is held back by the browser or stands still,
// the page's own clock carries the run on from the instant it had reached. When the sound
// runs again it is started at the instant, and the instant is steered onto it, so that
// neither hand-over makes a visible jump. Both clocks are passed in, so the clock itself is plain
// arithmetic and does the same on every run.
//
// The caller keeps the sound where the clock wants it: each frame, after follow(), it starts the
// sound at instantMs when wantsSound() and then calls soundStarted(), and it silences the
// sound when wantsSilence() and then calls soundSilenced().
struct RunClock {
    // How long the sound may take to start, or stand still while it says it runs, before the
    // page's clock takes over.
    static constexpr double soundGraceMs = 300.0;
    // How fast the instant is steered onto the sound: 50 ms a second at most, a 5 % change of
    // pace that does not show; and how far off the sound must be to be followed at once.
    static constexpr double easePerMs = 0.05;
    static constexpr double soundSnapMs = 1000.0;
    // How far from the instant a sound that takes charge again may be before it is started
    // once more, at the instant, rather than eased onto.
    static constexpr double soundRetryMs = 100.0;

    double instantMs = 0.0;       // the instant of the last reading
    bool started = false;
    bool paused = false;
    bool onSound = false;         // the sound is in charge (or awaited); otherwise the page's clock
    bool holding = false;         // the instant waits where the sound was started until it is heard there
    bool soundHeld = false;       // the page's clock took over because the sound did not play
    bool soundPlaced = false;     // the sound was started at the instant and has not been silenced since
    bool silenceDue = false;      // the sound plays what is no longer the instant: the clock let it go
    bool soundMoving = false;     // its reading has moved since it was started
    bool soundRead = false;       // a reading was taken since it was started
    bool soundRetried = false;    // started once more since the page's clock took over
    double waitSinceMs = -1.0;    // page time since which the sound is awaited; -1 until the next reading
    double lastSoundMs = 0.0;     // the sound's reading when it last moved
    double soundMovedAtMs = 0.0;  // page time of that move
    double lastPageMs = 0.0;

    // Starts the run at runMs, awaiting the sound there.
    void start(double runMs, double pageMs);
    // Goes to runMs at once (either way); the sound is started there anew.
    void jumpTo(double runMs, double pageMs);
    // Holds the instant until resume(); the sound is silenced meanwhile and started anew after.
    void pause(double pageMs);
    void resume(double pageMs);

    // The instant now; never less than the last one, unless the run jumped in between.
    double follow(double pageMs, const SoundReading& sound);

    bool wantsSound(const SoundReading& sound) const {
        return started && !paused && !soundPlaced && sound.running;
    }
    void soundStarted(double pageMs);
    bool wantsSilence() const { return silenceDue; }
    void soundSilenced() {
        silenceDue = false;
        soundPlaced = false;
    }
};
