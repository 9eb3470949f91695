#pragma once
// The filter's per-sample step, inline so the voice's sample loop carries no call and the
// settings-derived constants stay in place across the sub-block. Included by Filter.h.
#include <cmath>

#include "engine/FilterTables.h"

namespace kelo {

namespace filter_detail {

// The saturator's argument, clamped where the soft clipper saturates (branches: they
// follow the signal's slow swings and predict well).
inline double clampSat(float u) {
    double x = u;
    if (x < -3.0) [[unlikely]]
        x = -3.0;
    if (x > 3.0) [[unlikely]]
        x = 3.0;
    return x;
}

// base + a sat(x), with sat(x) = x (x^2 + 27) / (9x^2 + 27) written as x/9 + (8/3) x / (x^2 + 3)
// and a/9, 8a/3 given: only x^2 + 3 and one quotient lie between x and the result.
inline double addSat(double base, double x, double a9, double a83) { return (base + x * a9) + (x * a83) / (x * x + 3.0); }
// The two parts of a sat(x): x a/9 and (8a/3) x / (x^2 + 3).
struct SatParts {
    double lin, quo;
};
inline SatParts satParts(double x, double a9, double a83) { return {x * a9, (x * a83) / (x * x + 3.0)}; }

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

#if defined(__GNUC__)
#define KELO_ALWAYS_INLINE [[gnu::always_inline]]
#else
#define KELO_ALWAYS_INLINE
#endif

inline double Filter::step(const FilterInput& in) {
    const ControlParts& cp = controlParts(in.resonance, in.cutoffSq, in.envmod);
    const FilterGuards g{stepsChain1() ? gs_.next() : gs_.g, stepsChain2() ? gt_.next() : gt_.g,
                         stepsControlLags() ? gCtl_.next() : gCtl_.g, gLevel_.next()};
    return stepHot(hot_, cp, in, g);
}

// Always inline: the voice calls these from its sample loop, where the held state and the
// records between them never go through memory.
KELO_ALWAYS_INLINE inline double Filter::controlValue(const ControlParts& cp, const FilterInput& in, double e) const {
    const double R = in.rawResonance;
    const double x = cp.base + cp.depth * e + ((in.accent ? in.accentDrive * (1.0 - R) : 0.0) + R * in.accentCap) * cp.ka + cp.tail;
    return x > 1.4 ? 1.4 : x;
}

template <bool Plain, Filter::Rate R>
KELO_ALWAYS_INLINE inline Filter::Drive Filter::drive(Hot& h, const ControlParts& cp, const FilterInput& in,
                                                      const FilterGuards& gd, double quotient) {
    h.lastEnvTerm = in.env - quotient - 0.05;
    return driveFrom<Plain, R>(h, cp, controlValue(cp, in, h.lastEnvTerm), in.osc, in.resonance, gd);
}

template <bool Plain, Filter::Rate R>
KELO_ALWAYS_INLINE inline Filter::Drive Filter::driveFrom(Hot& h, const ControlParts& cp, double x, double o, double r,
                                                          const FilterGuards& gd) {
    const FilterTables& tab = *tables_;
    if (!Plain && k_.controlLags) {
        const double gc = gd.ctl;
        h.ctl1 = dsp::onePole(h.ctl1, x + gc, k_.controlK);
        h.ctl2 = dsp::onePole(h.ctl2, h.ctl1 + gc, k_.controlK);
        x = h.ctl2;
    }
    h.lastControl = x;

    Drive d;
    const bool at44 = R == Rate::At44 || (R == Rate::Any && k_.at44);
    // g is the stage rate at 44.1 kHz: it also picks the feedback, level and saturation.
    // Away from 44.1 kHz the stage coefficient and the lead are read at g's index.
    double g;
    if (at44) {
        g = 1.4 * tableRead(tab.exponentialWide, FilterTables::kExpSize, 1024.0 * x);
    } else {
        double e;
        tableReadWithPair(tab.exponentialWide, stageLead_, FilterTables::kExpSize, 1024.0 * x, e, d.c, d.lead);
        g = 1.4 * e;
    }
    h.lastRate = g;
    double fb, lev;
    tableRead2(feedbackAtRate_, tab.levelWide, FilterTables::kCurveSize, 256.0 * g, fb, lev);
    fb *= k_.feedbackScale;
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
    if (at44) {
        d.c = dsp::rk4Coeff(g);
        d.lead = 0.0;
    }
    d.sigma = sigma;
    d.invSigma = 1.0 / sigma; // the quotient runs while c is computed
    d.o = o;
    d.r = r;
    d.r2 = cp.r2;
    d.g = g;
    d.fb = fb;
    d.gs = gd.s;
    d.gt = gd.t;
    // The output level does not depend on the chains: it is stepped here too.
    h.level = dsp::onePole(h.level, (lambda + cp.levelRest) * k_.mu * 1.1 + gd.level, k_.levelK);
    d.level = h.level;
    return d;
}

template <bool Plain, Filter::Rate R>
KELO_ALWAYS_INLINE inline double Filter::chain(Hot& h, const Drive& d) {
    const double c = d.c, keep = 1.0 - c, sigma = d.sigma, invSigma = d.invSigma, cOverSigma = c * invSigma;
    const double sc = sigma * c, o = d.o, r = d.r, r2 = d.r2, g = d.g, fb = d.fb;
    double* s_ = h.s;
    double* t_ = h.t;
    double out;
    // The fed-back values, carried forward by the lead away from 44.1 kHz.
    double yl = h.yLast, zl = h.zLast;
    if (R == Rate::Away || (R == Rate::Any && !k_.at44)) {
        yl += d.lead * (h.yLast - h.yPrev);
        zl += d.lead * (h.zLast - h.zPrev);
        h.yPrev = h.yLast;
        h.zPrev = h.zLast;
    }
    switch (Plain ? 1 : k_.mode) {
    case 0: {
        const double gs = d.gs * c;
        const double p3 = s_[3] * keep + gs;
        s_[0] = (s_[0] * keep + gs) + (o - k_.extraFeedback * r * yl * fb) * c;
        s_[1] = (s_[1] * keep + gs) + s_[0] * c;
        const double p2 = s_[2] * keep + gs;
        s_[2] = p2 + s_[1] * c;
        const double u3 = filter_detail::clampSat(static_cast<float>(sigma * p2 + s_[1] * sc));
        s_[3] = filter_detail::addSat(p3, u3, cOverSigma * (1.0 / 9.0), cOverSigma * (8.0 / 3.0));
        h.yLast = static_cast<float>(s_[3]);
        out = s_[3];
        break;
    }
    case 1: {
        // The chain carries sigma times each saturating stage's new state; stages one and
        // two get their state from it by 1/sigma, stage four (fed back) by its own quotient.
        const double gs = d.gs * c;
        const double p0 = s_[0] * keep + gs, p1 = s_[1] * keep + gs, p2 = s_[2] * keep + gs;
        const double p3 = s_[3] * keep + gs;
        const double c9 = c * (1.0 / 9.0), c83 = c * (8.0 / 3.0);
        // The feedback enters the first saturator through one product and one difference:
        // its gain and the rest of the argument are ready before the previous output is.
        const double fbGain = k_.extraFeedback * r * fb;
        const double v0 = o - fbGain * yl;
        s_[0] = p0 + v0 * c;
        const double u1Rest = sigma * p0 + o * sc, u1Gain = fbGain * sc;
        const double u1 = filter_detail::clampSat(static_cast<float>(u1Rest - u1Gain * yl));
        const filter_detail::SatParts t1 = filter_detail::satParts(u1, c9, c83);
        const double u2 = filter_detail::clampSat(static_cast<float>((sigma * p1 + t1.lin) + t1.quo));
        const filter_detail::SatParts t2 = filter_detail::satParts(u2, c9, c83);
        const double u3 = filter_detail::clampSat(static_cast<float>((sigma * p2 + t2.lin) + t2.quo));
        s_[1] = p1 + (t1.lin + t1.quo) * invSigma;
        s_[2] = p2 + (t2.lin + t2.quo) * invSigma;
        s_[3] = filter_detail::addSat(p3, u3, cOverSigma * (1.0 / 9.0), cOverSigma * (8.0 / 3.0));
        h.yLast = static_cast<float>(s_[3]);
        const double gt = d.gt * c;
        t_[0] = (t_[0] * keep + gt) + (o - r * zl * fb) * c;
        t_[1] = (t_[1] * keep + gt) + t_[0] * c;
        t_[2] = (t_[2] * keep + gt) + t_[1] * c;
        t_[3] = (t_[3] * keep + gt) + t_[2] * c;
        h.zLast = static_cast<float>(t_[3]);
        out = ((1.0 - g / 2) * s_[3] + (g / 2) * s_[2]) * r2 + (1.0 - r2) * t_[2];
        break;
    }
    case 2: {
        const double gs = d.gs * c;
        s_[0] = (s_[0] * keep + gs) + (o - r * yl * fb) * c;
        s_[1] = (s_[1] * keep + gs) + s_[0] * c;
        s_[2] = (s_[2] * keep + gs) + s_[1] * c;
        s_[3] = (s_[3] * keep + gs) + s_[2] * c;
        h.yLast = static_cast<float>(s_[3]);
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
    // (Written out here rather than called: a call taking the state would keep the voice's
    // held copy in memory for the whole run.)
    if (!(std::fabs(s_[3]) < kRunaway) || !(std::fabs(t_[3]) < kRunaway)) [[unlikely]] {
        if (!(std::fabs(s_[3]) < kRunaway)) {
            s_[0] = s_[1] = s_[2] = s_[3] = 0.0;
            h.yLast = h.yPrev = 0.0;
        } else {
            t_[0] = t_[1] = t_[2] = t_[3] = 0.0;
            h.zLast = h.zPrev = 0.0;
        }
        ++runaways_;
        if (!(std::fabs(out) < kRunaway)) out = 0.0; // also NaN
    }
    return out * d.level;
}

KELO_ALWAYS_INLINE inline double Filter::stepHot(Hot& h, const ControlParts& cp, const FilterInput& in,
                                                 const FilterGuards& gd) {
    const Drive d = drive(h, cp, in, gd, envQuotient(in.gateFollower, in.rawAccent));
    return chain(h, d);
}

} // namespace kelo
