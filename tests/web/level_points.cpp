// level_points.cpp -- prints the loudness of a track at fixed sample positions, built natively and for the web
// Usage: level_points TRACK.ogg. Both builds decode with their own libvorbis and transform with
// their own FFTW; web_tests.cmake compares the two lists.
#include <cstdio>
#include <vector>

#include "audio/level.h"
#include "audio/music.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: level_points TRACK.ogg\n");
        return 2;
    }
    musicPath = argv[1];
    audioDevice = clockAudioDevice();
    if (!music.open()) return 1;
    // Every 0.25 s of the track plus a stretch of single-sample steps, where a one-frame shift
    // between the builds would show.
    const int64_t step = music.rate() / 4;
    const int channels = music.channels();
    std::vector<float> window(static_cast<size_t>(fftSize * channels));
    // The window that ends just before end, as the level reads it.
    const auto levelAt = [&](int64_t end) {
        copyTrackFrames(end - fftSize, fftSize, window.data());
        return measureLevel(window.data(), fftSize, channels, fftSize, nullptr);
    };
    for (int64_t end = 0; end <= music.frameCount() + 2048; end += step)
        std::printf("%lld %.9Lf\n", static_cast<long long>(end), end > 0 ? levelAt(end) : 0.0L);
    const int64_t minute = static_cast<int64_t>(music.rate()) * 60;
    for (int64_t end = minute; end < minute + 16; ++end)
        std::printf("%lld %.9Lf\n", static_cast<long long>(end), levelAt(end));
    music.stop();
    return 0;
}
