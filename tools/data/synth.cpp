// synth.cpp -- the demo's track: drums, bass, pads, a lead and bells, arranged to carry the picture's sync
//
// The scenes react to the music's loudness, so the arrangement is written against the
// timeline: a quiet intro, a crash at 14.5 s for the title, a hit at 28.5 s for the
// tunnel, hard beats until 56.5 s, a soft middle for the cubes, accents for the city's
// camera jumps, a full last part for the tree, and a calm ending. Noise (snares, hats,
// cymbals) moves the level most, since it spreads over every FFT bin; tones move it little.
#include "tools/data/synth.h"

#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/level.h"

namespace {

const double pi = 3.14159265358979323846;
const double beatSeconds = 0.5;           // 120 beats a minute
const double stepSeconds = beatSeconds / 4;
const double gridStart = 0.5;             // the first bar starts half a second in
const int64_t frameTotal = static_cast<int64_t>(songSeconds) * songRate;

// Our own noise, so that every run hears the same hiss.
struct Noise {
    uint32_t state = 22222;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state) / 2147483648.0);
    }
};

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Band-limited sawtooth (polyBLEP), phase in [0, 1).
float sawBlep(double phase, double dt) {
    double v = 2.0 * phase - 1.0;
    if (phase < dt) {
        const double x = phase / dt;
        v -= x + x - x * x - 1.0;
    } else if (phase > 1.0 - dt) {
        const double x = (phase - 1.0) / dt;
        v -= x * x + x + x + 1.0;
    }
    return static_cast<float>(v);
}

// Trapezoidal state-variable filter: stable under fast cutoff moves.
struct Filter {
    double ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
    void set(double cutoff, double q) {
        cutoff = std::clamp(cutoff, 20.0, songRate * 0.45);
        const double g = std::tan(pi * cutoff / songRate);
        k = 1.0 / q;
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    // Returns the low-pass output; band and high are written when asked for.
    double run(double v0, double* band = nullptr, double* high = nullptr) {
        const double v3 = v0 - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        if (band) *band = v1;
        if (high) *high = v0 - k * v1 - v2;
        return v2;
    }
};

// Where the voices go: a dry stereo pair, the echo's input and the reverb's send.
struct Mixer {
    std::vector<float> dryL, dryR, echo, send;

    void init() {
        dryL.assign(frameTotal, 0.0f);
        dryR.assign(frameTotal, 0.0f);
        echo.assign(frameTotal, 0.0f);
        send.assign(frameTotal, 0.0f);
    }
    // pan -1 left .. 1 right; the centre keeps full level in both channels.
    void add(int64_t i, float v, float pan, float sendAmount) {
        if (i < 0 || i >= frameTotal) return;
        dryL[i] += v * (1.0f - std::max(0.0f, pan));
        dryR[i] += v * (1.0f + std::min(0.0f, pan));
        send[i] += v * sendAmount;
    }
    void addStereo(int64_t i, float l, float r, float sendAmount) {
        if (i < 0 || i >= frameTotal) return;
        dryL[i] += l;
        dryR[i] += r;
        send[i] += (l + r) * 0.5f * sendAmount;
    }
};

Mixer mixer;
Noise noise;

// exp(-t / tau) sample by sample, without calling exp for each.
struct Decay {
    double value = 1.0, factor = 1.0;
    explicit Decay(double tau) : factor(std::exp(-1.0 / (tau * songRate))) {}
    double next() {
        const double v = value;
        value *= factor;
        return v;
    }
};

int64_t frameAt(double seconds) { return static_cast<int64_t>(std::floor(seconds * songRate + 0.5)); }

void kick(double t, float gain) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>(0.4 * songRate);
    double phase = 0;
    Decay sweep(0.025), amp(0.16), clickAmp(0.002);
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        const double f = 44.0 + 120.0 * sweep.next();
        phase += f / songRate;
        const double body = std::sin(2 * pi * phase) * amp.next();
        const double click = s < 0.02 ? noise.next() * clickAmp.next() * 0.25 : 0.0;
        mixer.add(start + i, static_cast<float>((body + click) * gain), 0.0f, 0.02f);
    }
}

