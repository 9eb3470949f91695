#pragma once
#include "engine/Dsp.h"

// High-pass, drive and distortion after the voice, with the distortion run at twice the
// sample rate and brought back down by a half-band filter. Switching the high-pass, the
// distortion or its type cross-fades from the old to the new structure.

namespace kelo {

// 33-tap half-band low-pass over a line of 32 samples. Only the centre and the odd-offset
// taps are non-zero, so the line is kept as two phases: the centre multiplies one sample of
// the phase that holds line[0], and the sixteen non-zero taps all fall on the other phase.
// Each phase is stored oldest first, so a block of outputs is a run of contiguous dot
// products that the compiler vectorises across outputs (each output's sum keeps its order,
// so results do not depend on whether or how it vectorises).
class HalfbandDecimator {
public:
    static constexpr int kLength = 32;
    static constexpr int kHistory = kLength / 2; // samples of each phase in the line
    static constexpr int kChunk = 128;           // pairs staged at once by the output stage

    void clear();
    double at(int j) const; // line[j], 0 = newest

private:
    friend class OutputPath;
    // Pair i of a block goes to even_[kHistory + i] (the discarded sample) and
    // odd_[kHistory + i]; the kHistory entries before it hold the previous pairs.
    // filtered(i) is the output for staged pair i (the filter sum over the line before its
    // odd sample); keep(n) makes the last kHistory of n staged pairs the history.
    double filtered(int i) const;
    void keep(int n);
    double even_[kHistory + kChunk] = {};
    double odd_[kHistory + kChunk] = {};
};

// One structure of the stage (high-pass on or off, distortion on or off and its type) with
// its state. A sub-block is run whole by process(), or by begin(), run() over its pieces in
// order, and end(): both give the same samples.
class OutputPath {
public:
    enum Type { Saturate = 0, Foldback = 1 };

    // Targets for the next run; the current values ramp to them across that run.
    void configure(double drive, double distortion, double highpassCoeff, int type, bool highpass) {
        driveTarget_ = unit(drive);
        distortionTarget_ = unit(distortion);
        hpCoeffTarget_ = unit(highpassCoeff);
        type_ = type;
        highpassOn_ = highpass;
    }
    // In place over n samples at rate fs. Defined at 44.1 kHz: at other rates the
    // high-pass and the lags are carried over so they act in the same time.
    void process(float* buf, int n, double fs);

    double drive() const { return drive_; }
    double mix() const { return mix_; }
    double highpassCoeff() const { return hpCoeff_; }
    bool resting() const { return quiet_; }

    void begin(int n, double fs);
    void run(float* buf, int from, int len);
    void end(const float* buf, int n);
    // A structure switched on starts from rest rather than from what it held when it was
    // last on, which may be long ago.
    void restartHighpass() { hp1_ = hp2_ = 0.0; }
    void restartDistortion();
    void wake() { quiet_ = false; }

private:
    static double unit(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }
    double driveTarget_ = 0.0;
    double distortionTarget_ = 0.0;
    double hpCoeffTarget_ = 0.064;
    double drive_ = 0.0;
    double mix_ = 0.0;
    double hpCoeff_ = 0.0;
    int type_ = Saturate;
    bool highpassOn_ = true;
    double hp1_ = 0.0;
    double hp2_ = 0.0;
    HalfbandDecimator decimator_;
    double up_ = 0.0;
    double upGuard_ = 0.00001;
    double hpGuard_ = 0.00000001;
    double s0_ = 0.0; // intermediate samples, kept for an unknown type
    double s1_ = 0.0;
    bool quiet_ = false; // state at rest: silent input gives silent output, skipped

    struct Ramps {
        double d0, m0, c0, dStep, mStep, cStep;
        int base;     // index in the sub-block of the run's first sample
        double ratio; // 44100 / fs: the high-pass and the lags are defined at 44.1 kHz
        double c0r;   // the high-pass lags' coefficient at this rate, for c0
        double fix0;  // the high-pass gain that keeps its 44.1 kHz level, for c0
    };
    Ramps ramps_{};
    bool ramping_ = false;
    // The coefficients carried to the rate, for the values they last had.
    dsp::AtRateMemo hpAtRate_, upAtRate_, foldAtRate_;
    void setRamps(Ramps& r, int n, double fs);
    enum Shape { Hold = -1 }; // any other type: the intermediate samples hold

    bool settled() const;
    template <bool Ramping>
    void highpassOnly(float* buf, int n, const Ramps& r);
    template <bool Ramping, bool Highpass, int Kind>
    void distort(float* buf, int n, const Ramps& r);
    template <bool Ramping, bool Highpass>
    void distortAny(float* buf, int n, const Ramps& r);
    template <bool Ramping>
    void saturate(int start, int len, const Ramps& r);
    alignas(16) double dry_[HalfbandDecimator::kChunk] = {}; // high-passed input, staged for the shaper
};

class OutputStage {
public:
    enum Type { Saturate = OutputPath::Saturate, Foldback = OutputPath::Foldback };
    // How long a switch of the structure cross-fades: short enough to feel immediate, long
    // enough that the change is no step.
    static constexpr double kFadeSeconds = 0.005;

    // Targets for the next run; the current values ramp to them across that run. A new
    // structure takes over by a cross-fade, from the start of the next run (or, when a
    // cross-fade is still running, from the start of the first run after it).
    void configure(double drive, double distortion, double highpassCoeff, int type, bool highpass) {
        // The usual case, every block: the structure in effect stays and no fade runs, so
        // the path takes the values as they are.
        if (steady_ && Structure{highpass, distortion > 0.0, type} == current_) [[likely]] {
            if (distortion > 0.0) lastDistortion_ = distortion;
            path_.configure(drive, distortion, highpassCoeff, type, highpass);
            return;
        }
        reconfigure(drive, distortion, highpassCoeff, type, highpass);
    }
    // In place over n samples; fs sets the cross-fade's length.
    void process(float* buf, int n, double fs) {
        if (steady_) [[likely]] {
            path_.process(buf, n, fs);
            return;
        }
        processChanging(buf, n, fs);
    }

    double drive() const { return path_.drive(); }
    double mix() const { return path_.mix(); }
    double highpassCoeff() const { return path_.highpassCoeff(); }
    bool resting() const { return path_.resting() && fadeLeft_ == 0; }
    bool fading() const { return fadeLeft_ > 0; }

private:
    struct Structure {
        bool highpass = true, distortion = false;
        int type = Saturate; // matters only with the distortion on
        bool operator==(const Structure& o) const {
            return highpass == o.highpass && distortion == o.distortion && (!distortion || type == o.type);
        }
    };
    void reconfigure(double drive, double distortion, double highpassCoeff, int type, bool highpass);
    void processChanging(float* buf, int n, double fs);
    void configurePath(OutputPath& p, const Structure& st) const;
    void startFade(double fs);

    OutputPath path_;   // the structure in effect
    OutputPath fading_; // the one it replaces, while the cross-fade runs
    Structure wanted_, current_, previous_;
    double drive_ = 0.0, distortion_ = 0.0, hpCoeff_ = 0.064;
    double lastDistortion_ = 0.0; // amount a structure with the distortion on keeps while it fades out
    int fadeLength_ = 0, fadeLeft_ = 0;
    bool started_ = false;
    bool steady_ = false; // configured with the structure in effect and no fade: process() just runs it
};

} // namespace kelo
