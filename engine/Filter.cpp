#include "engine/Filter.h"

#include "engine/FilterTables.h"

#include <cmath>

namespace kelo {

RateClass RateClass::of(double fs) {
    RateClass rc;
    if (fs >= 95999.0) {
        rc.index = 2;
        rc.periodScale = 0.5;
    } else if (fs >= 47999.0) {
        rc.index = 1;
        rc.periodScale = 1.0;
    }
    return rc;
}

namespace {

inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }


} // namespace

Filter::Filter() : tables_(&FilterTables::get()) {}

double Filter::envTerm(const FilterInput& in) const {
    const double k = in.rawAccent;
    return in.env - 0.45 / ((0.1 * in.gateFollower + 0.9) * (1.0 - k) + k) - 0.05;
}

double Filter::process(const FilterInput& in, const VoiceSettings& s, const RateClass& rc) {
    const FilterTables& tab = *tables_;
    const double r = in.resonance;
    const double r2 = r * r;
    const double c2 = in.cutoffSq;
    const double m = s.envmodKnob < 1 ? in.envmod : 39.0 / (130.0 - 100.0 * in.envmod) - 0.3;

    // Control value.
    const double q = 1.0 - r2;
    const double low = 0.32 * r2 + 0.22 * q;
    const double high = 0.665 * r2 + 0.64 * q;
    const double ka = 0.255 * r + 0.27 * (1.0 - r);
    const double base = ((high - low) * c2 + low) * ((clamp01(s.tm3) - 0.5) * 0.5 + 1.0);
    const double depth = (0.65 - 0.14) * m + 0.14;
    const double R = in.rawResonance;
    lastEnvTerm_ = envTerm(in);
    double x = base + depth * lastEnvTerm_ +
               ((in.accent ? in.accentDrive * (1.0 - R) : 0.0) + R * in.accentCap) * ka +
               (1.0 - c2) * m * 0.1;
    if (x > 1.4) x = 1.4;
    if (!s.vcaNoise) {
        ctl1_ = dsp::onePole(ctl1_, x + gCtl1_.next(), 0.1);
        ctl2_ = dsp::onePole(ctl2_, ctl1_ + gCtl2_.next(), 0.1);
        x = ctl2_;
    }
    lastControl_ = x;

    double g = 1.4 * tableRead(tab.exponential, FilterTables::kExpSize, 1024.0 * x);
    if (rc.index == 2) g *= 0.6;
    lastRate_ = g;
    const double fbScale = rc.index == 2 ? 4.1 : s.tm4;
    const double fb = tableRead(tab.feedback, FilterTables::kCurveSize, 256.0 * g) * fbScale;
    const double lev = tableRead(tab.level, FilterTables::kCurveSize, 256.0 * g);
    const double lambda = lev * r * (s.vcaLeveling ? 1.6 : 0.8);
    const double mu = s.vcaLeveling ? 1.5 : 1.0;
    double sigma = 2.3 * g + 0.01;
    if (sigma < 0.6) sigma = 0.6;
    if (sigma > 1.2) sigma = 1.2;

    // Every stage shares the rate g, so the collapsed RK4 coefficient is computed once.
    // A stage step st + (v + guard - st) c is written st (1 - c) + guard c + v c: the
    // first two terms do not wait for v, so the series chain only waits one multiply-add
    // per stage (and the saturator's 1/sigma folds into c).
    const double c = dsp::rk4Coeff(g);
    const double keep = 1.0 - c;
    const double cOverSigma = c / sigma;
    auto stage = [c, keep](double& st, double target, dsp::Guard& gd) {
        st = (st * keep + gd.next() * c) + target * c;
    };
    // The saturator's argument is taken to single precision, as the fed-back values are.
    auto satStage = [c, keep, cOverSigma, sigma](double& st, double v, dsp::Guard& gd) {
        st = (st * keep + gd.next() * c) + dsp::softClip(static_cast<float>(sigma * v)) * cOverSigma;
    };
    const double o = in.osc;
    double out;
    switch (s.filterMode) {
    case 0: {
        const double tm6 = clamp01(s.tm6);
        stage(s_[0], o - (tm6 * 0.05 + 1.0) * r * yLast_ * fb, gs_[0]);
        stage(s_[1], s_[0], gs_[1]);
        stage(s_[2], s_[1], gs_[2]);
        satStage(s_[3], s_[2], gs_[3]);
        yLast_ = static_cast<float>(s_[3]);
        out = s_[3];
        break;
    }
    case 1: {
        const double tm6 = clamp01(s.tm6);
        stage(s_[0], o - (tm6 * 0.05 + 1.0) * r * yLast_ * fb, gs_[0]);
        satStage(s_[1], s_[0], gs_[1]);
        satStage(s_[2], s_[1], gs_[2]);
        satStage(s_[3], s_[2], gs_[3]);
        yLast_ = static_cast<float>(s_[3]);
        stage(t_[0], o - r * zLast_ * fb, gt_[0]);
        stage(t_[1], t_[0], gt_[1]);
        stage(t_[2], t_[1], gt_[2]);
        stage(t_[3], t_[2], gt_[3]);
        zLast_ = static_cast<float>(t_[3]);
        out = ((1.0 - g / 2) * s_[3] + (g / 2) * s_[2]) * r2 + (1.0 - r2) * t_[2];
        break;
    }
    case 2:
        stage(s_[0], o - r * yLast_ * fb, gs_[0]);
        stage(s_[1], s_[0], gs_[1]);
        stage(s_[2], s_[1], gs_[2]);
        stage(s_[3], s_[2], gs_[3]);
        yLast_ = static_cast<float>(s_[3]);
        out = s_[2];
        break;
    default:
        out = o; // unknown structure: pass the oscillator through, level still applies
        break;
    }
    // The linear chains have no saturator; a feedback scale raised far enough (TM4) makes
    // them oscillate without bound. Rather than let them overflow into NaN and silence
    // the instance for good, a runaway chain starts again from rest.
    if (!(std::fabs(s_[3]) < kRunaway) || !(std::fabs(t_[3]) < kRunaway)) {
        const bool chain1 = !(std::fabs(s_[3]) < kRunaway);
        double* st = chain1 ? s_ : t_;
        for (int k = 0; k < 4; ++k) st[k] = 0.0;
        (chain1 ? yLast_ : zLast_) = 0.0f;
        if (!std::isfinite(out) || std::fabs(out) >= kRunaway) out = 0.0;
        ++runaways_;
    }

    level_ = dsp::onePole(level_, (lambda + (1.0 - r) * 0.8) * mu * 1.1 + gLevel_.next(), 0.1);
    return out * level_;
}

} // namespace kelo