// Noise through a high-pass with a tonal body: decay sets how long it stays loud.
void snare(double t, float gain, double decay) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((decay * 7 + 0.02) * songRate);
    Filter hp;
    hp.set(1400, 0.7);
    double phase = 0;
    Decay drop(0.01), bodyAmp(0.045), amp(decay);
    for (int i = 0; i < n; ++i) {
        double high = 0;
        hp.run(noise.next(), nullptr, &high);
        phase += (185.0 + 60.0 * drop.next()) / songRate;
        const double body = std::sin(2 * pi * phase) * bodyAmp.next() * 0.6;
        const double v = high * amp.next() + body;
        mixer.add(start + i, static_cast<float>(v * gain), 0.05f, 0.25f);
    }
}

// A clap held at full strength for a while: the level stays up for a known number of frames.
void clap(double t, float gain, double hold) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((hold + 0.15) * songRate);
    Filter hp;
    hp.set(1000, 0.7);
    Decay tail(0.02);
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        double high = 0;
        hp.run(noise.next(), nullptr, &high);
        // Three quick flams before the body, as hands clap.
        const double flam = s < 0.02 ? (0.5 + 0.5 * std::cos(2 * pi * s / 0.0067)) : 1.0;
        const double env = s < hold ? flam : tail.next();
        mixer.add(start + i, static_cast<float>(high * env * gain), -0.05f, 0.3f);
    }
}

void hat(double t, float gain, double decay, float pan) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((decay * 7 + 0.005) * songRate);
    Filter hp;
    hp.set(7500, 0.9);
    Decay amp(decay);
    for (int i = 0; i < n; ++i) {
        double high = 0;
        hp.run(noise.next(), nullptr, &high);
        mixer.add(start + i, static_cast<float>(high * amp.next() * gain), pan, 0.05f);
    }
}

void crash(double t, float gain, double decay) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>(decay * 6 * songRate);
    Filter hp;
    hp.set(3800, 0.6);
    Decay amp(decay);
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        double high = 0;
        hp.run(noise.next(), nullptr, &high);
        const double env = amp.next() * std::min(1.0, s / 0.002);
        mixer.add(start + i, static_cast<float>(high * env * gain), -0.15f, 0.3f);
    }
}

// A steady high hiss under the last part, like a ride played very fast.
void sizzle(double t0, double t1, float gain) {
    const int64_t a = frameAt(t0), b = frameAt(t1);
    Filter hp;
    hp.set(5000, 0.7);
    for (int64_t i = a; i < b; ++i) {
        const double s = static_cast<double>(i - a) / songRate, left = static_cast<double>(b - i) / songRate;
        double high = 0;
        hp.run(noise.next(), nullptr, &high);
        const double env = std::min({1.0, s / 0.5, left / 0.3});
        mixer.add(i, static_cast<float>(high * env * gain), 0.3f, 0.1f);
    }
}

// Noise swept upwards through a band-pass, swelling into the next hit.
void riser(double t0, double t1, float gain) {
    const int64_t a = frameAt(t0), b = frameAt(t1);
    Filter bp;
    for (int64_t i = a; i < b; ++i) {
        const double x = static_cast<double>(i - a) / static_cast<double>(b - a);
        if ((i - a) % 32 == 0) bp.set(300.0 * std::pow(20.0, x), 2.5);
        double band = 0;
        bp.run(noise.next(), &band);
        mixer.add(i, static_cast<float>(band * x * x * gain), static_cast<float>(std::sin(x * 9.0) * 0.5), 0.4f);
    }
}

void bass(double t, double dur, double note, float gain, double cutoff) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((dur + 0.06) * songRate);
    const double f = midiHz(note);
    Filter lp;
    double phase = 0, sub = 0;
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        if (i % 32 == 0) lp.set(cutoff * (1.0 + 3.0 * std::exp(-s / 0.08)), 1.4);
        phase += f / songRate;
        phase -= std::floor(phase);
        sub += f * 0.5 / songRate;
        const double raw = sawBlep(phase, f / songRate) * 0.6 + std::sin(2 * pi * sub) * 0.6;
        double env = std::min(1.0, s / 0.004);
        if (s > dur) env *= std::max(0.0, 1.0 - (s - dur) / 0.06);
        mixer.add(start + i, static_cast<float>(lp.run(raw) * env * gain), 0.0f, 0.03f);
    }
}

