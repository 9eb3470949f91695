#pragma once
// The filter's per-sample step, inline so the voice's sample loop carries no call and the
// settings-derived constants stay in place across the sub-block. Included by Filter.h.
#include <cmath>

#include "engine/FilterTables.h"

namespace kelo {

namespace filter_detail {

// sat(x) scaled two ways with one shared set of products: x (x^2 + 27) / (9x^2 + 27) times
// a and times b. x is a float value, so x^2 and 9x^2 are exact; the scale is applied to x
// before the quotient so it does not wait for the division.
inline void softClipScaled(double x, double a, double b, double& timesA, double& timesB) {
    x = x < -3.0 ? -3.0 : x; // branch-free clamp; the formula is exactly +-1 at +-3
    x = x > 3.0 ? 3.0 : x;
    const double x2 = x * x;
    const double num = x2 + 27.0;
    const double den = 9.0 * x2 + 27.0;
    timesA = (x * a) * num / den;
    timesB = (x * b) * num / den;
}

} // namespace filter_detail

inline const Filter::ControlParts& Filter::controlParts(double r, double c2, double mIn) {
    if (r == parts_[0].r && c2 == parts_[0].c2 && mIn == parts_[0].m) return parts_[0];
    if (r == parts_[1].r && c2 == parts_[1].c2 && mIn == parts_[1].m) return parts_[1];
    ControlParts& p = parts_[partsNext_];
    partsNext_ ^= 1;
    p.r = r;
    p.c2 = c2;
    p.m = mIn;
    const double m = k_.envmodCurve ? 39.0 / (130.0 - 100.0 * mIn) - 0.3 : mIn;
    const double r2 = r * r;
    const double q = 1.0 - r2;
    const double low = 0.32 * r2 + 0.22 * q;
    const double high = 0.665 * r2 + 0.64 * q;
    p.r2 = r2;
    p.ka = 0.255 * r + 0.27 * (1.0 - r);
    p.base = ((high - low) * c2 + low) * k_.tm3Scale;
    p.depth = (0.65 - 0.14) * m + 0.14;
    p.tail = (1.0 - c2) * m * 0.1;
    p.levelRest = (1.0 - r) * 0.8;
    return p;
}

// Always inline: the voice calls it from one place, and inlined the input record never
// goes through memory.
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline double Filter::step(const FilterInput& in) {
    const FilterTables& tab = *tables_;
    const double r = in.resonance;
    const double c2 = in.cutoffSq;
    const ControlParts& cp = controlParts(r, c2, in.envmod);
    const double r2 = cp.r2;
    const double R = in.rawResonance;
    lastEnvTerm_ = envTerm(in);
    double x = cp.base + cp.depth * lastEnvTerm_ + ((in.accent ? in.accentDrive * (1.0 - R) : 0.0) + R * in.accentCap) * cp.ka +
               cp.tail;
    if (x > 1.4) x = 1.4;
    if (k_.controlLags) {
        const double gc = gCtl_.next();
        ctl1_ = dsp::onePole(ctl1_, x + gc, 0.1);
        ctl2_ = dsp::onePole(ctl2_, ctl1_ + gc, 0.1);
        x = ctl2_;
    }
    lastControl_ = x;

    double g = 1.4 * tableRead(tab.exponential, FilterTables::kExpSize, 1024.0 * x);
    if (k_.rate96) g *= 0.6;
    lastRate_ = g;
    const double fb = tableRead(tab.feedback, FilterTables::kCurveSize, 256.0 * g) * k_.feedbackScale;
    const double lev = tableRead(tab.level, FilterTables::kCurveSize, 256.0 * g);
    const double lambda = lev * r * k_.levelScale;
    double sigma = 2.3 * g + 0.01;
    if (sigma < 0.6) sigma = 0.6;
    if (sigma > 1.2) sigma = 1.2;

    // Every stage shares the rate g, so the collapsed RK4 coefficient is computed once, and
    // a stage step st + (v + guard - st) c is written (st (1 - c) + guard c) + v c: the
    // bracket does not wait for v. The saturator needs sigma times its input stage's new
    // state; that is taken as sigma times the bracket plus the input's own term times
    // sigma c, so the chain from one saturator to the next is one quotient, one add and
    // the float rounding. (Each form rounds differently from the literal one by an ulp.)
    const double c = dsp::rk4Coeff(g);
    const double keep = 1.0 - c;
    const double cOverSigma = c * (1.0 / sigma); // the quotient runs while c is computed
    const double sc = sigma * c;
    const double o = in.osc;
    double out;
    switch (k_.mode) {
    case 0: {
        const double gs = gs_.next() * c;
        const double p3 = s_[3] * keep + gs;
        s_[0] = (s_[0] * keep + gs) + (o - k_.extraFeedback * r * yLast_ * fb) * c;
        s_[1] = (s_[1] * keep + gs) + s_[0] * c;
        const double p2 = s_[2] * keep + gs;
        s_[2] = p2 + s_[1] * c;
        const float u3 = static_cast<float>(sigma * p2 + s_[1] * sc);
        s_[3] = p3 + dsp::softClip(u3) * cOverSigma;
        yLast_ = static_cast<float>(s_[3]);
        out = s_[3];
        break;
    }
    case 1: {
        const double gs = gs_.next() * c;
        const double p0 = s_[0] * keep + gs, p1 = s_[1] * keep + gs, p2 = s_[2] * keep + gs;
        const double p3 = s_[3] * keep + gs;
        const double v0 = o - k_.extraFeedback * r * yLast_ * fb;
        s_[0] = p0 + v0 * c;
        double chain, term;
        filter_detail::softClipScaled(static_cast<float>(sigma * p0 + v0 * sc), c, cOverSigma, chain, term);
        s_[1] = p1 + term;
        filter_detail::softClipScaled(static_cast<float>(sigma * p1 + chain), c, cOverSigma, chain, term);
        s_[2] = p2 + term;
        filter_detail::softClipScaled(static_cast<float>(sigma * p2 + chain), c, cOverSigma, chain, term);
        s_[3] = p3 + term;
        yLast_ = static_cast<float>(s_[3]);
        const double gt = gt_.next() * c;
        t_[0] = (t_[0] * keep + gt) + (o - r * zLast_ * fb) * c;
        t_[1] = (t_[1] * keep + gt) + t_[0] * c;
        t_[2] = (t_[2] * keep + gt) + t_[1] * c;
        t_[3] = (t_[3] * keep + gt) + t_[2] * c;
        zLast_ = static_cast<float>(t_[3]);
        out = ((1.0 - g / 2) * s_[3] + (g / 2) * s_[2]) * r2 + (1.0 - r2) * t_[2];
        break;
    }
    case 2: {
        const double gs = gs_.next() * c;
        s_[0] = (s_[0] * keep + gs) + (o - r * yLast_ * fb) * c;
        s_[1] = (s_[1] * keep + gs) + s_[0] * c;
        s_[2] = (s_[2] * keep + gs) + s_[1] * c;
        s_[3] = (s_[3] * keep + gs) + s_[2] * c;
        yLast_ = static_cast<float>(s_[3]);
        out = s_[2];
        break;
    }
    default:
        out = o; // unknown structure: pass the oscillator through, level still applies
        break;
    }
    // The linear chains have no saturator; a feedback scale raised far enough (TM4) makes
    // them oscillate without bound. Rather than let them overflow into NaN and silence
    // the instance for good, a runaway chain starts again from rest.
    if (!(std::fabs(s_[3]) < kRunaway) || !(std::fabs(t_[3]) < kRunaway)) [[unlikely]]
        out = restartRunaway(out);

    level_ = dsp::onePole(level_, (lambda + cp.levelRest) * k_.mu * 1.1 + gLevel_.next(), 0.1);
    return out * level_;
}

} // namespace kelo
