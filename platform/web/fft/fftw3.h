// fftw3.h -- the part of FFTW's single-precision interface the level measure uses, for the web build
// FFTW is not built for the browser (it would add minutes to every clean web build); this gives
// the same transform, computed in double precision, so the loudness agrees with the native one.
#pragma once
#include <cstddef>

typedef float fftwf_complex[2];
typedef struct WebFftPlan* fftwf_plan;

#define FFTW_ESTIMATE (1U << 6)

void* fftwf_malloc(size_t bytes);
void fftwf_free(void* pointer);
// The unnormalised forward transform of n real values (n a power of two, 2 to 65536) into
// n / 2 + 1 complex ones, as FFTW computes it; null for any other n.
fftwf_plan fftwf_plan_dft_r2c_1d(int n, float* in, fftwf_complex* out, unsigned flags);
void fftwf_execute(const fftwf_plan plan);
void fftwf_destroy_plan(fftwf_plan plan);
