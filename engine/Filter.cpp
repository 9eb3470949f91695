#include "engine/Filter.h"

#include "engine/FilterTables.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelo {

RateClass RateClass::of(double fs) {
    RateClass rc;
    rc.fs = fs;
    rc.ratio = 44100.0 / fs;
    if (fs > 44100.0) rc.periodScale = 48000.0 / fs; // 1.0884354 * 44100 / fs
    return rc;
}

namespace {

inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }


} // namespace

Filter::Filter() : tables_(&FilterTables::get()) {
    std::copy(tables_->feedbackWide, tables_->feedbackWide + FilterTables::kCurveSize, feedbackAtRate_);
    feedbackRatio_ = 1.0;
}

namespace {
// How far a one-pole stage of coefficient c responds ahead of the analogue lag with the
// same pole, in its own samples (the difference of their mean delays).
double stageLead(double c) {
    const double a = 1.0 - c;
    if (!(a > 0.0)) return 0.5;
    if (a > 0.999999) return 0.5; // the limit for slow stages
    return 1.0 / -std::log(a) - a / c;
}

// Loop gain at which four linear stages of coefficient c with the fed-back value taken one
// sample late and extrapolated by `lead` start to oscillate: 1 / |loop| where the loop's
// phase reaches -pi (searched on a logarithmic grid, refined by bisection).
double criticalGain(double c, double lead) {
    constexpr double kPi = 3.14159265358979323846;
    const double a = 1.0 - c;
    auto loop = [&](double w) {
        const double re = 1.0 - a * std::cos(w), im = a * std::sin(w);
        const double stagePhase = -std::atan2(im, re);
        const double fre = 1.0 + lead - lead * std::cos(w), fim = lead * std::sin(w);
        const double phase = -w + std::atan2(fim, fre) + 4.0 * stagePhase;
        const double mag2 = c * c / (re * re + im * im);
        return std::pair{phase + kPi, mag2 * mag2 * std::sqrt(fre * fre + fim * fim)};
    };
    double best = 1e300;
    const int steps = 160;
    const double grow = std::pow(kPi * 0.999999 / 1e-4, 1.0 / steps);
    double w0 = 1e-4, p0 = loop(w0).first;
    for (int k = 1; k <= steps; ++k) {
        const double w1 = w0 * grow, p1 = loop(w1).first;
        if ((p0 > 0.0) != (p1 > 0.0)) {
            double lo = w0, hi = w1;
            for (int it = 0; it < 40; ++it) {
                const double mid = 0.5 * (lo + hi);
                if ((loop(mid).first > 0.0) == (p0 > 0.0)) lo = mid;
                else hi = mid;
            }
            best = std::min(best, 1.0 / loop(0.5 * (lo + hi)).second);
        }
        w0 = w1;
        p0 = p1;
    }
    return best;
}
} // namespace

void Filter::buildStageTable(double ratio) {
    const double* e = tables_->exponentialWide;
    const double q = 1.0 / ratio; // fs / 44100
    for (int i = 0; i < FilterTables::kExpSize; ++i) {
        const double c44 = dsp::rk4Coeff(1.4 * e[i]);
        const double c = dsp::atRate(c44, ratio);
        // Loop timing in 44.1 kHz samples: 4 lead44 - 1 there, (4 leadFs - delay) / q here.
        const double delay = 4.0 * stageLead(c) - (4.0 * stageLead(c44) - 1.0) * q;
        stageLead_[2 * i] = c;
        stageLead_[2 * i + 1] = 1.0 - delay;
    }
    for (int k = 0; k < kKeepSize; ++k) {
        const double g = std::max(k * kKeepStep, 1) / 256.0;
        const double c44 = dsp::rk4Coeff(g), c = dsp::atRate(c44, ratio);
        const double here = criticalGain(c, 1.0 - (4.0 * stageLead(c) - (4.0 * stageLead(c44) - 1.0) * q));
        const double there = criticalGain(c44, 0.0);
        keep_[k] = here < there ? here / there : 1.0;
    }
    for (int i = 0; i < FilterTables::kCurveSize; ++i)
        feedbackAtRate_[i] = tables_->feedbackWide[i] * tableRead(keep_, kKeepSize, double(i) / kKeepStep);
    feedbackRatio_ = ratio;
    stageRatio_ = ratio;
}

void Filter::prepare(const VoiceSettings& s, const RateClass& rc) {
    const double tm3Scale = (clamp01(s.tm3) - 0.5) * 0.5 + 1.0;
    const bool envmodCurve = !(s.envmodKnob < 1);
    if (tm3Scale != k_.tm3Scale || envmodCurve != k_.envmodCurve) {
        parts_[0] = parts_[1] = ControlParts{}; // remembered parts used the old settings
    }
    k_.mode = s.filterMode;
    k_.controlLags = !s.vcaNoise;
    k_.envmodCurve = envmodCurve;
    k_.at44 = rc.ratio == 1.0;
    if (!k_.at44 && rc.ratio != stageRatio_) buildStageTable(rc.ratio);
    if (k_.at44 && feedbackRatio_ != 1.0) {
        std::copy(tables_->feedbackWide, tables_->feedbackWide + FilterTables::kCurveSize, feedbackAtRate_);
        feedbackRatio_ = 1.0;
        stageRatio_ = 1.0; // the other rate's curve is gone: a return there rebuilds it
    }
    k_.levelK = dsp::atRate(0.1, rc.ratio);
    k_.controlK = k_.levelK;
    k_.tm3Scale = tm3Scale;
    k_.feedbackScale = s.tm4;
    k_.extraFeedback = clamp01(s.tm6) * 0.05 + 1.0;
    k_.levelScale = s.vcaLeveling ? 1.6 : 0.8;
    k_.mu = s.vcaLeveling ? 1.5 : 1.0;
}

} // namespace kelo
