#pragma once
// The single monophonic voice: parameter smoothing, gate and envelopes, accent, glide,
// band-limited oscillator, filter, amplifier and optional output clipping, one sample at a
// time in double precision.
#include <atomic>
#include <cstdint>
#include <limits>

#include "engine/Filter.h"
#include "engine/ParamSnapshot.h"
#include "engine/VoiceControl.h"
#include "engine/VoiceSettings.h"
#include "engine/Wavetables.h"

namespace kelo {

// Ring of filter-envelope samples (one per 100 computed samples) that the editor draws.
// Written by the audio thread, read by the editor's thread: every field is a relaxed
// atomic word, so a reader sees whole values without a lock (and without a data race).
struct EnvelopeScope {
    static constexpr int kSize = 1024;
    std::atomic<float> ring[kSize] = {};
    std::atomic<int> writeIndex{0};
    std::atomic<int> crossings{0};
    float last = 0.0f; // audio thread only

    void push(float v);
    void clear();
    float at(int i) const { return ring[i & (kSize - 1)].load(std::memory_order_relaxed); }
};

// The voice state, exposed read-only for the editor and for tests.
struct VoiceState {
    double tune = 0, cutoff = 0, resonance = 0, envmod = 0; // smoothed parameters
    int64_t sinceGateOff = 0;
    double gateFollower = 0;     // G
    double filterEnv = 0;        // E
    double ampEnv = 0;           // A
    int64_t sinceTrigger = 0;
    float accentCarry = 0;
    double accentCap = 0;        // U
    double accentCapSmooth = 0;  // U~
    double accentBoost = 0;      // V
    double accentBoostSmooth = 0;// V~
    double gateLag = 0;          // L1
    double clickLag = 0;         // L2
    double ampLag = 0;           // amplifier lag (click noise off)
    double glide = 0;            // P, Hz
    double phase = 0;            // 0..1
    double r1 = 1.0015, r2 = 1.0;
    double clipDc = 0;
    uint64_t sampleCounter = 0;
    double lastFrequency = 0;    // oscillator frequency of the last computed sample, Hz
};

// The per-sample hook of whatever plays the voice (the sequencer). It runs the tick of the
// sample about to be computed and returns how many of the samples after it (at most limit)
// need no call of their own: their ticks cannot change the control record, and the callee
// has already counted them. 0 is always a correct answer.
using VoiceTick = int (*)(void* ctx, int limit);

class Voice {
public:
    Voice();

    // Start-up constants and tables. Safe to call again (a sample-rate change).
    void init(double sampleRate);

    // Overwrites out[0..n). tick runs before a sample is computed (see VoiceTick) and may
    // change the note state; a null tick is note mode (no sequencer).
    void render(float* out, int n, double fs, const ParamSnapshot& p, VoiceControl& vc,
                const VoiceSettings& s, VoiceTick tick, void* tickCtx);

    // Host resume: both envelopes to 0 (the caller clears gate and slideFrom), and the
    // smoothed parameters start at their values again, as in a new instance.
    void resume();

    const EnvelopeScope& scope() const { return scope_; }
    EnvelopeScope& scope() { return scope_; }
    const VoiceState& state() const { return st_; }
    const Filter& filter() const { return filter_; }