// Four detuned saws, the even ones left and the odd ones right, slow to rise and fall.
void pad(double t, double dur, double note, float gain, double cutoff) {
    const double attack = 0.6, release = 1.4;
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((dur + release) * songRate);
    const double detune[4] = {-0.11, 0.07, -0.05, 0.12};
    double phase[4] = {0.13, 0.41, 0.77, 0.29};
    Filter lp[4];
    double step[4];
    for (int v = 0; v < 4; ++v) {
        lp[v].set(cutoff, 0.8);
        step[v] = midiHz(note + detune[v]) / songRate;
    }
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        double env = std::min(1.0, s / attack);
        if (s > dur) env *= std::max(0.0, 1.0 - (s - dur) / release);
        double side[2] = {0, 0};
        for (int v = 0; v < 4; ++v) {
            phase[v] += step[v];
            if (phase[v] >= 1.0) phase[v] -= 1.0;
            side[v % 2] += lp[v].run(sawBlep(phase[v], step[v])) * (v < 2 ? 0.6 : 0.4);
        }
        const double g = env * gain * 0.5;
        mixer.addStereo(start + i, static_cast<float>(side[0] * g), static_cast<float>(side[1] * g), 0.5f);
    }
}

void lead(double t, double dur, double note, float gain, double cutoff) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>((dur + 0.2) * songRate);
    Filter lp;
    double p1 = 0, p2 = 0.5;
    const double base1 = midiHz(note + 0.06), base2 = midiHz(note - 0.06);
    Decay fall(0.15);
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        const double vib = s > 0.18 ? 0.12 * std::sin(2 * pi * 5.5 * (s - 0.18)) * std::min(1.0, (s - 0.18) / 0.3) : 0.0;
        const double bend = 1.0 + vib * 0.0577623;  // 2^(vib/12) for small vib
        const double f1 = base1 * bend, f2 = base2 * bend;
        p1 += f1 / songRate;
        p1 -= std::floor(p1);
        p2 += f2 / songRate;
        p2 -= std::floor(p2);
        if (i % 32 == 0) lp.set(cutoff * (1.0 + 2.0 * std::exp(-s / 0.12)), 1.2);
        double env = std::min(1.0, s / 0.01) * (0.7 + 0.3 * fall.next());
        if (s > dur) env *= std::max(0.0, 1.0 - (s - dur) / 0.2);
        const double v = lp.run(sawBlep(p1, f1 / songRate) + sawBlep(p2, f2 / songRate)) * 0.5 * env * gain;
        mixer.add(start + i, static_cast<float>(v), 0.1f, 0.3f);
        if (start + i < frameTotal) mixer.echo[start + i] += static_cast<float>(v);
    }
}

// A small FM bell for the arpeggios.
void bell(double t, double note, float gain, float pan) {
    const int64_t start = frameAt(t);
    const int n = static_cast<int>(1.0 * songRate);
    const double f = midiHz(note);
    Decay index(0.15), amp(0.35);
    for (int i = 0; i < n; ++i) {
        const double s = static_cast<double>(i) / songRate;
        const double v = std::sin(2 * pi * f * s + 2.2 * index.next() * std::sin(2 * pi * f * 3.5 * s)) * amp.next() *
                         std::min(1.0, s / 0.002) * gain;
        mixer.add(start + i, static_cast<float>(v), pan, 0.45f);
        if (start + i < frameTotal) mixer.echo[start + i] += static_cast<float>(v * 0.4);
    }
}

