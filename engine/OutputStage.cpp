#include "engine/OutputStage.h"

#include <algorithm>
#include <cmath>

#include <emmintrin.h>

#include "engine/Dsp.h"

// SSE2 is part of baseline x86-64: the two-lane clip needs no fallback, and Linux and
// Windows builds run the same instructions.
#if !defined(__SSE2__)
#error "the output stage needs SSE2"
#endif

namespace kelo {
namespace {

// Non-zero taps of the half-band kernel at offsets 1, 3, ..., 15 either side of the
// centre (the kernel is symmetric; all other even-offset taps are zero).
constexpr double kCentre = 0.500705786852609;
constexpr double kOdd[8] = {0.315941764436,    -0.0980159074729, 0.0507185615622,
                            -0.028676559234,   0.0159471139706,  -0.00824246659655,
                            0.0038624783042,   -0.00188787839582};

// The kernel over one line: `other` holds the 16 samples of the phase without line[0],
// oldest first, and `centre` is line[16]. The symmetric pairs are added before their
// tap multiplies them, newer sample first, and the sum runs from the centre outwards.
inline double kernelSum(const double* other, double centre) {
    double acc = kCentre * centre;
    for (int k = 0; k < 8; ++k) acc += kOdd[k] * (other[8 + k] + other[7 - k]);
    return acc;
}

constexpr int kH = HalfbandDecimator::kHistory;

// The high-pass sections pass high frequencies at (1 - c/2) each, which at 44.1 kHz
// (c = 0.064) is part of the sound; with the lags carried to another rate (cl) the same
// gain is restored in one factor. Exactly 1 at 44.1 kHz.
inline double highpassGainAtRate(double c, double cl) {
    if (c == cl) return 1.0;
    const double q = (1.0 - 0.5 * c) / (1.0 - 0.5 * cl);
    return q * q;
}
// The shaper takes staged samples in pairs: with an even chunk, the spare lane of an odd
// count still lies inside the staging lines.
static_assert(HalfbandDecimator::kChunk % 2 == 0);

} // namespace

// Staged pair i sits at kH + i: its line holds the odd samples at i .. i + 15 and its
// centre is the even sample eight pairs back.
inline double HalfbandDecimator::filtered(int i) const { return kernelSum(odd_ + i, even_[i + kH / 2]); }

void HalfbandDecimator::keep(int n) {
    std::copy(even_ + n, even_ + n + kH, even_);
    std::copy(odd_ + n, odd_ + n + kH, odd_);
}

void HalfbandDecimator::clear() {
    for (double& v : even_) v = 0.0;
    for (double& v : odd_) v = 0.0;
}

double HalfbandDecimator::at(int j) const {
    const int pair = j / 2;
    return (j & 1) ? even_[kH - 1 - pair] : odd_[kH - 1 - pair];
}

bool OutputPath::settled() const {
    // Silence leaves only the guards' residue: about 1e-8 in the high-pass and 1e-6 in
    // the upsampler, which the distortion gain lifts to about 1e-5 at the output.
    if (!(std::fabs(hp1_) < 1e-6 && std::fabs(hp2_) < 1e-6)) return false;
    if (!(std::fabs(up_) < 1e-4 && std::fabs(s0_) < 1e-4 && std::fabs(s1_) < 1e-4)) return false;
    for (int j = 0; j < HalfbandDecimator::kLength; ++j)
        if (!(std::fabs(decimator_.at(j)) < 1e-4)) return false;
    return true;
}

// The two high-pass sections are one-pole lags written as y (1 - c) + (g + x) c: the
// lag's own value then passes one multiply and one add per sample instead of a
// subtraction, a multiply and an add, which shortens the chain that bounds the loop.
template <bool Ramping>
void OutputPath::highpassOnly(float* buf, int n, const Ramps& r) {
    double hp1 = hp1_, hp2 = hp2_, g = hpGuard_;
    for (int i = 0; i < n; ++i) {
        const double c = Ramping ? r.c0 + r.cStep * (r.base + i) : r.c0;
        const double cl = Ramping ? (r.ratio == 1.0 ? c : dsp::atRate(c, r.ratio)) : r.c0r; // the lags'
        const double fix = Ramping ? highpassGainAtRate(c, cl) : r.fix0;
        const double x = buf[i];
        hp1 = hp1 * (1.0 - cl) + (g + x) * cl;
        const double h = x - hp1;
        hp2 = hp2 * (1.0 - cl) + (g + h) * cl;
        buf[i] = static_cast<float>(((1.0 - c + 10.0 * c) * fix) * (h - hp2));
        g = -g;
    }
    hp1_ = hp1;
    hp2_ = hp2;
    hpGuard_ = g;
}

template <bool Ramping, bool Highpass, int Kind>
void OutputPath::distort(float* buf, int n, const Ramps& r) {
    double hp1 = hp1_, hp2 = hp2_, g = hpGuard_, u = up_, s0 = s0_, s1 = s1_;
    const double ug = upGuard_; // the upsampler guard's sign is the same at every sample
    // Locals, so the stores into the staging lines cannot force them to be reloaded.
    const double d0 = r.d0, m0 = r.m0, c0 = r.c0, dStep = r.dStep, mStep = r.mStep, cStep = r.cStep;
    // Knobs usually hold still across a sub-block: then these are the values throughout.
    const double steadyF = ((1.0 - d0) * 0.1 + d0) * 10.0;
    const double steadyB = Kind == Foldback ? foldAtRate_((1.0 - d0 / 2) * 0.5, r.ratio) : 0.0;
    const double steadyV = m0 * 10.0 < 1.0 ? m0 * 10.0 : 1.0;
    const double c0r = r.c0r, hpGain0 = (1.0 - c0 + 10.0 * c0) * r.fix0, omc0 = 1.0 - c0r, omm0 = 1.0 - m0;
    // The upsampling lag: a quarter of the way per step at 88.2 kHz, carried to twice this
    // rate (q = 1/4 at 44.1 kHz, where every factor below is exact).
    const double q = upAtRate_(0.25, r.ratio);
    const double uKeep = 1.0 - q, uTwice = uKeep * uKeep, xTwice = q * (2.0 - q);
    const double ugQuarter = ug * q, ugSecond = ug * -(q * q);
    double* even = decimator_.even_ + kH;
    double* odd = decimator_.odd_ + kH;

    for (int start = 0; start < n; start += HalfbandDecimator::kChunk) {
        const int len = std::min(n - start, HalfbandDecimator::kChunk);
        // The recursive part, one sample after another: the high-pass, the upsampling lag
        // and (except for "Saturate", whose shaper runs after) the shaper. The
        // intermediate pairs are staged in the decimator. Samples are taken two at a
        // time, so the high-pass guard's sign is a constant of each.
        auto step = [&](int i, double guard) {
            const int at = start + i;
            // Each ramp value is computed from its start, so rounding cannot accumulate.
            const int k = r.base + at;
            const double d = Ramping ? d0 + dStep * k : d0;
            const double m = Ramping ? m0 + mStep * k : m0;
            const double omm = Ramping ? 1.0 - m : omm0;
            double x = buf[at];
            if constexpr (Highpass) {
                const double c = Ramping ? c0 + cStep * k : c0;
                const double cl = Ramping ? (r.ratio == 1.0 ? c : dsp::atRate(c, r.ratio)) : c0r;
                const double hpGain = Ramping ? (1.0 - c + 10.0 * c) * highpassGainAtRate(c, cl) : hpGain0;
                const double omc = Ramping ? 1.0 - cl : omc0;
                hp1 = hp1 * omc + (guard + x) * cl;
                const double h = x - hp1;
                hp2 = hp2 * omc + (guard + h) * cl;
                x = hpGain * (h - hp2);
            }
            if constexpr (Kind == Saturate) {
                // Two quarter steps of the upsampling lag towards x +- ug. The second is
                // taken from u directly: u 9/16 + x 7/16 - ug / 16 (every factor exact), so
                // the lag's chain is one multiply and one add per sample, and x reaches
                // both values through one multiply and two adds. The lag values wait in
                // the staging lines for the shaper.
                even[i] = u * uKeep + (x * q + ugQuarter);
                u = u * uTwice + (x * xTwice + ugSecond);
                odd[i] = u;
                dry_[i] = x;
            } else {
                if constexpr (Kind == Foldback) {
                    const double f = Ramping ? ((1.0 - d) * 0.1 + d) * 10.0 : steadyF;
                    const double b = Ramping ? dsp::atRate((1.0 - d / 2) * 0.5, r.ratio) : steadyB;
                    u += b * (ug + x - u);
                    s0 = std::sin(f * u) * 0.7 * m + omm * x;
                    u += b * (-ug);
                    s1 = std::sin(f * u) * 0.7 * m + omm * s0;
                }
                even[i] = s0;
                odd[i] = s1;
            }
        };
        int pair = 0;
        for (; pair + 1 < len; pair += 2) {
            step(pair, g);
            step(pair + 1, -g);
        }
        if (pair < len) {
            step(pair, g);
            g = -g;
        }
        if constexpr (Kind == Saturate) saturate<Ramping>(start, len, r);
        // Decimate and mix: no recursion, so this vectorises across samples. From a
        // Distortion of 0.1 up the mix is all wet, r 1 + 0 s1, which is r itself.
        if (!Ramping && steadyV == 1.0) {
            for (int i = 0; i < len; ++i) buf[start + i] = static_cast<float>(decimator_.filtered(i));
        } else {
            for (int i = 0; i < len; ++i) {
                double v = steadyV;
                if constexpr (Ramping) {
                    const double m = m0 + mStep * (r.base + start + i);
                    v = m * 10.0 < 1.0 ? m * 10.0 : 1.0;
                }
                buf[start + i] = static_cast<float>(decimator_.filtered(i) * v + (1.0 - v) * odd[i]);
            }
        }
        decimator_.keep(len);
    }
    hp1_ = hp1;
    hp2_ = hp2;
    hpGuard_ = g;
    up_ = u;
    s0_ = decimator_.even_[kH - 1];
    s1_ = decimator_.odd_[kH - 1];
}

// The "Saturate" shaper over staged lag values: nothing feeds back, so two samples go
// through at once, one per lane, each lane computing exactly what a lone sample would.
// An odd count computes one spare lane past the end, which nothing reads.
template <bool Ramping>
void OutputPath::saturate(int start, int len, const Ramps& r) {
    double* even = decimator_.even_ + kH;
    double* odd = decimator_.odd_ + kH;
    const __m128d three = _mm_set1_pd(3.0), minusThree = _mm_set1_pd(-3.0);
    const __m128d c27 = _mm_set1_pd(27.0), c9 = _mm_set1_pd(9.0), one = _mm_set1_pd(1.0);
    // dsp::softClip, lane by lane with the same operations: the clamp to +-3 is where it
    // reaches +-1 exactly, and a NaN passes through as its branches let it.
    auto clip = [&](__m128d v) {
        v = _mm_max_pd(minusThree, _mm_min_pd(three, v));
        const __m128d q = _mm_mul_pd(v, v);
        return _mm_div_pd(_mm_mul_pd(v, _mm_add_pd(q, c27)), _mm_add_pd(_mm_mul_pd(c9, q), c27));
    };
    auto drive = [&](__m128d d, __m128d m, __m128d& k, __m128d& gainMix, __m128d& dryGain) {
        k = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(one, d), _mm_set1_pd(0.05)), _mm_mul_pd(d, _mm_set1_pd(100.0)));
        const __m128d gain = _mm_div_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(8.0), d), one), _mm_set1_pd(2.0)), k);
        gainMix = _mm_mul_pd(gain, m);
        dryGain = _mm_sub_pd(one, m);
    };
    __m128d k, gainMix, dryGain;
    drive(_mm_set1_pd(r.d0), _mm_set1_pd(r.m0), k, gainMix, dryGain);
    for (int i = 0; i < len; i += 2) {
        if constexpr (Ramping) {
            const __m128d at = _mm_set_pd(r.base + start + i + 1, r.base + start + i);
            drive(_mm_add_pd(_mm_set1_pd(r.d0), _mm_mul_pd(_mm_set1_pd(r.dStep), at)),
                  _mm_add_pd(_mm_set1_pd(r.m0), _mm_mul_pd(_mm_set1_pd(r.mStep), at)), k, gainMix, dryGain);
        }
        const __m128d x = _mm_loadu_pd(dry_ + i);
        const __m128d w0 = _mm_mul_pd(clip(_mm_mul_pd(k, _mm_loadu_pd(even + i))), gainMix);
        const __m128d w1 = _mm_mul_pd(clip(_mm_mul_pd(k, _mm_loadu_pd(odd + i))), gainMix);
        const __m128d s0 = _mm_add_pd(w0, _mm_mul_pd(dryGain, x));
        _mm_storeu_pd(even + i, s0);
        _mm_storeu_pd(odd + i, _mm_add_pd(w1, _mm_mul_pd(dryGain, s0)));
    }
}

