// fftw_subset.cpp -- a radix-2 real-input FFT behind FFTW's interface, for the web build's level measure
#include "fftw3.h"

#include <cmath>
#include <cstdlib>
#include <vector>

struct WebFftPlan {
    int n = 0;
    float* in = nullptr;
    fftwf_complex* out = nullptr;
    std::vector<double> re;       // work buffers, in bit-reversed order
    std::vector<double> im;
    std::vector<int> reversed;    // bit-reversed index of each input
    std::vector<double> cosines;  // cos(2 pi k / n), k < n / 2
    std::vector<double> sines;    // sin(2 pi k / n)
};

void* fftwf_malloc(size_t bytes) { return std::malloc(bytes); }
void fftwf_free(void* pointer) { std::free(pointer); }

fftwf_plan fftwf_plan_dft_r2c_1d(int n, float* in, fftwf_complex* out, unsigned) {
    if (n < 2 || n > 65536 || (n & (n - 1)) != 0 || !in || !out) return nullptr;
    WebFftPlan* plan = new WebFftPlan;
    plan->n = n;
    plan->in = in;
    plan->out = out;
    plan->re.assign(static_cast<size_t>(n), 0.0);
    plan->im.assign(static_cast<size_t>(n), 0.0);
    plan->reversed.resize(static_cast<size_t>(n));
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        plan->reversed[static_cast<size_t>(i)] = r;
    }
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < n / 2; ++k) {
        plan->cosines.push_back(std::cos(2.0 * pi * k / n));
        plan->sines.push_back(std::sin(2.0 * pi * k / n));
    }
    return plan;
}

void fftwf_execute(const fftwf_plan plan) {
    if (!plan) return;
    const int n = plan->n;
    double* re = plan->re.data();
    double* im = plan->im.data();
    for (int i = 0; i < n; ++i) {
        re[plan->reversed[static_cast<size_t>(i)]] = plan->in[i];
        im[plan->reversed[static_cast<size_t>(i)]] = 0.0;
    }
    // X[k] = sum x[j] exp(-2 pi i j k / n), as FFTW's forward transform.
    for (int size = 2; size <= n; size *= 2) {
        const int half = size / 2;
        const int stride = n / size;
        for (int start = 0; start < n; start += size) {
            for (int j = 0; j < half; ++j) {
                const double c = plan->cosines[static_cast<size_t>(j * stride)];
                const double s = -plan->sines[static_cast<size_t>(j * stride)];
                const int a = start + j;
                const int b = a + half;
                const double tr = re[b] * c - im[b] * s;
                const double ti = re[b] * s + im[b] * c;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
    for (int k = 0; k <= n / 2; ++k) {
        plan->out[k][0] = static_cast<float>(re[k]);
        plan->out[k][1] = static_cast<float>(im[k]);
    }
}

void fftwf_destroy_plan(fftwf_plan plan) { delete plan; }