// The harmony: A minor, F, C, G, one chord a bar.
const int chordNotes[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
const int bassRoots[4] = {45, 41, 48, 43};

// Two four-bar lead phrases in eighths: a MIDI note, 0 for a rest, -1 to hold the one before.
const int phraseA[32] = {76, -1, 74, 76, -1, 81, 79, 76, 77, -1, 76, 72, -1, -1, 69, 72,
                         76, -1, 72, 79, -1, 76, 74, 72, 74, -1, -1, 71, 74, 79, -1, 0};
const int phraseB[32] = {81, -1, 79, 76, -1, 74, 76, -1, 77, 76, 74, 72, -1, -1, 0, 72,
                         79, -1, 76, -1, 84, -1, 83, 79, 81, -1, -1, -1, 79, -1, 0, 0};

void playPhrase(const int* phrase, double barTime, int bar, int transpose, float gain, double cutoff) {
    const int base = (bar % 4) * 8;
    for (int e = 0; e < 8; ++e) {
        const int note = phrase[base + e];
        if (note <= 0) continue;
        int len = 1;
        while (e + len < 8 && phrase[base + e + len] == -1) ++len;
        lead(barTime + e * 0.25, len * 0.25 - 0.03, note + transpose, gain, cutoff);
    }
}

// Parts of the track, by start time in seconds.
enum Part { intro, starPart, breakPart, tunnelPart, cubesPart, cityPart, treePart, ending };

Part partAt(double t) {
    if (t < 14.5) return intro;
    if (t < 27.5) return starPart;
    if (t < 28.5) return breakPart;
    if (t < 56.5) return tunnelPart;
    if (t < 92.5) return cubesPart;
    if (t < 121.0) return cityPart;
    if (t < 149.5) return treePart;
    return ending;
}

void arrange() {
    // Chords and bass roots a bar at a time, their colour following the part.
    for (int bar = -1; bar < 80; ++bar) {
        const double t = gridStart + bar * 2.0;
        const double at = std::max(0.0, t);
        const Part part = partAt(at + 0.01);
        const int chord = ((bar % 4) + 4) % 4;
        if (part == ending) break;  // the last chord is played on its own below
        double cutoff = 1800, padGain = 0.3;
        if (part == intro) {
            cutoff = 400 + 100 * (bar + 1);
            padGain = 0.26;
        } else if (part == cubesPart) {
            cutoff = 1400;
            padGain = 0.45;
        }
        const double dur = bar == -1 ? 1.5 : 2.0;
        for (int v = 0; v < 3; ++v) pad(at, dur, chordNotes[chord][v], padGain, cutoff);
        if (part == intro && bar >= 3) bass(t, 1.9, bassRoots[chord], 0.22, 300);
        if (part == cubesPart) {
            bass(t, 0.9, bassRoots[chord], 0.3, 450);
            bass(t + 1.0, 0.9, bassRoots[chord] + (bar % 2 ? 7 : 0), 0.3, 450);
        }
    }

    // Sixteenth steps across the whole grid.
    for (int step = 0;; ++step) {
        const double t = gridStart + step * stepSeconds;
        if (t >= 156.0) break;
        const int i = step % 16;
        const int bar = step / 16;
        const int chord = bar % 4;
        const Part part = partAt(t);
        const double barTime = gridStart + bar * 2.0;
        const float pan = (i % 2) ? 0.35f : -0.35f;

        switch (part) {
        case intro:
            if (t >= 4.5 && i % 2 == 0) {
                const int note = chordNotes[chord][(i / 2) % 3] + 12 + ((i / 6) % 2) * 12;
                bell(t, note, static_cast<float>(0.05 + 0.01 * (t / 14.5)), pan);
            }
            break;
        case starPart:
            if (i % 4 == 0) kick(t, 0.8f);
            if (i == 4 || i == 12) snare(t, 0.22f, 0.06);
            if (i % 4 == 2) hat(t, 0.12f, 0.03, 0.3f);
            if (i % 4 == 2) bass(t, 0.2, bassRoots[chord] + 12, 0.28, 700);
            if (i == 0 && bar >= 8) playPhrase(phraseA, barTime, bar, 0, 0.16, 2400);
            if (i % 2 == 0) bell(t, chordNotes[chord][(i / 2) % 3] + 24, 0.035f, pan);
            break;
        case breakPart:
            if (t < 27.85 && i % 2 == 0) snare(t, static_cast<float>(0.04 + 0.04 * (t - 27.5)), 0.03);
            break;
        case tunnelPart:
            if (i % 4 == 0) kick(t, 0.9f);
            if (i == 4 || i == 12) snare(t, 0.8f, 0.1);
            if (i % 4 == 2) hat(t, 1.0f, 0.08, 0.3f);
            if (i % 2 == 1) hat(t, 0.08f, 0.015, -0.3f);
            if (i % 4 == 2) bass(t, 0.22, bassRoots[chord], 0.34, 600);
            if (i % 4 == 3) bass(t, 0.1, bassRoots[chord] + 12, 0.24, 900);
            if (i == 0) playPhrase((bar / 4) % 2 ? phraseB : phraseA, barTime, bar, 0, 0.17, 2800);
            break;
        case cubesPart:
            if (bar >= 32 && (i == 0 || i == 8)) kick(t, 0.45f);
            if (bar >= 32 && i % 4 == 2) hat(t, 0.03f, 0.02, 0.3f);
            if (i % 2 == 0) bell(t, chordNotes[chord][(i / 2) % 3] + 12 + (i >= 8 ? 12 : 0), 0.06f, pan);
            if (i == 0 && bar >= 36) playPhrase((bar / 4) % 2 ? phraseB : phraseA, barTime, bar, -12, 0.12, 1500);
            break;
        case cityPart:
            if (i % 4 == 0) kick(t, 0.8f);
            if (i == 4 || i == 12) clap(t, 0.5f, 0.08);
            if (i % 2 == 0) hat(t, 0.16f, 0.02, 0.3f);
            if (i % 4 == 2) hat(t, 0.42f, 0.03, -0.2f);
            if (i % 2 == 0) bass(t, 0.11, bassRoots[chord] + ((i / 2) % 2) * 12, 0.3, 800);
            if (i == 0 && bar % 4 == 0) crash(t, 0.35f, 0.15);
            if (i == 0 && bar % 8 >= 4) playPhrase(phraseB, barTime, bar, 0, 0.15, 2600);
            break;
        case treePart:
            if (i % 4 == 0) kick(t, 0.9f);
            if (i == 4 || i == 12) snare(t, 0.45f, 0.07);
            if (i % 4 == 2) hat(t, 0.4f, 0.04, 0.3f);
            if (i % 4 != 2) hat(t, 0.2f, 0.03, -0.3f);
            if (i % 2 == 0) hat(t, 0.08f, 0.15, 0.5f);
            if (i % 4 == 2) bass(t, 0.22, bassRoots[chord], 0.34, 700);
            if (i % 4 == 3) bass(t, 0.1, bassRoots[chord] + 12, 0.24, 1000);
            if (i == 0) playPhrase((bar / 2) % 2 ? phraseB : phraseA, barTime, bar, 12, 0.12, 3200);
            if (i % 2 == 0) bell(t, chordNotes[chord][(i / 2) % 3] + 24, 0.04f, pan);
            break;
        case ending:
            if (t < 154.0 && i % 4 == 0) bell(t, chordNotes[0][(i / 4) % 3] + 24, 0.05f, pan);
            break;
        }
    }

    // The hits the picture switches on, and the swells that lead into them.
    riser(11.0, 14.45, 0.09f);
    crash(14.5, 0.95f, 0.5);
    kick(14.5, 1.0f);
    riser(26.5, 28.45, 0.07f);
    crash(28.5, 0.7f, 0.6);
    crash(121.0, 0.35f, 0.4);
    sizzle(121.0, 149.5, 0.075f);
    // The last chord rings under the credits.
    for (int v = 0; v < 3; ++v) pad(149.5, 4.5, chordNotes[0][v], 0.3f, 900);
    bass(149.5, 4.5, 33, 0.3, 200);
}

// Schroeder-style reverb: parallel combs into series all-passes, one set per side.
struct Reverb {
    std::vector<float> comb[4], allpass[2];
    int combPos[4] = {}, allPos[2] = {};
    float combStore[4] = {};

    void init(int spread) {
        const int combLen[4] = {1557, 1617, 1491, 1422};
        const int allLen[2] = {225, 556};
        for (int c = 0; c < 4; ++c) comb[c].assign(combLen[c] + spread, 0.0f);
        for (int a = 0; a < 2; ++a) allpass[a].assign(allLen[a] + spread, 0.0f);
    }
    float run(float in) {
        float out = 0;
        for (int c = 0; c < 4; ++c) {
            float& cell = comb[c][combPos[c]];
            combStore[c] = cell * 0.6f + combStore[c] * 0.4f;  // damping
            out += cell;
            cell = in + combStore[c] * 0.82f;
            combPos[c] = (combPos[c] + 1) % static_cast<int>(comb[c].size());
        }
        for (int a = 0; a < 2; ++a) {
            float& cell = allpass[a][allPos[a]];
            const float buffered = cell;
            cell = out + buffered * 0.5f;
            out = buffered - out;
            allPos[a] = (allPos[a] + 1) % static_cast<int>(allpass[a].size());
        }
        return out;
    }
};

}  // namespace

