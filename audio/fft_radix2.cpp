// fft_radix2.cpp -- our own radix-2 real-input FFT, for builds without FFTW (the page): the same transform in double precision
// FFTW is not built for the browser (it would add minutes to every clean web build); this gives
// the transform the loudness needs, so that the page's loudness agrees with the native one.
#include "audio/fft.h"

#include <cmath>
#include <vector>

// The n real inputs go in as n / 2 complex ones (even samples real, odd imaginary), whose
// transform is split into the real input's at the end: half the butterflies of a complex
// transform of n. Every reading of a catch-up makes one, so its speed is the catch-up's.
namespace {

struct Radix2Plan {
    int n = 0;
    int half = 0;  // n / 2, the complex transform's length
    std::vector<float> in;
    std::vector<float> out;  // (n / 2 + 1) pairs
    std::vector<double> re;       // work buffers, in bit-reversed order
    std::vector<double> im;
    std::vector<int> reversed;    // bit-reversed index of each complex input
    // Each stage's twiddles in the order its butterflies take them: exp(-2 pi i j / size) for
    // j < size / 2, for size = 2, 4, ..., half.
    std::vector<double> stageCos;
    std::vector<double> stageSin;
    std::vector<double> cosines;  // cos(2 pi k / n), k <= n / 2, for the split
    std::vector<double> sines;    // sin(2 pi k / n)
};

}  // namespace

bool makeRealFft(RealFft& fft, int n) {
    fft = RealFft();
    if (n < 2 || n > 65536 || (n & (n - 1)) != 0) return false;
    Radix2Plan* plan = new Radix2Plan;
    plan->n = n;
    plan->half = n / 2;
    plan->in.assign(static_cast<size_t>(n), 0.0f);
    plan->out.assign(static_cast<size_t>(n + 2), 0.0f);
    const int half = plan->half;
    plan->re.assign(static_cast<size_t>(half), 0.0);
    plan->im.assign(static_cast<size_t>(half), 0.0);
    plan->reversed.resize(static_cast<size_t>(half));
    int bits = 0;
    while ((1 << bits) < half) ++bits;
    for (int i = 0; i < half; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        plan->reversed[static_cast<size_t>(i)] = r;
    }
    const double pi = 3.14159265358979323846;
    for (int size = 2; size <= half; size *= 2) {
        for (int j = 0; j < size / 2; ++j) {
            plan->stageCos.push_back(std::cos(2.0 * pi * j / size));
            plan->stageSin.push_back(-std::sin(2.0 * pi * j / size));
        }
    }
    for (int k = 0; k <= half; ++k) {
        plan->cosines.push_back(std::cos(2.0 * pi * k / n));
        plan->sines.push_back(std::sin(2.0 * pi * k / n));
    }
    fft.size = n;
    fft.input = plan->in.data();
    fft.output = plan->out.data();
    fft.plan = plan;
    return true;
}

void runRealFft(RealFft& fft) {
    Radix2Plan* plan = static_cast<Radix2Plan*>(fft.plan);
    if (!plan) return;
    const int half = plan->half;
    double* re = plan->re.data();
    double* im = plan->im.data();
    const float* in = plan->in.data();
    float* out = plan->out.data();
    for (int i = 0; i < half; ++i) {
        const int to = plan->reversed[static_cast<size_t>(i)];
        re[to] = in[2 * i];
        im[to] = in[2 * i + 1];
    }
    // Z[k] = sum z[j] exp(-2 pi i j k / half).
    const double* stageCos = plan->stageCos.data();
    const double* stageSin = plan->stageSin.data();
    for (int size = 2; size <= half; size *= 2) {
        const int span = size / 2;
        for (int start = 0; start < half; start += size) {
            for (int j = 0; j < span; ++j) {
                const double c = stageCos[j];
                const double s = stageSin[j];
                const int a = start + j;
                const int b = a + span;
                const double tr = re[b] * c - im[b] * s;
                const double ti = re[b] * s + im[b] * c;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
        stageCos += span;
        stageSin += span;
    }
    // X[k] = E[k] + exp(-2 pi i k / n) O[k], with E and O the transforms of the even and the odd
    // samples: E[k] = (Z[k] + conj Z[half - k]) / 2, O[k] = (Z[k] - conj Z[half - k]) / 2i.
    // X[0], and X[n / 2] = E[0] - O[0] as FFTW gives it, are real; for n = 2, Z has one term.
    for (int k = 0; k <= half; ++k) {
        const int here = k % half;
        const int there = (half - k) % half;
        const double evenRe = (re[here] + re[there]) * 0.5;
        const double evenIm = (im[here] - im[there]) * 0.5;
        const double oddRe = (im[here] + im[there]) * 0.5;
        const double oddIm = (re[there] - re[here]) * 0.5;
        const double c = plan->cosines[static_cast<size_t>(k)];
        const double s = plan->sines[static_cast<size_t>(k)];
        out[2 * k] = static_cast<float>(evenRe + oddRe * c + oddIm * s);
        out[2 * k + 1] = static_cast<float>(evenIm + oddIm * c - oddRe * s);
    }
}

void freeRealFft(RealFft& fft) {
    delete static_cast<Radix2Plan*>(fft.plan);
    fft = RealFft();
}