    static constexpr double kDecayMin = 0.19;
    static constexpr double kDecayMax = 2.6;
    static constexpr double kDecayAccent = 0.2;
    static constexpr double kSlideTime = 0.0653;
    static constexpr double kAccentCarryFactor = 0.42;
    // The lowest sample rate at which every lag is stable: the fastest lag given in time,
    // the accent charge of 0.52 ms, stays within the smoothed step's limit of 2.785 per
    // sample. Below it the voice renders silence.
    static constexpr double kMinRate = 2.30258509299405 / (0.00052 * 2.785);

private:
    VoiceState st_;
    Filter filter_;
    EnvelopeScope scope_;
    double tuneFactor(double tune);
    double tuneExpansion(double tune);
    void flushSmoothing(const double* target, double k);
    void flushFollower();
    // Everything a computed sample needs that is fixed for the whole render call.
    struct CallSetup {
        double target[4];
        double smooth;
        RateClass rc;
        double R, K, W;
        double alpha, capDecayMix, boostSmooth, oscGain, maxPitch, invFs;
        double cAttack, cRelease, cDecayPlain, cDecayAccent, cAmp, cCapDecay, cCapCharge, cCapSmooth;
        double cBoostCharge, cBoostDecay, cSlide, cJump;
        double cFollowOn, cFollowOff, cClick, cCarry, cAmpLag, cClip;
        int scopeEvery; // samples between two envelope scope values (100 at 44.1 kHz)
        const Wavetable* table;
        bool vcaNoise, clipping, square;
    };
    // What the call's constants (and the filter's) are worked out from; no padding, so it
    // compares as bytes.
    struct CallKey {
        double fs, smoothSpeed, vcaDecay, vcoGain, tm3, tm4, tm6;
        float tune, cutoff, resonance, envmod, decay, accent, waveform;
        int32_t vcaNoise, outputClipping, envmodKnob, filterMode, vcaLeveling;
    };
    static_assert(sizeof(CallKey) == 7 * sizeof(double) + 7 * sizeof(float) + 5 * sizeof(int32_t));
    CallSetup call_{};
    CallKey callKey_{};
    bool callKnown_ = false;
    void prepareCall(double fs, const ParamSnapshot& p, const VoiceSettings& s);
    struct RunInput;
    CallSetup setup(double fs, const ParamSnapshot& p, const VoiceSettings& s) const;
    template <bool Settled, bool Steady, bool Plain, bool Accent, Filter::Rate Rate>
    void computeRun(float* out, int count, const CallSetup& cs, const RunInput& in);
    bool smoothingSettled(const CallSetup& cs) const;
    bool glideSteady(const CallSetup& cs, const RunInput& in) const;
    void dispatchRun(float* out, int count, const CallSetup& cs, const RunInput& in);
    void skipSamples(float* out, int count, bool gate);
    void restoreHighs(float* out, int n);
    void firOverZeros(float* out, int count);
    Wavetable::Level oscillatorLevel(double f, double delta, const RateClass& rc);

    // The next render call starts the smoothed parameters at their targets instead of
    // gliding there from wherever they were (a note at the first sample of an instance
    // would otherwise start an octave low and dark).
    bool startSmoothing_ = true;
    mutable dsp::AtRateMemo rSmooth_, rAttack_, rRelease_, rClick_, rCarry_, rAmpLag_, rClip_,
        rCapDecay_, rCapSmooth_, rBoostDecay_, rBoostSmooth_;
    // What the host's rate fixes, with the settings that go with it away from 44.1 kHz; set
    // again when one changes.
    struct RateSetup {
        double fs = 0.0; // none yet
        int32_t activeClocks = 0, filterMode = 0;
        double ratio = 1.0; // 44100 / fs
        bool at44 = true;
        double followOn = 0.0005, followOff = 0.00012; // the gate follower's coefficients
        int64_t active = 0;  // the active samples after the gate closed, at this rate
        // Away from 44.1 kHz the filter's stages roll off faster than at 44.1 kHz towards
        // 10 kHz; a three-tap filter on the voice's output gives back the difference.
        double firBeta = 0.0;
    } rate_;
    void setRate(double fs, const VoiceSettings& s);
    double firIn_[2] = {0.0, 0.0}; // the last two samples the three-tap filter took in
    // Samples skipped while silent whose smoothing / follower steps are still owed.
    int64_t pendingSmooth_ = 0;
    int64_t pendingFollow_ = 0;
    bool pendingFollowGate_ = false;
    // (1 - k)^n for the closed-form steps; blocks of one size repeat the same n.
    struct PowCache {
        double lastBase = -1.0, value = 1.0;
        int64_t lastN = -1;
        double get(double base, int64_t n);
    };
    PowCache smoothPow_, followPow_;
    // The inputs of the last smoothing flush, and whether it left every lag as it was
    // (anything else that steps the lags clears that).
    struct SmoothFlush {
        double target[4], k;
        int64_t n;
    };
    SmoothFlush resting_{};
    bool restingKnown_ = false;
    // The smoothed tune and the glided pitch settle into alternating between two values
    // each, so the tune factor and the oscillator's table level are remembered for the
    // last two inputs; a repeat skips the expansion, the period's quotient and the lookups.
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN(); // matches nothing
    double tuneIn_[2] = {kNone, kNone}, tuneOut_[2] = {1.0, 1.0};
    int tuneNext_ = 0;
    struct OscillatorCache {
        double f[2] = {kNone, kNone};
        Wavetable::Level level[2];
        int next = 0;
        const Wavetable* table = nullptr;
        double invFs = 0.0, scale = 0.0;
    } osc_;
    double appliedRelativeTuning_ = 1.0015;
    bool tuneCacheValid_ = false;
    double tuneAt_ = 0.0, tuneExact_ = 0.5;
    const Wavetable* saw_ = nullptr;
    const Wavetable* square_ = nullptr;
    // Guards of lags that always step together are one word: they alternate in step anyway.
    // Smoothed parameters; gate follower; gate, click, accent and glide lags; envelopes.
    dsp::Guard gSmooth_, gFollow_, gCore_, gEnvs_, gAmp_, gClip_;
};

} // namespace kelo