std::vector<float> renderSong() {
    noise = Noise();
    mixer.init();
    arrange();

    std::vector<float> out(static_cast<size_t>(frameTotal) * 2);
    Reverb left, right;
    left.init(0);
    right.init(23);
    // A dotted-eighth ping-pong echo for the lead and bells.
    const int echoDelay = static_cast<int>(0.375 * songRate);
    std::vector<float> echoL(frameTotal, 0.0f), echoR(frameTotal, 0.0f);
    for (int64_t i = 0; i < frameTotal; ++i) {
        if (i >= echoDelay) {
            echoL[i] = mixer.echo[i - echoDelay] * 0.35f + echoR[i - echoDelay] * 0.45f;
            echoR[i] = echoL[i - echoDelay] * 0.45f;
        }
        const float wetL = left.run(mixer.send[i] * 0.05f);
        const float wetR = right.run(mixer.send[i] * 0.05f);
        float l = mixer.dryL[i] + wetL + echoL[i];
        float r = mixer.dryR[i] + wetR + echoR[i];
        // Gentle saturation only touches the loudest peaks; it stays under 0.8 so that the
        // codec's ringing round sharp hits does not push the decoded sound past full scale.
        out[2 * i] = 0.8f * std::tanh(l * 1.25f);
        out[2 * i + 1] = 0.8f * std::tanh(r * 1.25f);
    }
    // Fade the last seconds to silence.
    const int64_t fadeStart = frameAt(155.0), fadeEnd = frameAt(159.0);
    for (int64_t i = fadeStart; i < frameTotal; ++i) {
        const float g = i >= fadeEnd ? 0.0f : 1.0f - static_cast<float>(i - fadeStart) / static_cast<float>(fadeEnd - fadeStart);
        out[2 * i] *= g;
        out[2 * i + 1] *= g;
    }
    mixer = Mixer();
    return out;
}

