// level.cpp -- Hann window, 1024-point real FFT and the summed magnitudes
#include "audio/level.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>

namespace {

constexpr int windowSize = 1024;
constexpr int binCount = 512;

// FFTW's planner serves one thread at a time; only running a plan may overlap.
std::mutex planning;

// The plan and its aligned buffers, made once for each thread that measures (the program's,
// and the track's own) and reused by every reading on it. Plans made for the same size and
// alignment are the same plan, so every thread measures the same bits.
struct LevelState {
    bool tried = false;
    float* input = nullptr;
    fftwf_complex* output = nullptr;
    fftwf_plan plan = nullptr;
    float hann[windowSize] = {};

    ~LevelState() {
        std::lock_guard<std::mutex> held(planning);
        if (plan) fftwf_destroy_plan(plan);
        fftwf_free(input);
        fftwf_free(output);
    }
};
thread_local LevelState state;

long double silence(float* spectrum) {
    if (spectrum)
        for (int k = 0; k < binCount; ++k) spectrum[k] = 0.0f;
    return 0.0L;
}

}  // namespace

bool prepareLevelMeasure() {
    if (state.tried) return state.plan != nullptr;
    state.tried = true;
    state.input = static_cast<float*>(fftwf_malloc(sizeof(float) * windowSize));
    state.output = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (windowSize / 2 + 1)));
    if (!state.input || !state.output) return false;
    // FFTW_ESTIMATE leaves the input alone and plans in about a millisecond.
    std::lock_guard<std::mutex> held(planning);
    state.plan = fftwf_plan_dft_r2c_1d(windowSize, state.input, state.output, FFTW_ESTIMATE);
    const double pi = 3.14159265358979323846;
    for (int n = 0; n < windowSize; ++n)
        state.hann[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * n / windowSize));
    return state.plan != nullptr;
}

long double measureLevel(const float* frames, int64_t frameCount, int channels, int64_t endFrame,
                         float* spectrum) {
    // A window wholly outside the track is silence: no FFT needed, and no arithmetic on
    // endFrame that could overflow.
    if (!frames || frameCount <= 0 || channels <= 0 || endFrame <= 0 || endFrame - windowSize >= frameCount)
        return silence(spectrum);
    if (!prepareLevelMeasure()) return silence(spectrum);

    const int64_t first = endFrame - windowSize;
    float* in = state.input;
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
    fftwf_execute(state.plan);

    const float scale = 2.0f / windowSize;
    long double sum = 0.0L;
    for (int k = 0; k < binCount; ++k) {
        const float re = state.output[k][0];
        const float im = state.output[k][1];
        const float magnitude = std::sqrt(re * re + im * im) * scale;
        if (spectrum) spectrum[k] = magnitude;
        sum += magnitude;
    }
    return sum;
}
