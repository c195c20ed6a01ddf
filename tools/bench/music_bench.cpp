// music_bench.cpp -- prints what one level() reading costs, on the virtual clock and on SDL's dummy device
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "base/globals.h"
#include "audio/music.h"
#include "ogg_fixture.h"
#include "platform/player.h"
#include "testkit.h"

namespace {

using Clock = std::chrono::steady_clock;

// Music-like material: a few tones over noise, so that every bin holds something.
std::vector<float> track(double seconds, int rate) {
    const int frames = static_cast<int>(seconds * rate);
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    std::mt19937 noise(1);
    std::uniform_real_distribution<float> spread(-0.2f, 0.2f);
    for (int f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        const float tone = static_cast<float>(0.3 * std::sin(2 * 3.14159265 * 110 * t) + 0.2 * std::sin(2 * 3.14159265 * 880 * t));
        out[f * 2] = tone + spread(noise);
        out[f * 2 + 1] = tone + spread(noise);
    }
    return out;
}

// Median over rounds of the mean cost of one reading, in microseconds.
double timeReadings(bool moveClock) {
    const int perRound = 20000;
    std::vector<double> rounds;
    volatile long double sink = 0;
    for (int round = 0; round < 9; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < perRound; ++i) {
            if (moveClock) elapsedMs = 1000 + (i * 7) % 18000;
            sink = sink + music.level();
        }
        rounds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / perRound);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

}  // namespace

int main() {
    TempDir dir;
    if (!writeOggVorbis(musicPath, track(20.0, 44100), 2, 44100)) return 1;

    audioDevice = clockAudioDevice();
    if (!music.open() || !music.play()) return 1;
    const double clockCost = timeReadings(true);
    music.stop();
    std::printf("level() on the virtual clock: %.2f us per reading (median of 9 x 20000)\n", clockCost);
    std::printf("  81 readings, the tree scene's most in one frame: %.0f us\n", clockCost * 81);

    setenv("SDL_AUDIODRIVER", "dummy", 0);
    audioDevice = platformAudioDevice();
    if (music.open() && music.play()) {
        // Readings before the first callback cost nothing; time the track while it sounds.
        const auto start = Clock::now();
        while (audioDevice.audibleFrame() < 44100 && Clock::now() - start < std::chrono::seconds(3)) {
        }
        const double deviceCost = timeReadings(false);
        music.stop();
        std::printf("level() on SDL's %s device: %.2f us per reading (median of 9 x 20000)\n",
                    std::getenv("SDL_AUDIODRIVER"), deviceCost);
    } else {
        std::printf("no SDL audio device opened; only the virtual clock was timed\n");
    }
    return 0;
}
