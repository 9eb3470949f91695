#pragma once
// Measurement helpers for the engine tests: spectra, pitch, and a voice harness.
#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "engine/Voice.h"

namespace kelo::test {

constexpr double kPi = 3.14159265358979323846;

// Magnitude spectrum (bins 0..n/2, n a power of two) under a 4-term Blackman-Harris window,
// whose side lobes (below -92 dB) keep weak components next to strong ones visible.
inline std::vector<double> magnitudeSpectrum(const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * double(i) / double(n);
        a[i] = x[i] * (0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t));
    }
    for (size_t i = 1, j = 0; i < n; ++i) { // radix-2 FFT
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2.0 * kPi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k, w *= wl) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    std::vector<double> m(n / 2 + 1);
    for (size_t k = 0; k < m.size(); ++k) m[k] = std::abs(a[k]);
    return m;
}

// Period of a periodic signal: the lag within +-6% of `expected` with the strongest
// normalised autocorrelation, refined by a parabola through its neighbours.
inline double measurePeriod(const std::vector<float>& x, size_t from, double expected) {
    const int lo = int(expected * 0.94), hi = int(expected * 1.06) + 1;
    const size_t window = x.size() - from - size_t(hi) - 1;
    std::vector<double> c(size_t(hi - lo + 1));
    for (int l = lo; l <= hi; ++l) {
        double s = 0, e0 = 0, e1 = 0;
        for (size_t i = from; i < from + window; ++i) {
            s += double(x[i]) * x[i + l];
            e0 += double(x[i]) * x[i];
            e1 += double(x[i + l]) * x[i + l];
        }
        c[size_t(l - lo)] = s / std::sqrt(e0 * e1 + 1e-300);
    }
    const int best = lo + int(std::max_element(c.begin(), c.end()) - c.begin());
    if (best == lo || best == hi) return best;
    const double a = c[size_t(best - 1 - lo)], b = c[size_t(best - lo)], d = c[size_t(best + 1 - lo)];
    return best + 0.5 * (a - d) / (a - 2 * b + d);
}

// A voice with its control record and settings, rendered in blocks as the plug-in does.
// onSample, when set, runs as the per-sample tick with the sample's index.
struct VoiceRig {
    Voice voice;
    ParamSnapshot p;
    VoiceControl vc;
    VoiceSettings s;
    double fs = 44100.0;
    std::function<void(long)> onSample;
    long index = 0;

    static int tick(void* ctx, int) {
        auto* r = static_cast<VoiceRig*>(ctx);
        r->onSample(r->index++);
        return 0;
    }
    std::vector<float> render(size_t n, int block = 128) {
        std::vector<float> out(n);
        for (size_t i = 0; i < n; i += size_t(block)) {
            const int len = int(std::min(size_t(block), n - i));
            voice.render(out.data() + i, len, fs, p, vc, s, onSample ? &tick : nullptr, this);
        }
        return out;
    }
    void noteOn(float hz, bool accent = false) {
        vc.pitchHz = hz;
        vc.gate = vc.trigger = 1;
        vc.accent = vc.accentStep = accent ? 1 : 0;
    }
    // Samples until get(state), read before each sample, first crosses the threshold.
    template <typename Get>
    long samplesUntil(long limit, Get get, double threshold, bool falling) {
        long hit = -1;
        onSample = [&](long i) {
            const double v = get(voice.state());
            if (hit < 0 && i > 0 && (falling ? v < threshold : v > threshold)) hit = i - 1;
        };
        index = 0;
        for (long done = 0; done < limit && hit < 0; done += 128) render(size_t(std::min(128L, limit - done)));
        onSample = nullptr;
        return hit;
    }
};

} // namespace kelo::test
