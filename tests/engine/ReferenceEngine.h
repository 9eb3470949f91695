#pragma once
// The sound engine written the plain way: every smoothed step as its four RK4 slopes, every
// quotient divided where the formula divides, the power function per sample, the full
// 33-tap decimator over a shifted line. Slow on purpose; the optimised engine must render
// what this renders.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/Dsp.h"
#include "engine/Filter.h"
#include "engine/FilterTables.h"
#include "engine/ParamSnapshot.h"
#include "engine/Voice.h"
#include "engine/VoiceControl.h"
#include "engine/VoiceSettings.h"
#include "engine/Wavetables.h"

namespace kelo::test::ref {

using dsp::Guard;

inline double unit(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

// One lag: its state and its own guard.
inline void step1(double& y, double x, double k, Guard& g) { y = dsp::onePole(y, x + g.next(), k); }
inline void step4(double& y, double x, double k, Guard& g) { y = dsp::smoothStepRk4(y, x + g.next(), k); }
// A lag defined per sample at 44.1 kHz, at the rate whose ratio 44100 / fs is given: the
// literal step there, elsewhere one step of the coefficient carried to the rate.
inline void step1At(double& y, double x, double k, double ratio, Guard& g) {
    step1(y, x, dsp::atRate(k, ratio), g);
}
inline void step4At(double& y, double x, double k, double ratio, Guard& g) {
    if (ratio == 1.0) step4(y, x, k, g);
    else step1(y, x, dsp::atRate(dsp::rk4Coeff(k), ratio), g);
}

struct RefFilter {
    double s[4] = {}, t[4] = {};
    float yLast = 0, zLast = 0, yPrev = 0, zPrev = 0;
    double tableRatio = 0;
    Filter rateTables;
    double ctl1 = 0, ctl2 = 0, level = 0, envTerm = 0;
    Guard gs[4], gt[4], gCtl1, gCtl2, gLevel;

    double process(double o, double c2, double r, double mIn, double R, double K, double E, double G, int accent,
                   double a, double U, const VoiceSettings& st, double fs) {
        const double ratio = 44100.0 / fs;
        const FilterTables& tab = FilterTables::get();
        const double m = st.envmodKnob < 1 ? mIn : 39.0 / (130.0 - 100.0 * mIn) - 0.3;
        const double q = 1.0 - r * r;
        const double low = 0.32 * r * r + 0.22 * q;
        const double high = 0.665 * r * r + 0.64 * q;
        const double ka = 0.255 * r + 0.27 * (1.0 - r);
        const double b = ((high - low) * c2 + low) * ((unit(st.tm3) - 0.5) * 0.5 + 1.0);
        envTerm = E - 0.45 / ((0.1 * G + 0.9) * (1.0 - K) + K) - 0.05;
        const double d = (0.65 - 0.14) * m + 0.14;
        double x = b + d * envTerm + (accent * a * (1.0 - R) + R * U) * ka + (1.0 - c2) * m * 0.1;
        if (x > 1.4) x = 1.4;
        if (!st.vcaNoise) {
            step1At(ctl1, x, 0.1, ratio, gCtl1);
            step1At(ctl2, ctl1, 0.1, ratio, gCtl2);
            x = ctl2;
        }
        double g = 1.4 * tableRead(tab.exponential, FilterTables::kExpSize, 1024.0 * x);
        const double fb = tableRead(tab.feedback, FilterTables::kCurveSize, 256.0 * g) * st.tm4;
        // Away from 44.1 kHz: the stage coefficient from its table at the rate, and the
        // fed-back values extrapolated by the lead.
        if (ratio != 1.0 && ratio != tableRatio) {
            // The rate's tables, as the engine's filter makes them.
            tableRatio = ratio;
            rateTables.prepare(st, RateClass::of(fs));
        }
        // The rate's table holds the stage coefficient (k = 0) and the lead (k = 1) side by
        // side; each read as tableRead reads a table of its own.
        auto pairRead = [&](int k) {
            const double* table = rateTables.stageLeadTable();
            const double at = 1024.0 * x;
            constexpr int last = FilterTables::kExpSize - 1;
            if (!(at > 0.0)) return table[k];
            if (at >= last) return table[2 * last + k];
            const int i = static_cast<int>(at);
            const double f = at - i;
            return table[2 * i + k] * (1.0 - f) + table[2 * i + 2 + k] * f;
        };
        const double c = ratio == 1.0 ? 0.0 : pairRead(0);
        const double lead = ratio == 1.0 ? 0.0 : pairRead(1);
        const double fbAt = ratio == 1.0 ? fb : tableRead(rateTables.feedbackTable(), FilterTables::kCurveSize, 256.0 * g) * st.tm4;
        auto stage = [&](double& y, double v, Guard& gd) {
            if (ratio == 1.0) step4(y, v, g, gd);
            else step1(y, v, c, gd);
        };
        const double yl = ratio == 1.0 ? yLast : yLast + lead * (double(yLast) - yPrev);
        const double zl = ratio == 1.0 ? zLast : zLast + lead * (double(zLast) - zPrev);
        yPrev = yLast;
        zPrev = zLast;
        const double lev = tableRead(tab.level, FilterTables::kCurveSize, 256.0 * g);
        const double lambda = st.vcaLeveling ? lev * r * 1.6 : lev * r * 0.8;
        const double mu = st.vcaLeveling ? 1.5 : 1.0;
        const double sigma = std::fmin(1.2, std::fmax(0.6, 2.3 * g + 0.01));
        auto sat = [sigma](double v) { return dsp::softClip(static_cast<float>(sigma * v)) / sigma; };
        const double tm6 = unit(st.tm6);
        double out = o;
        switch (st.filterMode) {
        case 0:
            stage(s[0], o - (tm6 * 0.05 + 1.0) * r * yl * fbAt, gs[0]);
            stage(s[1], s[0], gs[1]);
            stage(s[2], s[1], gs[2]);
            stage(s[3], sat(s[2]), gs[3]);
            yLast = static_cast<float>(s[3]);
            out = s[3];
            break;
        case 1:
            stage(s[0], o - (tm6 * 0.05 + 1.0) * r * yl * fbAt, gs[0]);
            stage(s[1], sat(s[0]), gs[1]);
            stage(s[2], sat(s[1]), gs[2]);
            stage(s[3], sat(s[2]), gs[3]);
            yLast = static_cast<float>(s[3]);
            stage(t[0], o - r * zl * fbAt, gt[0]);
            stage(t[1], t[0], gt[1]);
            stage(t[2], t[1], gt[2]);
            stage(t[3], t[2], gt[3]);
            zLast = static_cast<float>(t[3]);
            out = ((1.0 - g / 2) * s[3] + (g / 2) * s[2]) * r * r + (1.0 - r * r) * t[2];
            break;
        case 2:
            stage(s[0], o - r * yl * fbAt, gs[0]);
            stage(s[1], s[0], gs[1]);
            stage(s[2], s[1], gs[2]);
            stage(s[3], s[2], gs[3]);
            yLast = static_cast<float>(s[3]);
            out = s[2];
            break;
        default:
            break;
        }
        step1At(level, (lambda + (1.0 - r) * 0.8) * mu * 1.1, 0.1, ratio, gLevel);
        return out * level;
    }
};

// Voice: the per-sample steps in their order. The only shortcut it shares with the engine
// is the one that changes no sample: past the active samples nothing is computed, and the
// four smoothed parameters and the gate follower catch up in closed form when computing
// resumes (the same closed form, so the comparison stays exact across long silences).
struct RefVoice {
    VoiceState v;
    RefFilter filter;
    Guard gTune, gCutoff, gRes, gEnv, gFollow, gL1, gL2, gE, gA, gU, gUs, gV, gVs, gGlide, gAmp, gClip;
    double appliedRt = 1.0015;
    int64_t owedSmooth = 0, owedFollow = 0;
    bool owedFollowGate = false;
    bool fresh = true; // the first call starts the smoothed parameters at their targets
    double ratio = 1.0; // 44100 / fs of the current call
    double fir1 = 0, fir2 = 0;
    EnvelopeScope scope; // the envelope term of every computed sample on the 100-sample grid

    RefVoice() { v.glide = 110.0; }

    static void catchUp(double& y, double x, double k, Guard& g, int64_t n) {
        double d = (y - x) * std::pow(1.0 - k, static_cast<double>(n));
        if (std::fabs(d) < 1e-30) d = 0.0;
        y = x + d;
        if (n & 1) g.g = -g.g;
    }
    void payFollower() {
        if (owedFollow == 0) return;
        catchUp(v.gateFollower, owedFollowGate ? 1.0 : 0.0, dsp::atRate(owedFollowGate ? 0.0005 : 0.00012, ratio),
                gFollow, owedFollow);
        owedFollow = 0;
    }
    void paySmoothing(const double* target, double k) {
        if (owedSmooth == 0) return;
        catchUp(v.tune, target[0], k, gTune, owedSmooth);
        catchUp(v.cutoff, target[1], k, gCutoff, owedSmooth);
        catchUp(v.resonance, target[2], k, gRes, owedSmooth);
        catchUp(v.envmod, target[3], k, gEnv, owedSmooth);
        owedSmooth = 0;
    }

    void render(float* out, int n, double fs, const ParamSnapshot& p, VoiceControl& vc, const VoiceSettings& s,
                void (*tick)(void*), void* ctx) {
        constexpr double ln10 = 2.30258509299405;
        ratio = 44100.0 / fs;
        const double periodScale = fs > 44100.0 ? 48000.0 / fs : 1.0884354;
        const double target[4] = {unit(p.tune), unit(p.cutoff), unit(p.resonance), unit(p.envmod)};
        const double R = target[2], K = unit(p.accent), D = unit(p.decay), W = unit(p.waveform);
        const double smooth = dsp::atRate(s.smoothSpeed > 0.0 && s.smoothSpeed <= 1.0 ? s.smoothSpeed : 0.002, ratio);
        const double ampRate = ln10 / (fs * (s.vcaDecay > 0.0 ? s.vcaDecay : 3.8953));
        const double rho = R >= 0.5 ? std::sqrt(2.0 * (R - 0.5)) : 0.0;
        const double chargeRate = ln10 / ((rho * 0.063 + (1.0 - rho) * 0.00052) * fs);
        const double boostRate = ln10 / ((rho * 0.003 + (1.0 - rho) * 0.00092) * fs);
        const double attack = s.vcaNoise ? 0.05 : 0.014;
        const double alpha = K * K * 0.92;
        const bool silent = !(p.volume > 0.0f);
        if (fresh) {
            fresh = false;
            v.tune = target[0];
            v.cutoff = target[1];
            v.resonance = target[2];
            v.envmod = target[3];
        }
        if (s.relativeTuning != appliedRt) {
            appliedRt = s.relativeTuning;
            v.r1 = appliedRt > 0.5 && appliedRt < 2.0 ? appliedRt : 1.0;
            v.r2 = 1.0;
        }
        for (int i = 0; i < n; ++i) {
            out[i] = 0.0f;
            if (tick) tick(ctx);
            if (vc.resetPhase) {
                v.phase = 0.0;
                vc.resetPhase = 0;
            }
            const bool gate = vc.gate != 0;
            v.sinceGateOff = gate ? 0 : v.sinceGateOff + 1;
            if (silent || v.sinceGateOff >= (ratio == 1.0 ? s.activeClocks : std::llround(s.activeClocks / ratio))) {
                if (owedFollow > 0 && owedFollowGate != gate) payFollower();
                owedFollowGate = gate;
                ++owedFollow;
                ++owedSmooth;
                ++v.sampleCounter;
                continue;
            }
            paySmoothing(target, smooth);
            payFollower();
            step1(v.tune, target[0], smooth, gTune);
            step1(v.cutoff, target[1], smooth, gCutoff);
            step1(v.resonance, target[2], smooth, gRes);
            step1(v.envmod, target[3], smooth, gEnv);
            const double gateV = gate ? 1.0 : 0.0;
            step1At(v.gateFollower, gateV, gate ? 0.0005 : 0.00012, ratio, gFollow);

            step4At(v.gateLag, gateV, gate ? attack : 0.02, ratio, gL1);
            if (s.vcaNoise) v.clickLag = v.gateLag + gL2.next();
            else step1At(v.clickLag, v.gateLag, 0.01, ratio, gL2);

            const bool accent = vc.accent != 0;
            const double envRate = accent ? ln10 / (fs * Voice::kDecayAccent)
                                          : (1.0 - D) * ln10 / (fs * Voice::kDecayMin) + D * ln10 / (fs * Voice::kDecayMax);
            if (accent) v.gateFollower = 0.0;
            if (vc.trigger) {
                v.sinceTrigger = 0;
                v.accentCarry = static_cast<float>(Voice::kAccentCarryFactor * v.accentCap);
            }
            if (!gate || v.sinceTrigger > 0) {
                step4(v.filterEnv, 0.0, envRate, gE);
                step4(v.ampEnv, 0.0, ampRate, gA);
            } else {
                v.filterEnv = v.ampEnv = 1.0;
            }
            ++v.sinceTrigger;

            const double a = v.accentCarry * alpha + alpha * v.filterEnv;
            float carry = static_cast<float>(v.accentCarry - v.accentCarry * dsp::atRate(0.0007, ratio));
            if (std::fabs(carry) < 1e-30f) carry = 0.0f;
            v.accentCarry = carry;
            if (!accent || a <= v.accentCap) step4At(v.accentCap, 0.0, (1.0 - R) * 0.01 + R * 0.0002, ratio, gU);
            else step4(v.accentCap, a, chargeRate, gU);
            step4At(v.accentCapSmooth, v.accentCap, 0.07, ratio, gUs);
            if (v.accentBoost <= gateV * v.ampEnv) step4(v.accentBoost, vc.accentStep ? a : 0.0, boostRate, gV);
            else step4At(v.accentBoost, 0.0, 0.0006, ratio, gV);
            step1At(v.accentBoostSmooth, v.accentBoost, (1.0 - R) * 0.05 + R * 0.01, ratio, gVs);

            double pitch = vc.pitchHz;
            if (!(pitch > 0.0)) pitch = 0.0;
            if (pitch > 0.5 * fs) pitch = 0.5 * fs;
            double glideRate = ln10 / (fs * Voice::kSlideTime);
            if (!vc.slideFrom) {
                v.glide = pitch;
                glideRate = 1.0;
            }
            step4(v.glide, pitch, glideRate, gGlide);

            const double f = std::pow(2.0, 2.0 * v.tune - 1.0) * v.glide;
            v.lastFrequency = f;
            const double delta = f / fs;
            const int period = periodIndex(delta, periodScale);
            double o = W > 0.5 ? W * Wavetable::square().read(period, v.phase)
                               : Wavetable::saw().read(period, v.phase) * 1.3 * (1.0 - W);
            o *= std::isfinite(s.vcoGain) ? s.vcoGain : 2.0;
            v.phase += delta * v.r1 * v.r2;
            if (v.phase > 1.0) {
                v.phase -= 1.0;
                if (v.phase >= 1.0) v.phase -= std::floor(v.phase);
                v.r1 = 1.0 / v.r1;
                if (v.r1 > 1.0) v.r2 = 1.0 / v.r2;
            }

            double y = filter.process(o, v.cutoff * v.cutoff, v.resonance, v.envmod, R, K, v.filterEnv,
                                      v.gateFollower, accent ? 1 : 0, a, v.accentCapSmooth, s, fs);
            double amp = v.clickLag * v.ampEnv + 2.4 * v.accentBoostSmooth;
            if (!s.vcaNoise) {
                step1At(v.ampLag, amp, 0.1, ratio, gAmp);
                amp = v.ampLag;
            }
            y *= amp;
            vc.trigger = 0;
            if (s.outputClipping) {
                const double t = dsp::softClip(y / 2);
                step1At(v.clipDc, 2.0 * t, 0.001, ratio, gClip);
                y = 2.0 * t - v.clipDc;
            }
            if (v.sampleCounter % uint64_t(std::max(1.0, std::floor(100.0 / ratio + 0.5))) == 0)
                scope.push(static_cast<float>(filter.envTerm));
            ++v.sampleCounter;
            out[i] += static_cast<float>(y);
        }
        paySmoothing(target, smooth);
        payFollower();
        if (ratio != 1.0) {
            // The stages' 44.1 kHz rolloff: 1 + 4 beta sin^2(w/2), one sample late.
            const double q = fs / 44100.0;
            const double stages = s.filterMode == 0 ? 4.0 : (s.filterMode == 1 || s.filterMode == 2 ? 3.0 : 0.0);
            const double beta = stages / 24.0 * (q * q - 1.0);
            for (int i = 0; i < n; ++i) {
                const double x = out[i];
                out[i] = static_cast<float>((1.0 + 2.0 * beta) * fir1 - beta * (x + fir2));
                fir2 = fir1;
                fir1 = x;
            }
        }
    }
};

// Output stage: the decimator's line shifted. Like the engine, a stage whose tails have
// died away below the guards' residue drops that residue and passes silence through as
// exact zeros.
struct RefOutputStage {
    bool quiet = false;

    double driveT = 0, distT = 0, hpT = 0.064, drive = 0, mix = 0, hp = 0;
    int type = 0;
    bool hpOn = true;
    double l1 = 0, l2 = 0, u = 0, ug = 0.00001, hg = 0.00000001, s0 = 0, s1 = 0;
    double line[32] = {};

    double push(double x) {
        // h[16] and h[16 +- odd]; every other tap is zero.
        static constexpr double odd[8] = {0.315941764436,  -0.0980159074729, 0.0507185615622,
                                          -0.028676559234, 0.0159471139706,  -0.00824246659655,
                                          0.0038624783042, -0.00188787839582};
        double h[33] = {};
        h[16] = 0.500705786852609;
        for (int k = 0; k < 8; ++k) h[16 - (2 * k + 1)] = h[16 + (2 * k + 1)] = odd[k];
        double acc = 0;
        for (int j = 0; j < 32; ++j) acc += h[j] * line[j];
        for (int j = 31; j > 0; --j) line[j] = line[j - 1];
        line[0] = x;
        return acc;
    }

    // Defined at 44.1 kHz; at fs the high-pass and the lags are carried to the rate.
    void process(float* buf, int n, double fs = 44100.0) {
        const double ratio = 44100.0 / fs;
        if (quiet) {
            bool silent = true;
            for (int i = 0; i < n; ++i) silent = silent && buf[i] == 0.0f;
            if (silent) {
                drive = driveT;
                mix = distT;
                hp = hpT;
                if (n % 2 == 1) hg = -hg;
                return;
            }
            quiet = false;
        }
        const double dStep = (driveT - drive) / n, mStep = (distT - mix) / n, cStep = (hpT - hp) / n;
        const double d0 = drive, m0 = mix, c0 = hp;
        for (int i = 0; i < n; ++i) {
            const double d = d0 + dStep * i, m = m0 + mStep * i, c = c0 + cStep * i;
            double x = buf[i];
            if (hpOn) {
                const double cl = dsp::atRate(c, ratio);
                const double fix = ((1.0 - c / 2) / (1.0 - cl / 2)) * ((1.0 - c / 2) / (1.0 - cl / 2));
                l1 += (hg + x - l1) * cl;
                const double h = x - l1;
                l2 += (hg + h - l2) * cl;
                x = (1.0 - c + 10.0 * c) * fix * (h - l2);
            }
            if (distT > 0.0) {
                if (type == 0) {
                    const double k = (1.0 - d) * 0.05 + d * 100.0;
                    const double q = dsp::atRate(0.25, ratio);
                    u += (ug + x - u) * q;
                    const double w0 = (8.0 * d + 1.0) * 2.0 * dsp::softClip(k * u) / k;
                    u += (-ug + x - u) * q;
                    const double w1 = (8.0 * d + 1.0) * 2.0 * dsp::softClip(k * u) / k;
                    s0 = w0 * m + (1.0 - m) * x;
                    s1 = w1 * m + (1.0 - m) * s0;
                } else if (type == 1) {
                    const double f = ((1.0 - d) * 0.1 + d) * 10.0, b = dsp::atRate((1.0 - d / 2) * 0.5, ratio);
                    u += b * (ug + x - u);
                    s0 = std::sin(f * u) * 0.7 * m + (1.0 - m) * x;
                    u += b * (-ug);
                    s1 = std::sin(f * u) * 0.7 * m + (1.0 - m) * s0;
                }
                push(s0);
                const double r = push(s1);
                const double vm = std::fmin(10.0 * m, 1.0);
                x = r * vm + (1.0 - vm) * s1;
            }
            buf[i] = static_cast<float>(x);
            hg = -hg;
        }
        drive = driveT;
        mix = distT;
        hp = hpT;
        bool rest = std::fabs(buf[n - 1]) < 1e-4 && std::fabs(l1) < 1e-6 && std::fabs(l2) < 1e-6 &&
                    std::fabs(u) < 1e-4 && std::fabs(s0) < 1e-4 && std::fabs(s1) < 1e-4;
        for (double v : line) rest = rest && std::fabs(v) < 1e-4;
        if (rest) {
            l1 = l2 = u = s0 = s1 = 0.0;
            for (double& v : line) v = 0.0;
            quiet = true;
        }
    }
};

} // namespace kelo::test::ref
