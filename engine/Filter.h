#pragma once
// Resonant low-pass of the voice: an exponential control value drives one of three
// ladder structures with resonance feedback and resonance-dependent level compensation.
#include <limits>

#include "engine/Dsp.h"
#include "engine/FilterTables.h"
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

// What the sample rate changes. The sound is defined at 44.1 kHz; at any other rate every
// per-sample coefficient is carried over by dsp::atRate, so it sounds the same.
struct RateClass {
    double fs = 44100.0;
    double ratio = 1.0; // 44100 / fs
    // Oscillator level-map scale: the period in samples at 44.1 kHz times 1.0884354, whose
    // levels keep every partial below 22.05 kHz; below 44.1 kHz the period itself, so they
    // stay below the lower Nyquist frequency.
    double periodScale = 1.0884354;
    static RateClass of(double fs);
};


// This sample's guard offsets of the filter's lags (each alternates sign every sample).
struct FilterGuards {
    double s, t, ctl, level;
};

class Filter {
public:
    Filter();
    // Envelope term e of the control value, for the scope.
    double envTerm(const FilterInput& in) const { return in.env - envQuotient(in.gateFollower, in.rawAccent) - 0.05; }
    // The envelope term's quotient for follower G and accent K (fixed while G is held at 0).
    static double envQuotient(double G, double K) { return 0.45 / ((0.1 * G + 0.9) * (1.0 - K) + K); }
    // One sample; returns the levelled filter output.
    double process(const FilterInput& in, const VoiceSettings& s, const RateClass& rc) {
        prepare(s, rc);
        return step(in);
    }
    // The voice's fast path: the settings are fixed for a sub-block, so their derived
    // constants are set once by prepare() and step() runs per sample.
    void prepare(const VoiceSettings& s, const RateClass& rc);
    inline double step(const FilterInput& in);

    // The state a sample changes. The voice holds a copy across a run of samples (so it can
    // live in registers) and steps it with stepHot, then stores it back.
    struct Hot {
        double s[4] = {};
        double t[4] = {};
        // The fed-back outputs: float values, held widened so no use converts them again.
        double yLast = 0.0, zLast = 0.0;
        // The ones before, for the feedback's delay away from 44.1 kHz.
        double yPrev = 0.0, zPrev = 0.0;
        double ctl1 = 0, ctl2 = 0, level = 0;
        double lastControl = 0, lastRate = 0, lastEnvTerm = 0;
    };
    // The parts of the control value that depend only on the smoothed resonance, cutoff
    // and envelope modulation. Those settle into alternating between two values each, so
    // the parts are remembered for the last two inputs and a repeat skips them (and the
    // curved modulation's quotient).
    struct ControlParts {
        // Inputs; NaN matches nothing, so an empty entry is never used.
        double r = std::numeric_limits<double>::quiet_NaN(), c2 = r, m = r;
        double r2 = 0, ka = 0, base = 0, depth = 0, tail = 0, levelRest = 0;
    };
    const ControlParts& controlParts(double r, double c2, double m);
    // What the ladder chains of one sample need, worked out from the control path alone:
    // the voice computes it a sample ahead, so the chains (the loop-carried part) never wait.
    struct Drive {
        double o, c, sigma, invSigma, r, r2, g, fb, level, gs, gt, lead;
    };
    // Whether the step is taken at 44.1 kHz, where the stage coefficient is computed from
    // the rate and the fed-back values are used as they are: known to the caller (At44,
    // Away) or tested at every sample (Any).
    enum class Rate { Any, At44, Away };
    // Plain: the caller knows the structure is the default one (mode 1) without control
    // lags, so the step carries no test of either.
    template <bool Plain = false, Rate R = Rate::Any>
    // quotient: envQuotient of the input's follower and accent.
    inline Drive drive(Hot& h, const ControlParts& cp, const FilterInput& in, const FilterGuards& g, double quotient);
    template <bool Plain = false, Rate R = Rate::Any>
    inline double chain(Hot& h, const Drive& d);
    // drive in two parts: the control value from the envelope term e (before the optional
    // lags), and the rest from it, the oscillator o and the smoothed resonance r.
    inline double controlValue(const ControlParts& cp, const FilterInput& in, double e) const;
    template <bool Plain = false, Rate R = Rate::Any>
    inline Drive driveFrom(Hot& h, const ControlParts& cp, double x, double o, double r, const FilterGuards& g);
    bool plain() const { return k_.mode == 1 && !k_.controlLags; }
    bool at44() const { return k_.at44; }
    // One sample on a held state with this sample's control parts and guards. Which guards
    // a sample uses (and so steps) is told by stepsChain2() and stepsControlLags().
    inline double stepHot(Hot& h, const ControlParts& cp, const FilterInput& in, const FilterGuards& g);
    bool stepsChain1() const { return k_.mode >= 0 && k_.mode <= 2; }
    bool stepsChain2() const { return k_.mode == 1; }
    bool stepsControlLags() const { return k_.controlLags; }
    Hot& hot() { return hot_; }
    // Guard values the next sample uses; setGuards after a run of held samples.
    FilterGuards guards() const { return {gs_.g, gt_.g, gCtl_.g, gLevel_.g}; }
    void setGuards(const FilterGuards& g) {
        gs_.g = g.s;
        gt_.g = g.t;
        gCtl_.g = g.ctl;
        gLevel_.g = g.level;
    }

