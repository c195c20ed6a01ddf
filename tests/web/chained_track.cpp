// chained_track.cpp -- writes the chained track the web build's loudness is compared on: 30 s of 44.1 kHz stereo, then 40 s of 48 kHz mono
// Usage: chained_track OUT.ogg. Built natively (the encoder is not built for the web); both
// builds then convert its second stream with their own libswresample.
#include <cmath>
#include <cstdio>

#include "ogg_fixture.h"

namespace {

// Noise under a tone, its loudness swelling and falling every few seconds, alike in every channel.
OggPart music(double seconds, int channels, int rate, double hz) {
    OggPart part{std::vector<float>(static_cast<size_t>(seconds * rate) * channels), channels, rate};
    uint32_t seed = 1;
    for (size_t f = 0; f < part.frames.size() / channels; ++f) {
        const double t = double(f) / rate;
        seed = seed * 1664525u + 1013904223u;
        const double noise = (seed >> 8) / double(1u << 24) - 0.5;
        const double swell = 0.3 + 0.25 * std::sin(t * 1.7);
        const float v = float(swell * (0.6 * std::sin(2 * M_PI * hz * t) + noise));
        for (int c = 0; c < channels; ++c) part.frames[f * channels + c] = v;
    }
    return part;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: chained_track OUT.ogg\n");
        return 2;
    }
    return writeChainedOgg(argv[1], {music(30, 2, 44100, 330), music(40, 1, 48000, 550)}) ? 0 : 1;
}
