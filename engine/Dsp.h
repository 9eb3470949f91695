#pragma once
// Integration primitives and the soft clipper shared by the voice, the filter and the
// output stage. Every lag in the engine is built from these.
#include <cmath>

namespace kelo::dsp {

// A lag's alternating offset: added to the target, then negated, so the lag never
// settles into denormal range however long it rests.
struct Guard {
    double g = 0.00001;
    double next() {
        const double v = g;
        g = -g;
        return v;
    }
};

inline double onePole(double y, double x, double k) { return y + (x - y) * k; }

// Classical RK4 step of dy/dt = (x - y)k over one sample collapses, for a constant target,
// to a one-pole step with this coefficient. Compute it once when k is shared.
inline double rk4Coeff(double k) {
    // k - k^2/2 + k^3/6 - k^4/24 as k (1 - k/2) + k^3 (1/6 - k/24): the two halves are
    // computed side by side, so the coefficient is ready about twice as soon as in Horner
    // form (it heads the filter's per-sample chain).
    const double k2 = k * k;
    return k * (1.0 - 0.5 * k) + (k2 * k) * (1.0 / 6.0 - k * (1.0 / 24.0));
}

inline double smoothStep(double y, double x, double k) { return y + (x - y) * rk4Coeff(k); }

// The literal four-stage form; kept as the reference the collapsed form is tested against.
inline double smoothStepRk4(double y, double x, double k) {
    const double d1 = (x - y) * k;
    const double d2 = (x - (y + d1 / 2)) * k;
    const double d3 = (x - (y + d2 / 2)) * k;
    const double d4 = (x - (y + d3)) * k;
    return y + (d1 + 2 * d2 + 2 * d3 + d4) / 6;
}

// Rational soft clipper: odd, slope 1 at 0, reaches exactly +-1 with zero slope at +-3.
inline double softClip(double x) {
    if (x < -3.0) return -1.0;
    if (x > 3.0) return 1.0;
    const double x2 = x * x;
    return x * (x2 + 27.0) / (9.0 * x2 + 27.0);
}

// Time constant T seconds -> per-sample coefficient (falls to a tenth in about T).
inline double decayCoeff(double fs, double seconds) { return 2.30258509299405 / (fs * seconds); }

// The sound is defined at 44.1 kHz: a lag whose one-pole coefficient there is c falls by
// (1 - c) per 44.1 kHz sample. At another rate the same fall per unit of time takes the
// pole to the power ratio = 44100 / fs. Exactly c itself at 44.1 kHz; any stable c stays
// stable at every rate.
inline double atRate(double c, double ratio) {
    if (ratio == 1.0 || !(c < 1.0)) return c;
    return 1.0 - std::pow(1.0 - c, ratio);
}

// atRate remembered for its last input: coefficients are set up every block, but their
// inputs and the rate rarely change, and the power function is dear.
struct AtRateMemo {
    double in = -1.0, ratio = 0.0, out = 0.0;
    double operator()(double c, double r) {
        if (c != in || r != ratio) {
            in = c;
            ratio = r;
            out = atRate(c, r);
        }
        return out;
    }
};

} // namespace kelo::dsp