    // Control value after the 1.4 clamp (and the optional lags) of the last sample, and
    // the resulting stage rate; for tests and the scope.
    double lastControl() const { return hot_.lastControl; }
    double lastRate() const { return hot_.lastRate; }
    double outputLevel() const { return hot_.level; }
    double lastEnvTerm() const { return hot_.lastEnvTerm; }

    // How often a runaway linear chain had to be restarted.
    long runaways() const { return runaways_; }
    static constexpr double kRunaway = 1.0e6;

    // The tables of the rate last prepared away from 44.1 kHz (see stageLead_, keep_):
    // the stage coefficient and the lead as pairs, and the feedback curve.
    const double* stageLeadTable() const { return stageLead_; }
    const double* feedbackTable() const { return feedbackAtRate_; }
    static constexpr int kKeepStep = 8, kKeepSize = FilterTables::kCurveSize / kKeepStep + 1;

    // Stage states, exposed for the numerical-hygiene tests.
    const double* chain1() const { return hot_.s; }
    const double* chain2() const { return hot_.t; }

private:
    // Constants of the current settings and rate class.
    struct Setup {
        int mode = 1;
        bool controlLags = false;
        bool envmodCurve = true;
        bool at44 = true; // 44.1 kHz: the stage coefficient straight from the rate
        double tm3Scale = 1.0, feedbackScale = 3.985, extraFeedback = 1.0125, levelScale = 0.8, mu = 1.0;
        double levelK = 0.1, controlK = 0.1; // the output level and control lags
    } k_;
    // Away from 44.1 kHz, over the exponential table's index: the stage coefficient at the
    // rate in use (no power function per sample), and the feedback's lead, side by side:
    // they are read at the exponential table's index, and one read takes both. The loop's
    // one-sample delay is part of the sound at 44.1 kHz: each stage responds a little ahead
    // of its analogue counterpart (by 1/-ln(a) - a/c samples for pole a = 1 - c: half a
    // sample for slow stages), and with the delay the loop's timing is that of its four
    // stages' lead less one 44.1 kHz sample. At another rate the stages lead by other
    // amounts; the fed-back value is extrapolated `lead` samples so the loop keeps the same
    // timing in seconds.
    double stageRatio_ = 1.0;
    double stageLead_[2 * FilterTables::kExpSize] = {};
    // Over 256 g (every 8th entry of the feedback curve): the share of the feedback kept
    // at this rate, so the linear loops stay as far from self-oscillation as at 44.1 kHz.
    double keep_[kKeepSize] = {};
    // The feedback curve with that share folded in (the 44.1 kHz curve itself there).
    double feedbackRatio_ = 0.0;
    double feedbackAtRate_[FilterTables::kCurveSize] = {};
    void buildStageTable(double ratio);
    ControlParts parts_[2];
    int partsNext_ = 0;
    Hot hot_;
    const FilterTables* tables_;
    long runaways_ = 0;
    // Lags that always step together share one guard word: they alternate in step anyway.
    dsp::Guard gs_, gt_, gCtl_, gLevel_;

};

} // namespace kelo

#include "engine/FilterStep.h"

