#include "engine/OutputStage.h"

#include <cmath>

#include "engine/Dsp.h"

namespace kelo {
namespace {

// Non-zero taps of the half-band kernel at offsets 1, 3, ..., 15 either side of the
// centre (the kernel is symmetric; all other even-offset taps are zero).
constexpr double kCentre = 0.500705786852609;
constexpr double kOdd[8] = {0.315941764436,    -0.0980159074729, 0.0507185615622,
                            -0.028676559234,   0.0159471139706,  -0.00824246659655,
                            0.0038624783042,   -0.00188787839582};

// The kernel over a line whose newest sample is l[0].
inline double kernelSum(const double* l) {
    double acc = kCentre * l[16];
    for (int k = 0; k < 8; ++k) {
        const int o = 2 * k + 1;
        acc += kOdd[k] * (l[16 - o] + l[16 + o]);
    }
    return acc;
}

// The ring steps backwards; the length is a power of two, so the wrap is a mask.
static_assert((HalfbandDecimator::kLength & (HalfbandDecimator::kLength - 1)) == 0);
constexpr int older(int head) { return (head + HalfbandDecimator::kLength - 1) & (HalfbandDecimator::kLength - 1); }

} // namespace

#if defined(__GNUC__)
[[gnu::always_inline]] // the output stage's sample loop calls it once per sample
#endif
inline double HalfbandDecimator::pairStep(double discarded, double x) {
    const int h = older(head_);
    line_[h] = discarded;
    line_[h + kLength] = discarded;
    const double acc = kernelSum(line_ + h);
    head_ = older(h);
    line_[head_] = x;
    line_[head_ + kLength] = x;
    return acc;
}

double HalfbandDecimator::pushPair(double discarded, double x) { return pairStep(discarded, x); }

double HalfbandDecimator::push(double x) {
    const double acc = kernelSum(line_ + head_); // contiguous thanks to the mirror
    insert(x);
    return acc;
}

void HalfbandDecimator::insert(double x) {
    head_ = older(head_);
    line_[head_] = x;
    line_[head_ + kLength] = x;
}

void HalfbandDecimator::clear() {
    for (double& v : line_) v = 0.0;
    head_ = 0;
}

double HalfbandDecimator::at(int j) const { return line_[head_ + j]; }

void OutputStage::configure(double drive, double distortion, double highpassCoeff, int type, bool highpass) {
    auto unit = [](double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; };
    driveTarget_ = unit(drive);
    distortionTarget_ = unit(distortion);
    hpCoeffTarget_ = unit(highpassCoeff);
    type_ = type;
    highpassOn_ = highpass;
}

bool OutputStage::settled() const {
    // Silence leaves only the guards' residue: about 1e-8 in the high-pass and 1e-6 in
    // the upsampler, which the distortion gain lifts to about 1e-5 at the output.
    if (!(std::fabs(hp1_) < 1e-6 && std::fabs(hp2_) < 1e-6)) return false;
    if (!(std::fabs(up_) < 1e-4 && std::fabs(s0_) < 1e-4 && std::fabs(s1_) < 1e-4)) return false;
    for (int j = 0; j < HalfbandDecimator::kLength; ++j)
        if (!(std::fabs(decimator_.at(j)) < 1e-4)) return false;
    return true;
}

template <bool Ramping>
void OutputStage::run(float* buf, int n, double d0, double m0, double c0, double dStep, double mStep, double cStep) {
    const bool distort = distortionTarget_ > 0.0;
    const double ug = upGuard_; // the upsampler guard's sign is the same at every sample
    // Drive usually holds still across a sub-block: then the saturator's gain is one value.
    const double steadyGain = (8.0 * d0 + 1.0) * 2.0 / ((1.0 - d0) * 0.05 + d0 * 100.0);

    for (int i = 0; i < n; ++i) {
        // Each ramp value is computed from its start, so rounding cannot accumulate.
        const double d = Ramping ? d0 + dStep * i : d0;
        const double m = Ramping ? m0 + mStep * i : m0;
        const double c = Ramping ? c0 + cStep * i : c0;
        double x = buf[i];
        if (highpassOn_) {
            const double g = hpGuard_;
            hp1_ += (g + x - hp1_) * c;
            const double h = x - hp1_;
            hp2_ += (g + h - hp2_) * c;
            x = (1.0 - c + 10.0 * c) * (h - hp2_);
        }
        if (distort) {
            if (type_ == Saturate) {
                const double k = (1.0 - d) * 0.05 + d * 100.0;
                const double gain = dStep == 0.0 ? steadyGain : (8.0 * d + 1.0) * 2.0 / k;
                up_ += (ug + x - up_) * 0.25;
                const double w0 = gain * dsp::softClip(k * up_);
                up_ += (-ug + x - up_) * 0.25;
                const double w1 = gain * dsp::softClip(k * up_);
                s0_ = w0 * m + (1.0 - m) * x;
                s1_ = w1 * m + (1.0 - m) * s0_;
            } else if (type_ == Foldback) {
                const double f = ((1.0 - d) * 0.1 + d) * 10.0;
                const double b = (1.0 - d / 2) * 0.5;
                up_ += b * (ug + x - up_);
                s0_ = std::sin(f * up_) * 0.7 * m + (1.0 - m) * x;
                up_ += b * (-ug);
                s1_ = std::sin(f * up_) * 0.7 * m + (1.0 - m) * s0_;
            }
            const double r = decimator_.pairStep(s0_, s1_); // the even-phase output is never used
            const double vmix = m * 10.0 < 1.0 ? m * 10.0 : 1.0;
            x = r * vmix + (1.0 - vmix) * s1_;
        }
        buf[i] = static_cast<float>(x);
        hpGuard_ = -hpGuard_;
    }
}

void OutputStage::process(float* buf, int n, double /*fs*/) {
    if (n <= 0) return;
    if (quiet_) {
        // Once the tails have died away, a silent block stays exactly silent at no cost.
        // Counted without an early exit or a bool chain, so the check vectorises; a NaN
        // counts as sound.
        int sounding = 0;
        for (int i = 0; i < n; ++i) sounding |= !(buf[i] == 0.0f);
        if (!sounding) {
            drive_ = driveTarget_;
            mix_ = distortionTarget_;
            hpCoeff_ = hpCoeffTarget_;
            if (n & 1) hpGuard_ = -hpGuard_;
            return;
        }
        quiet_ = false;
    }
    const double d0 = drive_, m0 = mix_, c0 = hpCoeff_;
    const double dStep = (driveTarget_ - d0) / n;
    const double mStep = (distortionTarget_ - m0) / n;
    const double cStep = (hpCoeffTarget_ - c0) / n;
    // Knobs usually hold still across a sub-block: then every ramp value is its start
    // value, and the loop without ramps computes the same samples with fewer operations.
    if (dStep == 0.0 && mStep == 0.0 && cStep == 0.0) run<false>(buf, n, d0, m0, c0, 0.0, 0.0, 0.0);
    else run<true>(buf, n, d0, m0, c0, dStep, mStep, cStep);
    drive_ = driveTarget_;
    mix_ = distortionTarget_;
    hpCoeff_ = hpCoeffTarget_;
    if (buf[n - 1] == 0.0f || std::fabs(buf[n - 1]) < 1e-4) {
        if (settled()) {
            // Drop the residue so the silent stretch that follows is exactly zero.
            hp1_ = hp2_ = up_ = s0_ = s1_ = 0.0;
            decimator_.clear();
            quiet_ = true;
        }
    }
}

} // namespace kelo
