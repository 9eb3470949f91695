// The filter and the output stage against literal, unoptimised transcriptions of their
// per-sample formulas, so a rearrangement for speed cannot change the sound.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestUtil.h"
#include "engine/Dsp.h"
#include "engine/Filter.h"
#include "engine/FilterTables.h"

using namespace kelo;

namespace {

// Each formula as written: four-stage RK4 steps, saturator divided by sigma, no shared terms.
struct LiteralFilter {
    double s[4] = {}, t[4] = {};
    float yLast = 0, zLast = 0;
    double level = 0;
    double gs[4] = {1e-5, 1e-5, 1e-5, 1e-5}, gt[4] = {1e-5, 1e-5, 1e-5, 1e-5}, gl = 1e-5;

    static double guard(double& g) {
        const double v = g;
        g = -g;
        return v;
    }
    static double sat(double v, double sigma) { return dsp::softClip(static_cast<float>(sigma * v)) / sigma; }

    double process(const FilterInput& in, int mode, int rateClass) {
        const FilterTables& tab = FilterTables::get();
        const double r = in.resonance, c2 = in.cutoffSq, R = in.rawResonance, K = in.rawAccent;
        const double m = 39.0 / (130.0 - 100.0 * in.envmod) - 0.3;
        const double q = 1 - r * r;
        const double low = 0.32 * r * r + 0.22 * q, high = 0.665 * r * r + 0.64 * q;
        const double ka = 0.255 * r + 0.27 * (1 - r);
        const double b = ((high - low) * c2 + low) * ((0.5 - 0.5) * 0.5 + 1);
        const double e = in.env - 0.45 / ((0.1 * in.gateFollower + 0.9) * (1 - K) + K) - 0.05;
        const double d = (0.65 - 0.14) * m + 0.14;
        double x = b + d * e + (in.accent * in.accentDrive * (1 - R) + R * in.accentCap) * ka + (1 - c2) * m * 0.1;
        if (x > 1.4) x = 1.4;
        double g = 1.4 * tableRead(tab.exponential, 2048, 1024 * x);
        if (rateClass == 2) g *= 0.6;
        const double fb = tableRead(tab.feedback, 512, 256 * g) * (rateClass == 2 ? 4.1 : 3.985);
        const double lambda = tableRead(tab.level, 512, 256 * g) * r * 0.8;
        double sigma = std::min(1.2, std::max(0.6, 2.3 * g + 0.01));
        auto step = [g](double& st, double v, double& gd) { st = dsp::smoothStepRk4(st, v + guard(gd), g); };
        const double o = in.osc;
        double out = o;
        if (mode == 0) {
            step(s[0], o - (0.25 * 0.05 + 1) * r * yLast * fb, gs[0]);
            step(s[1], s[0], gs[1]);
            step(s[2], s[1], gs[2]);
            step(s[3], sat(s[2], sigma), gs[3]);
            yLast = static_cast<float>(s[3]);
            out = s[3];
        } else if (mode == 1) {
            step(s[0], o - (0.25 * 0.05 + 1) * r * yLast * fb, gs[0]);
            step(s[1], sat(s[0], sigma), gs[1]);
            step(s[2], sat(s[1], sigma), gs[2]);
            step(s[3], sat(s[2], sigma), gs[3]);
            yLast = static_cast<float>(s[3]);
            step(t[0], o - r * zLast * fb, gt[0]);
            step(t[1], t[0], gt[1]);
            step(t[2], t[1], gt[2]);
            step(t[3], t[2], gt[3]);
            zLast = static_cast<float>(t[3]);
            out = ((1 - g / 2) * s[3] + (g / 2) * s[2]) * r * r + (1 - r * r) * t[2];
        } else if (mode == 2) {
            step(s[0], o - r * yLast * fb, gs[0]);
            step(s[1], s[0], gs[1]);
            step(s[2], s[1], gs[2]);
            step(s[3], s[2], gs[3]);
            yLast = static_cast<float>(s[3]);
            out = s[2];
        }
        level = level + ((lambda + (1 - r) * 0.8) * 1.0 * 1.1 + guard(gl) - level) * 0.1;
        return out * level;
    }
};

} // namespace

TEST(FilterReference, OptimisedFilterMatchesTheLiteralFormulas) {
    for (int rateClass : {0, 2}) {
        const double fs = rateClass == 2 ? 96000.0 : 44100.0;
        for (int mode : {0, 1, 2, 5}) {
            for (double res : {0.0, 0.5, 0.9}) {
                Filter fast;
                LiteralFilter ref;
                VoiceSettings s;
                s.filterMode = mode;
                double worst = 0, scale = 0;
                for (int i = 0; i < 4000; ++i) {
                    FilterInput in{};
                    in.osc = std::fmod(i * 0.013, 2.0) - 1.0;
                    in.cutoffSq = 0.2 + 0.15 * std::sin(i * 0.001);
                    in.resonance = in.rawResonance = res;
                    in.envmod = 0.6;
                    in.rawAccent = 0.7;
                    in.env = std::exp(-(i % 1500) / 300.0);
                    in.gateFollower = 0.5;
                    in.accent = (i / 1500) % 2;
                    in.accentDrive = 0.3 * in.env;
                    in.accentCap = 0.2;
                    const double a = fast.process(in, s, RateClass::of(fs));
                    const double b = ref.process(in, mode, rateClass);
                    worst = std::max(worst, std::fabs(a - b));
                    scale = std::max(scale, std::fabs(b));
                }
                EXPECT_LT(worst, 1e-12 * std::max(scale, 1.0)) << "mode " << mode << " res " << res << " fs " << fs;
            }
        }
    }
}
