#include "engine/FilterTables.h"

#include <algorithm>
#include <cmath>

#include "engine/Dsp.h"

namespace kelo {
namespace {

struct Anchor {
    double x, y;
};

// Shape-preserving cubic (monotone piecewise Hermite) through the anchors: passes through
// every anchor, never overshoots between them, and has zero slope at a local extremum,
// so the stated peak stays the peak.
void fillCurve(float* out, int size, const Anchor* a, int count) {
    double slope[16];
    double secant[16];
    for (int k = 0; k + 1 < count; ++k) secant[k] = (a[k + 1].y - a[k].y) / (a[k + 1].x - a[k].x);
    slope[0] = secant[0];
    slope[count - 1] = 0.0; // the curve continues flat past the last anchor
    for (int k = 1; k + 1 < count; ++k) {
        const double s0 = secant[k - 1], s1 = secant[k];
        if (s0 * s1 <= 0.0) {
            slope[k] = 0.0;
        } else {
            const double h0 = a[k].x - a[k - 1].x, h1 = a[k + 1].x - a[k].x;
            const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
            slope[k] = (w0 + w1) / (w0 / s0 + w1 / s1);
        }
    }
    int k = 0;
    for (int i = 0; i < size; ++i) {
        if (i >= a[count - 1].x) {
            out[i] = static_cast<float>(a[count - 1].y);
            continue;
        }
        while (i >= a[k + 1].x) ++k;
        const double h = a[k + 1].x - a[k].x;
        const double t = (i - a[k].x) / h;
        const double t2 = t * t, t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * a[k].y + (t3 - 2 * t2 + t) * h * slope[k] +
                         (-2 * t3 + 3 * t2) * a[k + 1].y + (t3 - t2) * h * slope[k + 1];
        out[i] = static_cast<float>(v);
    }
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kDefaultFeedbackScale = 3.985;

// Loop gain at which the linear four-stage chain (feedback through one sample of delay)
// starts to oscillate, for stage rate g. With a = 1 - c the chain's phase is
// -w - 4 atan2(a sin w, 1 - a cos w); the loop goes unstable where that phase reaches -pi
// (inside the band, or at Nyquist) and the gain there is 1 / |H|^4.
double criticalGain(double g) {
    const double c = dsp::rk4Coeff(g);
    const double a = 1.0 - c;
    auto phase = [a](double w) { return -w - 4.0 * std::atan2(a * std::sin(w), 1.0 - a * std::cos(w)) + kPi; };
    auto inverseGain = [a, c](double w) {
        const double re = 1.0 - a * std::cos(w), im = a * std::sin(w);
        const double h2 = c * c / (re * re + im * im);
        return 1.0 / (h2 * h2);
    };
    double best = inverseGain(kPi);
    const int steps = 160;
    const double grow = std::pow(kPi * 0.999999 / 1e-4, 1.0 / steps);
    double w0 = 1e-4, p0 = phase(w0);
    for (int k = 1; k <= steps; ++k) {
        const double w1 = w0 * grow;
        const double p1 = phase(w1);
        if ((p0 > 0.0) != (p1 > 0.0)) {
            double lo = w0, hi = w1;
            for (int it = 0; it < 50; ++it) {
                const double mid = 0.5 * (lo + hi);
                if ((phase(mid) > 0.0) == (p0 > 0.0)) lo = mid;
                else hi = mid;
            }
            best = std::min(best, inverseGain(0.5 * (lo + hi)));
        }
        w0 = w1;
        p0 = p1;
    }
    return best;
}

// The feedback curve expressed as a share of the critical loop gain: the given points
// sit at 52% (closed filter) to 99% (fully open) of it. Interpolating that share instead
// of the raw values keeps every entry between them below self-oscillation of the linear
// chains at full resonance, which a plain spline through the values does not.
void fillFeedback(float* out, int size, const Anchor* a, int count) {
    Anchor share[16];
    // An open loop with g = 0 never oscillates; its limit is approached from a tiny rate.
    auto rateAt = [](double i) { return std::max(i, 0.25) / 256.0; };
    for (int k = 0; k < count; ++k)
        share[k] = {a[k].x, a[k].y * kDefaultFeedbackScale / criticalGain(rateAt(a[k].x))};
    float ratio[FilterTables::kCurveSize];
    fillCurve(ratio, size, share, count);
    const int flat = static_cast<int>(a[count - 1].x);
    for (int i = 0; i < size; ++i) {
        out[i] = i >= flat ? static_cast<float>(a[count - 1].y)
                           : static_cast<float>(ratio[i] * criticalGain(rateAt(i)) / kDefaultFeedbackScale);
    }
    // Just past the stated peak the critical gain still climbs (until its Nyquist limit
    // takes over); hold the peak value there so the peak stays put and the curve only
    // falls after it. This leaves a corner at each end of that short plateau.
    int peak = 0;
    for (int k = 1; k < count; ++k)
        if (a[k].y > a[peak].y) peak = k;
    for (int i = static_cast<int>(a[peak].x) + 1; i < flat; ++i) out[i] = std::min(out[i], out[i - 1]);
}

constexpr Anchor kFeedback[] = {{0, 0.51864},   {1, 0.52803},   {2, 0.53741},
                                {3, 0.54679},   {128, 1.68831}, {284, 3.71552},
                                {358, 2.55135}, {402, 2.28295}};
constexpr Anchor kLevel[] = {{0, 0.10859},   {1, 0.14524},   {2, 0.18189},
                             {3, 0.21855},   {128, 1.55105}, {284, 3.51216},
                             {358, 2.73429}, {402, 2.83073}};

} // namespace

void FilterTables::build() {
    for (int i = 0; i < kExpSize; ++i) {
        double v = std::exp(5.0 * i / 1024.0 + 5.0) / 22050.0 - 0.0015;
        if (v < 0.0) v = 0.0;
        if (v > 1.0) v = 1.0;
        exponential[i] = static_cast<float>(v);
    }
    fillFeedback(feedback, kCurveSize, kFeedback, 8);
    fillCurve(level, kCurveSize, kLevel, 8);
    std::copy(exponential, exponential + kExpSize, exponentialWide);
    std::copy(feedback, feedback + kCurveSize, feedbackWide);
    std::copy(level, level + kCurveSize, levelWide);
}

const FilterTables& FilterTables::get() {
    static const FilterTables t = [] {
        FilterTables f;
        f.build();
        return f;
    }();
    return t;
}

} // namespace kelo