std::vector<uint8_t> encodeOgg(const std::vector<float>& frames, int channels, int rate) {
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "talumen");
    vorbis_comment_add_tag(&vc, "ARTIST", "norvi");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x74616c75);  // fixed serial: the same bytes on every run

    auto append = [&out](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) append(page);

    const int64_t total = static_cast<int64_t>(frames.size()) / channels;
    const int chunk = 4096;
    for (int64_t at = 0;; at += chunk) {
        const int n = static_cast<int>(std::min<int64_t>(chunk, std::max<int64_t>(0, total - at)));
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, n);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) buffer[c][i] = frames[(at + i) * channels + c];
        }
        // Zero frames mark the end; without it the last samples are lost.
        vorbis_analysis_wrote(&vd, n);
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) append(page);
            }
        }
        if (n == 0) break;
    }
    while (ogg_stream_flush(&os, &page) != 0) append(page);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

namespace {

struct MemoryFile {
    const std::vector<uint8_t>* bytes = nullptr;
    size_t at = 0;
};

size_t memRead(void* ptr, size_t size, size_t count, void* source) {
    auto* f = static_cast<MemoryFile*>(source);
    const size_t want = size * count;
    const size_t have = f->bytes->size() - f->at;
    const size_t n = std::min(want, have);
    std::memcpy(ptr, f->bytes->data() + f->at, n);
    f->at += n;
    return size ? n / size : 0;
}

}  // namespace

bool decodeOgg(const std::vector<uint8_t>& ogg, std::vector<float>& frames, int& channels, int& rate) {
    MemoryFile file;
    file.bytes = &ogg;
    ov_callbacks callbacks = {memRead, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&file, &vf, nullptr, 0, callbacks) != 0) return false;
    vorbis_info* vi = ov_info(&vf, -1);
    channels = vi->channels;
    rate = static_cast<int>(vi->rate);
    frames.clear();
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        const long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0) break;
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) frames.push_back(pcm[c][i]);
    }
    ov_clear(&vf);
    return !frames.empty();
}

std::vector<double> levelTrack(const std::vector<float>& frames, int channels, int rate) {
    std::vector<double> readings;
    const int64_t count = static_cast<int64_t>(frames.size()) / channels;
    for (int64_t k = 0;; ++k) {
        const int64_t ms = k * 1000 / 60;
        const int64_t end = ms * rate / 1000;
        if (end > count) break;
        readings.push_back(static_cast<double>(measureLevel(frames.data(), count, channels, end, nullptr)));
    }
    return readings;
}
