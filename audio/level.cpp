// level.cpp -- Hann window, 1024-point real FFT and the summed magnitudes
#include "audio/level.h"

#include <cmath>

#include "audio/fft.h"

namespace {

constexpr int windowSize = 1024;
constexpr int binCount = 512;

// The transform and its buffers, made once for each thread that measures (the program's, and
// the track's own) and reused by every reading on it.
struct LevelState {
    bool tried = false;
    RealFft fft;
    float hann[windowSize] = {};

    ~LevelState() { freeRealFft(fft); }
};
thread_local LevelState state;

long double silence(float* spectrum) {
    if (spectrum)
        for (int k = 0; k < binCount; ++k) spectrum[k] = 0.0f;
    return 0.0L;
}

}  // namespace

bool prepareLevelMeasure() {
    if (state.tried) return state.fft.plan != nullptr;
    state.tried = true;
    if (!makeRealFft(state.fft, windowSize)) return false;
    const double pi = 3.14159265358979323846;
    for (int n = 0; n < windowSize; ++n)
        state.hann[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * n / windowSize));
    return true;
}

long double measureLevel(const float* frames, int64_t frameCount, int channels, int64_t endFrame,
                         float* spectrum) {
    // A window wholly outside the track is silence: no FFT needed, and no arithmetic on
    // endFrame that could overflow.
    if (!frames || frameCount <= 0 || channels <= 0 || endFrame <= 0 || endFrame - windowSize >= frameCount)
        return silence(spectrum);
    if (!prepareLevelMeasure()) return silence(spectrum);

    const int64_t first = endFrame - windowSize;
    float* in = state.fft.input;
    for (int i = 0; i < windowSize; ++i) {
        const int64_t f = first + i;
        float mono = 0.0f;
        if (f >= 0 && f < frameCount) {
            const float* frame = frames + f * channels;
            if (channels == 2) {
                mono = (frame[0] + frame[1]) * 0.5f;
            } else {
                float sum = 0.0f;
                for (int c = 0; c < channels; ++c) sum += frame[c];
                mono = sum / static_cast<float>(channels);
            }
        }
        in[i] = mono * state.hann[i];
    }
    runRealFft(state.fft);
    const float* out = state.fft.output;

    const float scale = 2.0f / windowSize;
    long double sum = 0.0L;
    for (int k = 0; k < binCount; ++k) {
        const float re = out[2 * k];
        const float im = out[2 * k + 1];
        const float magnitude = std::sqrt(re * re + im * im) * scale;
        if (spectrum) spectrum[k] = magnitude;
        sum += magnitude;
    }
    return sum;
}
