#pragma once
// Resonant low-pass of the voice: an exponential control value drives one of three
// ladder structures with resonance feedback and resonance-dependent level compensation.
#include <limits>

#include "engine/Dsp.h"
#include "engine/VoiceSettings.h"

namespace kelo {

struct FilterInput {
    double osc;          // oscillator output o
    double cutoffSq;     // smoothed cutoff squared
    double resonance;    // smoothed resonance r
    double envmod;       // smoothed envelope modulation m
    double rawResonance; // snapshot R
    double rawAccent;    // snapshot K
    double env;          // filter envelope E
    double gateFollower; // G
    int accent;          // accent flag of the sounding note
    double accentDrive;  // a
    double accentCap;    // smoothed accent capacitor U~
};

// Sample-rate dependent choices shared by the voice and the filter.
struct RateClass {
    int index = 0;          // 0 below 47999 Hz, 1 from 47999, 2 from 95999
    double periodScale = 1.0884354;
    static RateClass of(double fs);
};

struct FilterTables;

class Filter {
public:
    Filter();
    // Envelope term e of the control value, for the scope.
    double envTerm(const FilterInput& in) const {
        const double k = in.rawAccent;
        return in.env - 0.45 / ((0.1 * in.gateFollower + 0.9) * (1.0 - k) + k) - 0.05;
    }
    // One sample; returns the levelled filter output.
    double process(const FilterInput& in, const VoiceSettings& s, const RateClass& rc) {
        prepare(s, rc);
        return step(in);
    }
    // The voice's fast path: the settings are fixed for a sub-block, so their derived
    // constants are set once by prepare() and step() runs per sample.
    void prepare(const VoiceSettings& s, const RateClass& rc);
    inline double step(const FilterInput& in);

    // Control value after the 1.4 clamp (and the optional lags) of the last sample, and
    // the resulting stage rate; for tests and the scope.
    double lastControl() const { return lastControl_; }
    double lastRate() const { return lastRate_; }
    double outputLevel() const { return level_; }
    double lastEnvTerm() const { return lastEnvTerm_; }

    // How often a runaway linear chain had to be restarted.
    long runaways() const { return runaways_; }
    static constexpr double kRunaway = 1.0e6;

    // Stage states, exposed for the numerical-hygiene tests.
    const double* chain1() const { return s_; }
    const double* chain2() const { return t_; }

private:
    // Constants of the current settings and rate class.
    struct Setup {
        int mode = 1;
        bool controlLags = false;
        bool envmodCurve = true;
        bool rate96 = false;
        double tm3Scale = 1.0, feedbackScale = 3.985, extraFeedback = 1.0125, levelScale = 0.8, mu = 1.0;
    } k_;
    // The parts of the control value that depend only on the smoothed resonance, cutoff
    // and envelope modulation. Those settle into alternating between two values each, so
    // the parts are remembered for the last two inputs and a repeat skips them (and the
    // curved modulation's quotient).
    struct ControlParts {
        // Inputs; NaN matches nothing, so an empty entry is never used.
        double r = std::numeric_limits<double>::quiet_NaN(), c2 = r, m = r;
        double r2 = 0, ka = 0, base = 0, depth = 0, tail = 0, levelRest = 0;
    };
    ControlParts parts_[2];
    int partsNext_ = 0;
    const ControlParts& controlParts(double r, double c2, double m);
    double s_[4] = {};
    double t_[4] = {};
    float yLast_ = 0.0f;
    float zLast_ = 0.0f;
    double ctl1_ = 0, ctl2_ = 0, level_ = 0;
    double lastControl_ = 0, lastRate_ = 0, lastEnvTerm_ = 0;
    const FilterTables* tables_;
    long runaways_ = 0;
    // Lags that always step together share one guard word: they alternate in step anyway.
    dsp::Guard gs_, gt_, gCtl_, gLevel_;

    double restartRunaway(double out);
};

} // namespace kelo

#include "engine/FilterStep.h"

