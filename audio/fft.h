// fft.h -- the real-input FFT the loudness is measured with: FFTW where it is built, our own radix-2 elsewhere (the page)
#pragma once

// One forward transform of size real values into size / 2 + 1 complex ones, unnormalised, as
// FFTW computes it, with its own buffers. Fill input, run, read output. A plan serves one
// thread at a time; each thread that measures makes its own.
struct RealFft {
    int size = 0;
    float* input = nullptr;   // size floats
    float* output = nullptr;  // size / 2 + 1 pairs: real, imaginary
    void* plan = nullptr;
};

// False, with nothing held, where no plan can be made (size a power of two from 2 to 65536).
bool makeRealFft(RealFft& fft, int size);
void runRealFft(RealFft& fft);
// Safe on an empty or failed one.
void freeRealFft(RealFft& fft);