template <bool Ramping, bool Highpass>
void OutputPath::distortAny(float* buf, int n, const Ramps& r) {
    if (type_ == Saturate) distort<Ramping, Highpass, Saturate>(buf, n, r);
    else if (type_ == Foldback) distort<Ramping, Highpass, Foldback>(buf, n, r);
    else distort<Ramping, Highpass, Hold>(buf, n, r);
}

void OutputPath::process(float* buf, int n, double fs) {
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
    Ramps r;
    setRamps(r, n, fs);
    // Knobs usually hold still across a sub-block: then every ramp value is its start
    // value, and the loops without ramps compute the same samples with fewer operations.
    const bool ramping = !(r.dStep == 0.0 && r.mStep == 0.0 && r.cStep == 0.0);
    if (distortionTarget_ > 0.0) {
        if (ramping) {
            if (highpassOn_) distortAny<true, true>(buf, n, r);
            else distortAny<true, false>(buf, n, r);
        } else {
            if (highpassOn_) distortAny<false, true>(buf, n, r);
            else distortAny<false, false>(buf, n, r);
        }
    } else if (highpassOn_) {
        if (ramping) highpassOnly<true>(buf, n, r);
        else highpassOnly<false>(buf, n, r);
    } else if (n & 1) {
        hpGuard_ = -hpGuard_; // nothing to do but keep the guard's alternation
    }
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

void OutputPath::restartDistortion() {
    up_ = s0_ = s1_ = 0.0;
    decimator_.clear();
}

void OutputPath::setRamps(Ramps& r, int n, double fs) {
    r = Ramps{drive_, mix_, hpCoeff_, 0.0, 0.0, 0.0, 0, 44100.0 / fs, 0.0, 1.0};
    if (!(r.ratio > 0.0 && r.ratio < 1e6)) r.ratio = 1.0; // no usable rate: as at 44.1 kHz
    r.c0r = hpAtRate_(r.c0, r.ratio);
    r.fix0 = highpassGainAtRate(r.c0, r.c0r);
    r.dStep = (driveTarget_ - r.d0) / n;
    r.mStep = (distortionTarget_ - r.m0) / n;
    r.cStep = (hpCoeffTarget_ - r.c0) / n;
}

void OutputPath::begin(int n, double fs) {
    setRamps(ramps_, n, fs);
    ramping_ = !(ramps_.dStep == 0.0 && ramps_.mStep == 0.0 && ramps_.cStep == 0.0);
    quiet_ = false;
}

// process() without the resting shortcut, over samples from .. from + len of the sub-block.
void OutputPath::run(float* buf, int from, int len) {
    if (len <= 0) return;
    Ramps r = ramps_;
    r.base = from;
    if (distortionTarget_ > 0.0) {
        if (ramping_) {
            if (highpassOn_) distortAny<true, true>(buf, len, r);
            else distortAny<true, false>(buf, len, r);
        } else {
            if (highpassOn_) distortAny<false, true>(buf, len, r);
            else distortAny<false, false>(buf, len, r);
        }
    } else if (highpassOn_) {
        if (ramping_) highpassOnly<true>(buf, len, r);
        else highpassOnly<false>(buf, len, r);
    } else if (len & 1) {
        hpGuard_ = -hpGuard_;
    }
}

void OutputPath::end(const float* buf, int n) {
    drive_ = driveTarget_;
    mix_ = distortionTarget_;
    hpCoeff_ = hpCoeffTarget_;
    if (n > 0 && (buf[n - 1] == 0.0f || std::fabs(buf[n - 1]) < 1e-4) && settled()) {
        hp1_ = hp2_ = up_ = s0_ = s1_ = 0.0;
        decimator_.clear();
        quiet_ = true;
    }
}

void OutputStage::reconfigure(double drive, double distortion, double highpassCoeff, int type, bool highpass) {
    drive_ = drive;
    distortion_ = distortion;
    hpCoeff_ = highpassCoeff;
    wanted_ = Structure{highpass, distortion > 0.0, type};
    if (distortion > 0.0) lastDistortion_ = distortion;
    steady_ = fadeLeft_ == 0 && started_ && wanted_ == current_;
    if (steady_) path_.configure(drive, distortion, highpassCoeff, type, highpass);
}

// A structure with the distortion on that is no longer wanted keeps the last amount it had
// until it has faded out.
void OutputStage::configurePath(OutputPath& p, const Structure& st) const {
    const double amount = st.distortion ? (distortion_ > 0.0 ? distortion_ : lastDistortion_) : 0.0;
    p.configure(drive_, amount, hpCoeff_, st.type, st.highpass);
}

void OutputStage::startFade(double fs) {
    previous_ = current_;
    fading_ = path_;
    const Structure next = wanted_;
    if (next.highpass && !current_.highpass) path_.restartHighpass();
    if (next.distortion && !current_.distortion) path_.restartDistortion();
    current_ = next;
    const double samples = fs > 0.0 && fs < 1.0e7 ? fs * kFadeSeconds : 44100.0 * kFadeSeconds;
    fadeLength_ = fadeLeft_ = samples < 1.0 ? 1 : static_cast<int>(samples + 0.5);
    path_.wake();
    fading_.wake();
}

void OutputStage::processChanging(float* buf, int n, double fs) {
    if (n <= 0) return;
    if (!started_) {
        // The first run has nothing to fade from.
        started_ = true;
        current_ = wanted_;
    } else if (fadeLeft_ == 0 && !(wanted_ == current_)) {
        startFade(fs);
    }
    if (!current_.distortion) current_.type = wanted_.type; // no audible change without the distortion
    configurePath(path_, current_);
    if (fadeLeft_ == 0) {
        steady_ = true;
        path_.process(buf, n, fs);
        return;
    }
    configurePath(fading_, previous_);
    path_.begin(n, fs);
    fading_.begin(n, fs);
    // Both structures run over the same input in pieces; the new one's share rises along a
    // smooth step (zero slope at both ends), so neither end of the fade is a corner.
    constexpr int kPiece = 256;
    float old[kPiece];
    int at = 0;
    while (at < n && fadeLeft_ > 0) {
        const int len = std::min({n - at, fadeLeft_, kPiece});
        std::copy(buf + at, buf + at + len, old);
        fading_.run(old, at, len);
        path_.run(buf + at, at, len);
        const int done = fadeLength_ - fadeLeft_;
        const double inv = 1.0 / fadeLength_;
        for (int i = 0; i < len; ++i) {
            const double t = (done + i + 1) * inv;
            const double w = t * t * (3.0 - 2.0 * t);
            buf[at + i] = static_cast<float>(old[i] + (double(buf[at + i]) - old[i]) * w);
        }
        fadeLeft_ -= len;
        at += len;
    }
    path_.run(buf + at, at, n - at);
    path_.end(buf, n);
    fading_.end(nullptr, 0);
    steady_ = fadeLeft_ == 0 && wanted_ == current_;
}

} // namespace kelo
