// fft_fftw.cpp -- the real-input FFT through FFTW's single-precision planner
#include "audio/fft.h"

#include <fftw3.h>

#include <mutex>

namespace {
// FFTW's planner serves one thread at a time; only running a plan may overlap.
std::mutex planning;
}  // namespace

bool makeRealFft(RealFft& fft, int size) {
    fft = RealFft();
    if (size < 2 || size > 65536 || (size & (size - 1)) != 0) return false;
    float* input = static_cast<float*>(fftwf_malloc(sizeof(float) * static_cast<size_t>(size)));
    fftwf_complex* output = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * static_cast<size_t>(size / 2 + 1)));
    fftwf_plan plan = nullptr;
    if (input && output) {
        // FFTW_ESTIMATE leaves the input alone and plans in about a millisecond; plans made for
        // the same size and alignment are the same plan, so every thread measures the same bits.
        std::lock_guard<std::mutex> held(planning);
        plan = fftwf_plan_dft_r2c_1d(size, input, output, FFTW_ESTIMATE);
    }
    if (!plan) {
        fftwf_free(input);
        fftwf_free(output);
        return false;
    }
    fft.size = size;
    fft.input = input;
    fft.output = reinterpret_cast<float*>(output);
    fft.plan = plan;
    return true;
}

void runRealFft(RealFft& fft) {
    if (fft.plan) fftwf_execute(static_cast<fftwf_plan>(fft.plan));
}

void freeRealFft(RealFft& fft) {
    if (fft.plan) {
        std::lock_guard<std::mutex> held(planning);
        fftwf_destroy_plan(static_cast<fftwf_plan>(fft.plan));
    }
    fftwf_free(fft.input);
    fftwf_free(fft.output);
    fft = RealFft();
}
