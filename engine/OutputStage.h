#pragma once
// High-pass, drive and distortion after the voice, with the distortion run at twice the
// sample rate and brought back down by a half-band filter.

namespace kelo {

// 33-tap half-band low-pass; only the centre and the odd-offset taps are non-zero, so a
// push costs nine multiplies. The line is a ring (no shifting).
class HalfbandDecimator {
public:
    static constexpr int kLength = 32;
    // Returns the filter sum over the current line, then stores x as the newest sample.
    double push(double x);
    // Stores x without computing the sum (for the phase whose output is discarded).
    void insert(double x);
    // insert(discarded) then push(x) in one step: the oversampled pair of one output sample.
    double pushPair(double discarded, double x);
    void clear();
    double at(int j) const; // line[j], 0 = newest

private:
    friend class OutputStage;
    inline double pairStep(double discarded, double x); // pushPair, inlined into the stage's loop
    // Twice the length so every tap reads a contiguous window without wrapping.
    double line_[2 * kLength] = {};
    int head_ = 0; // index of line[0] (the newest sample)
};

class OutputStage {
public:
    enum Type { Saturate = 0, Foldback = 1 };

    // Targets for the next run; the current values ramp to them across that run.
    void configure(double drive, double distortion, double highpassCoeff, int type, bool highpass);
    // In place over n samples. fs is accepted for symmetry with the voice; the stage is
    // defined per sample and does not depend on it.
    void process(float* buf, int n, double fs);

    double drive() const { return drive_; }
    double mix() const { return mix_; }
    double highpassCoeff() const { return hpCoeff_; }
    bool resting() const { return quiet_; }

private:
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

    bool settled() const;
    template <bool Ramping>
    void run(float* buf, int n, double d0, double m0, double c0, double dStep, double mStep, double cStep);
};

} // namespace kelo
