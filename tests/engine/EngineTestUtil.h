#pragma once
// Measurement helpers for the engine tests: spectra, pitch, and a voice harness.
#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "engine/Voice.h"

namespace kelo::test {

constexpr double kPi = 3.14159265358979323846;

// In-place radix-2 FFT; size must be a power of two.
inline void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2.0 * kPi / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

// Magnitude spectrum (bins 0..n/2) of x under a 4-term Blackman-Harris window
// (side lobes below -92 dB), so weak components next to strong ones stay visible.
inline std::vector<double> magnitudeSpectrum(const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        a[i] = x[i] * w;
    }
    fft(a);
    std::vector<double> m(n / 2 + 1);
    for (size_t k = 0; k < m.size(); ++k) m[k] = std::abs(a[k]);
    return m;
}

// Period of a periodic signal by autocorrelation: the lag near `expected` (within +-6%)
// with the strongest normalised correlation, refined by a parabola through its neighbours.
inline double measurePeriod(const std::vector<float>& x, size_t from, double expected) {
    const int lo = static_cast<int>(expected * 0.94), hi = static_cast<int>(expected * 1.06) + 1;
    const size_t window = x.size() - from - static_cast<size_t>(hi) - 1;
    auto corr = [&](int lag) {
        double s = 0, e0 = 0, e1 = 0;
        for (size_t i = from; i < from + window; ++i) {
            s += double(x[i]) * x[i + lag];
            e0 += double(x[i]) * x[i];
            e1 += double(x[i + lag]) * x[i + lag];
        }
        return s / std::sqrt(e0 * e1 + 1e-300);
    };
    int best = lo;
    double bestV = -2;
    std::vector<double> c(hi - lo + 1);
    for (int l = lo; l <= hi; ++l) {
        c[l - lo] = corr(l);
        if (c[l - lo] > bestV) {
            bestV = c[l - lo];
            best = l;
        }
    }
    if (best == lo || best == hi) return best;
    const double a = c[best - 1 - lo], b = c[best - lo], d = c[best + 1 - lo];
    const double den = a - 2 * b + d;
    return best + (den != 0.0 ? 0.5 * (a - d) / den : 0.0);
}

// A voice with its control record and settings, rendered in blocks like the shell does.
struct VoiceRig {
    Voice voice;
    ParamSnapshot p;
    VoiceControl vc;
    VoiceSettings s;
    double fs = 44100.0;
    std::function<void(long)> onSample; // called as the per-sample tick, with the sample index
    long index = 0;

    static void tickThunk(void* ctx) {
        auto* r = static_cast<VoiceRig*>(ctx);
        r->onSample(r->index++);
    }
    std::vector<float> render(size_t n, int block = 128) {
        std::vector<float> out(n);
        for (size_t i = 0; i < n; i += block) {
            const int len = static_cast<int>(std::min<size_t>(block, n - i));
            voice.render(out.data() + i, len, fs, p, vc, s, onSample ? &tickThunk : nullptr, this);
        }
        return out;
    }
    void noteOn(float hz, bool accent = false) {
        vc.pitchHz = hz;
        vc.gate = 1;
        vc.trigger = 1;
        vc.accent = vc.accentStep = accent ? 1 : 0;
    }
};

} // namespace kelo::test
