#include "engine/Voice.h"

#include <cmath>
#include <utility>

#include "engine/FilterTables.h"
#include "engine/Wavetables.h"

namespace kelo {
namespace {

constexpr double kLn10 = 2.30258509299405;

// Host parameter values are used as given inside 0..1; anything else (including NaN) is
// brought into range so no coefficient can go negative or non-finite.
inline double unit(float v) { return v > 0.0f ? (v < 1.0f ? double(v) : 1.0) : 0.0; }

// Closed form of n one-pole steps towards a fixed target. The guard's alternating offsets
// average out over a pair of steps; its parity is kept so the next literal step continues
// the alternation. A difference that has decayed below any audible or representable use
// is snapped to zero, which keeps a long-idle lag out of denormal range.
inline void advanceLag(double& y, double x, double factor) {
    double d = (y - x) * factor;
    if (std::fabs(d) < 1e-30) d = 0.0;
    y = x + d;
}

// Settings come from text files: a value that is not a finite number falls back to its
// default rather than turning every sample into NaN.
VoiceSettings usable(const VoiceSettings& in) {
    const VoiceSettings def;
    VoiceSettings s = in;
    for (auto [field, fallback] : {std::pair{&s.vcoGain, def.vcoGain}, std::pair{&s.tm3, def.tm3},
                                   std::pair{&s.tm4, def.tm4}, std::pair{&s.tm6, def.tm6},
                                   std::pair{&s.relativeTuning, def.relativeTuning},
                                   std::pair{&s.smoothSpeed, def.smoothSpeed}, std::pair{&s.vcaDecay, def.vcaDecay}})
        if (!std::isfinite(*field)) *field = fallback;
    return s;
}

} // namespace

void EnvelopeScope::push(float v) {
    constexpr auto relaxed = std::memory_order_relaxed;
    // A rising zero crossing in the first half of the ring restarts the drawing there, so
    // a periodic envelope stands still on screen; later crossings are only counted.
    int w = writeIndex.load(relaxed);
    if (last < 0.0f && v > 0.0f) {
        if (w < kSize / 2) {
            w = 0;
            crossings.store(1, relaxed);
        } else {
            crossings.store(crossings.load(relaxed) + 1, relaxed);
        }
    }
    ring[w].store(v, relaxed);
    writeIndex.store((w + 1) & (kSize - 1), relaxed);
    last = v;
}

void EnvelopeScope::clear() {
    for (auto& x : ring) x.store(0.0f, std::memory_order_relaxed);
    writeIndex.store(0, std::memory_order_relaxed);
    crossings.store(0, std::memory_order_relaxed);
    last = 0.0f;
}

Voice::Voice() { init(44100.0); }

void Voice::init(double sampleRate) {
    (void)sampleRate; // every rate-dependent coefficient is derived per render call
    saw_ = &Wavetable::saw();
    square_ = &Wavetable::square();
    (void)FilterTables::get();
    st_ = VoiceState{};
    st_.glide = 110.0;
    filter_ = Filter{};
    scope_.clear();
    appliedRelativeTuning_ = st_.r1;
    tuneCacheValid_ = false;
    tuneIn_[0] = tuneIn_[1] = kNone;
    osc_ = OscillatorCache{};
    pendingSmooth_ = 0;
    pendingFollow_ = 0;
}

void Voice::resetEnvelopes() {
    st_.filterEnv = 0.0;
    st_.ampEnv = 0.0;
}

double Voice::tuneFactor(double tune) {
    if (tune == tuneIn_[0]) return tuneOut_[0];
    if (tune == tuneIn_[1]) return tuneOut_[1];
    const double factor = tuneExpansion(tune);
    tuneIn_[tuneNext_] = tune;
    tuneOut_[tuneNext_] = factor;
    tuneNext_ ^= 1;
    return factor;
}

double Voice::tuneExpansion(double tune) {
    // 2^(2 tune - 1). Smoothed tune moves by tiny amounts from sample to sample, so a
    // fifth-order expansion around the last exact value replaces the power function while
    // staying within a few ulp of it.
    const double dt = tune - tuneAt_;
    if (tuneCacheValid_ && std::fabs(dt) < 1e-3) {
        const double d = 1.3862943611198906 * dt; // 2 ln 2 * dt
        return tuneExact_ *
               (1.0 + d * (1.0 + d * 0.5 * (1.0 + d * (1.0 / 3) * (1.0 + d * 0.25 * (1.0 + d * 0.2)))));
    }
    tuneAt_ = tune;
    tuneExact_ = std::exp2(2.0 * tune - 1.0);
    tuneCacheValid_ = true;
    return tuneExact_;
}

double Voice::PowCache::get(double base, int64_t n) {
    if (base != lastBase || n != lastN) {
        lastBase = base;
        lastN = n;
        value = std::pow(base, static_cast<double>(n));
    }
    return value;
}

void Voice::flushSmoothing(const double* target, double k) {
    if (pendingSmooth_ == 0) return;
    const double f = smoothPow_.get(1.0 - k, pendingSmooth_);
    advanceLag(st_.tune, target[0], f);
    advanceLag(st_.cutoff, target[1], f);
    advanceLag(st_.resonance, target[2], f);
    advanceLag(st_.envmod, target[3], f);
    if (pendingSmooth_ & 1) gSmooth_.g = -gSmooth_.g;
    pendingSmooth_ = 0;
}

void Voice::flushFollower() {
    if (pendingFollow_ == 0) return;
    const double k = pendingFollowGate_ ? 0.0005 : 0.00012;
    const double f = followPow_.get(1.0 - k, pendingFollow_);
    advanceLag(st_.gateFollower, pendingFollowGate_ ? 1.0 : 0.0, f);
    if (pendingFollow_ & 1) gFollow_.g = -gFollow_.g;
    pendingFollow_ = 0;
}

#if defined(__GNUC__)
[[gnu::always_inline]] // every computed sample passes through it as well
#endif
inline int Voice::skipRun(float* out, int i, int n, bool silent, int64_t active, VoiceControl& vc,
                          VoiceTick tick, void* tickCtx, int& untilScope) {
    if (i >= n) return n;
    VoiceState& v = st_;
    if (tick) tick(tickCtx, 0);
    if (vc.resetPhase) {
        v.phase = 0.0;
        vc.resetPhase = 0;
    }
    if (vc.gate) v.sinceGateOff = 0;
    else ++v.sinceGateOff;
    if (!silent && v.sinceGateOff < active) return i; // computed: the common case while playing
    return silentRun(out, i, n, silent, active, vc, tick, tickCtx, untilScope);
}

int Voice::silentRun(float* out, int i, int n, bool silent, int64_t active, VoiceControl& vc,
                     VoiceTick tick, void* tickCtx, int& untilScope) {
    VoiceState& v = st_;
    // The counters live in locals for the run: the tick cannot see them, so they stay in
    // registers across its call instead of going through memory every sample.
    int64_t since = v.sinceGateOff, follow = pendingFollow_, smooth = pendingSmooth_;
    uint64_t counter = v.sampleCounter;
    bool followGate = pendingFollowGate_;
    int scope = untilScope;
    bool gate = vc.gate != 0; // sample i has had its tick and is not computed
    for (;;) {
        // Nothing audible is computed; the parameter smoothing and the gate follower
        // still move, applied in closed form when the voice next computes a sample.
        if (follow > 0 && followGate != gate) [[unlikely]] {
            pendingFollow_ = follow;
            pendingFollowGate_ = followGate;
            flushFollower();
            follow = 0;
        }
        followGate = gate;
        ++follow;
        ++smooth;
        ++counter;
        out[i] = 0.0f;
        scope = scope == 0 ? 99 : scope - 1;
        if (!tick) {
            // Nothing can change for the rest of the call: account for it at once.
            const int rest = n - 1 - i;
            if (!gate) since += rest;
            follow += rest;
            smooth += rest;
            counter += static_cast<uint64_t>(rest);
            for (int j = i + 1; j < n; ++j) out[j] = 0.0f;
            i = n;
            break;
        }
        if (++i == n) break;
        tick(tickCtx, 0);
        if (vc.resetPhase) {
            v.phase = 0.0;
            vc.resetPhase = 0;
        }
        gate = vc.gate != 0;
        if (gate) since = 0;
        else ++since;
        if (!silent && since < active) break; // sample i is computed
    }
    v.sinceGateOff = since;
    pendingFollow_ = follow;
    pendingSmooth_ = smooth;
    pendingFollowGate_ = followGate;
    v.sampleCounter = counter;
    untilScope = scope;
    return i;
}

void Voice::render(float* out, int n, double fs, const ParamSnapshot& p, VoiceControl& vc,
                   const VoiceSettings& settings, VoiceTick tick, void* tickCtx) {
    if (n <= 0) return;
    if (!(fs >= 1000.0 && fs <= 1.0e6)) {
        for (int i = 0; i < n; ++i) out[i] = 0.0f;
        // No usable rate: keep the sequencer's clock running but produce silence.
        if (tick)
            for (int i = 0; i < n; ++i) tick(tickCtx, 0);
        return;
    }
    VoiceState& v = st_;
    const bool silent = !(p.volume > 0.0f); // exact zero, negative or NaN volume
    if (!tick && (silent || (!vc.gate && v.sinceGateOff + 1 >= settings.activeClocks))) {
        // Note mode and nothing to compute for the whole call: only the counters and the
        // owed smoothing steps move, without setting up any coefficients.
        for (int i = 0; i < n; ++i) out[i] = 0.0f;
        if (vc.resetPhase) {
            v.phase = 0.0;
            vc.resetPhase = 0;
        }
        const bool gate = vc.gate != 0;
        if (pendingFollow_ > 0 && pendingFollowGate_ != gate) flushFollower();
        pendingFollowGate_ = gate;
        if (gate) v.sinceGateOff = 0;
        else v.sinceGateOff += n;
        pendingFollow_ += n;
        pendingSmooth_ += n;
        const double t[4] = {unit(p.tune), unit(p.cutoff), unit(p.resonance), unit(p.envmod)};
        const double k = settings.smoothSpeed > 0.0 && settings.smoothSpeed <= 1.0 ? settings.smoothSpeed : 0.002;
        flushSmoothing(t, k);
        flushFollower();
        v.sampleCounter += static_cast<uint64_t>(n);
        return;
    }
    const VoiceSettings s = usable(settings);
    const double target[4] = {unit(p.tune), unit(p.cutoff), unit(p.resonance), unit(p.envmod)};
    const double smooth = s.smoothSpeed > 0.0 && s.smoothSpeed <= 1.0 ? s.smoothSpeed : 0.002;
    const int64_t active = s.activeClocks;
    const double rt = s.relativeTuning;
    if (rt != appliedRelativeTuning_) {
        appliedRelativeTuning_ = rt;
        v.r1 = rt > 0.5 && rt < 2.0 ? rt : 1.0; // a ratio far from 1 is no detune
        v.r2 = 1.0;
    }

    // Samples until the next scope point (every 100th of the running count): a countdown
    // instead of a 64-bit remainder per sample.
    int untilScope = static_cast<int>(v.sampleCounter % 100);
    untilScope = untilScope == 0 ? 0 : 100 - untilScope;

    // A sequenced voice at rest ticks through the whole call here, without setting up the
    // coefficients below.
    const int first = skipRun(out, 0, n, silent, active, vc, tick, tickCtx, untilScope);
    if (first == n) {
        flushSmoothing(target, smooth);
        flushFollower();
        return;
    }

    const RateClass rc = RateClass::of(fs);
    const double R = target[2];
    const double K = unit(p.accent);
    const double D = unit(p.decay);
    const double W = unit(p.waveform);

    // Per-call coefficients.
    const double ampDecay = s.vcaDecay > 0.0 ? s.vcaDecay : 3.8953;
    const double ampRate = dsp::decayCoeff(fs, ampDecay);
    const double rho = R >= 0.5 ? std::sqrt(2.0 * (R - 0.5)) : 0.0;
    const double accentCharge = kLn10 / ((rho * 0.063 + (1.0 - rho) * 0.00052) * fs);
    const double boostCharge = kLn10 / ((rho * 0.003 + (1.0 - rho) * 0.00092) * fs);
    const double gateAttack = s.vcaNoise ? 0.05 : 0.014;
    const double decayPlain = (1.0 - D) * dsp::decayCoeff(fs, kDecayMin) + D * dsp::decayCoeff(fs, kDecayMax);
    const double decayAccent = dsp::decayCoeff(fs, kDecayAccent);
    const double slideRate = dsp::decayCoeff(fs, kSlideTime);
    const double alpha = K * K * 0.92;
    const double capDecay = (1.0 - R) * 0.01 + R * 0.0002;
    const double boostSmooth = (1.0 - R) * 0.05 + R * 0.01;
    const double oscGain = s.vcoGain;
    const double maxPitch = 0.5 * fs;
    const double invFs = 1.0 / fs;

    // The collapsed RK4 coefficients of every lag whose rate is fixed for the call.
    const double cAttack = dsp::rk4Coeff(gateAttack), cRelease = dsp::rk4Coeff(0.02);
    const double cDecayPlain = dsp::rk4Coeff(decayPlain), cDecayAccent = dsp::rk4Coeff(decayAccent);
    const double cAmp = dsp::rk4Coeff(ampRate);
    const double cCapDecay = dsp::rk4Coeff(capDecay), cCapCharge = dsp::rk4Coeff(accentCharge);
    const double cCapSmooth = dsp::rk4Coeff(0.07);
    const double cBoostCharge = dsp::rk4Coeff(boostCharge), cBoostDecay = dsp::rk4Coeff(0.0006);
    const double cSlide = dsp::rk4Coeff(slideRate), cJump = dsp::rk4Coeff(1.0);

    filter_.prepare(s, rc);
    const Wavetable* table = W > 0.5 ? square_ : saw_;
    if (table != osc_.table || invFs != osc_.invFs || rc.periodScale != osc_.scale) {
        osc_ = OscillatorCache{};
        osc_.table = table;
        osc_.invFs = invFs;
        osc_.scale = rc.periodScale;
    }

    // Every sample is written once: silence where nothing is computed (by skipRun), the
    // voice otherwise. skipRun has taken the tick and the gate of the sample it returns.
    for (int i = first; i < n; i = skipRun(out, i + 1, n, silent, active, vc, tick, tickCtx, untilScope)) {
        const bool gate = vc.gate != 0;
        if (pendingSmooth_) [[unlikely]]
            flushSmoothing(target, smooth);
        if (pendingFollow_) [[unlikely]]
            flushFollower();

        // Parameter smoothing.
        const double gSm = gSmooth_.next();
        v.tune = dsp::onePole(v.tune, target[0] + gSm, smooth);
        v.cutoff = dsp::onePole(v.cutoff, target[1] + gSm, smooth);
        v.resonance = dsp::onePole(v.resonance, target[2] + gSm, smooth);
        v.envmod = dsp::onePole(v.envmod, target[3] + gSm, smooth);
        const double gateV = gate ? 1.0 : 0.0;
        v.gateFollower = dsp::onePole(v.gateFollower, gateV + gFollow_.next(), gate ? 0.0005 : 0.00012);

        // Gate lag and click lag.
        const double gc = gCore_.next();
        v.gateLag += (gateV + gc - v.gateLag) * (gate ? cAttack : cRelease);
        if (s.vcaNoise) v.clickLag = v.gateLag + gc;
        else v.clickLag = dsp::onePole(v.clickLag, v.gateLag + gc, 0.01);

        const bool accent = vc.accent != 0;
        if (accent) v.gateFollower = 0.0;

        if (vc.trigger) {
            v.sinceTrigger = 0;
            v.accentCarry = static_cast<float>(kAccentCarryFactor * v.accentCap);
        }
        if (!gate || v.sinceTrigger > 0) {
            const double ge = gEnvs_.next();
            v.filterEnv += (ge - v.filterEnv) * (accent ? cDecayAccent : cDecayPlain);
            v.ampEnv += (ge - v.ampEnv) * cAmp;
        } else {
            v.filterEnv = 1.0;
            v.ampEnv = 1.0;
        }
        ++v.sinceTrigger;

        // Accent.
        const double a = v.accentCarry * alpha + alpha * v.filterEnv;
        float carry = static_cast<float>(v.accentCarry - v.accentCarry * 0.0007);
        if (std::fabs(carry) < 1e-30f) carry = 0.0f; // decays forever: stop before denormals
        v.accentCarry = carry;
        // Charge or decay, chosen by selects: near the top of its charge the choice flips
        // from sample to sample, which as a branch would mispredict. (0 + guard is exact.)
        const bool discharge = !accent || a <= v.accentCap;
        v.accentCap += ((discharge ? 0.0 : a) + gc - v.accentCap) * (discharge ? cCapDecay : cCapCharge);
        v.accentCapSmooth += (v.accentCap + gc - v.accentCapSmooth) * cCapSmooth;
        const bool charge = v.accentBoost <= gateV * v.ampEnv;
        v.accentBoost += ((charge && vc.accentStep ? a : 0.0) + gc - v.accentBoost) * (charge ? cBoostCharge : cBoostDecay);
        v.accentBoostSmooth = dsp::onePole(v.accentBoostSmooth, v.accentBoost + gc, boostSmooth);

        // Glide.
        double pitch = vc.pitchHz;
        if (!(pitch > 0.0)) pitch = 0.0;
        if (pitch > maxPitch) pitch = maxPitch;
        double cGlide = cSlide;
        if (!vc.slideFrom) {
            v.glide = pitch;
            cGlide = cJump;
        }
        v.glide += (pitch + gc - v.glide) * cGlide;

        // Oscillator.
        const double f = tuneFactor(v.tune) * v.glide;
        v.lastFrequency = f;
        const double delta = f * invFs;
        Wavetable::Level level;
        if (f == osc_.f[0]) {
            level = osc_.level[0];
        } else if (f == osc_.f[1]) {
            level = osc_.level[1];
        } else {
            level = table->level(periodIndex(delta, rc.periodScale));
            osc_.f[osc_.next] = f;
            osc_.level[osc_.next] = level;
            osc_.next ^= 1;
        }
        double o;
        if (W > 0.5) o = W * Wavetable::read(level, v.phase);
        else o = Wavetable::read(level, v.phase) * 1.3 * (1.0 - W);
        o *= oscGain;
        v.phase += delta * v.r1 * v.r2;
        if (v.phase > 1.0) {
            v.phase -= 1.0;
            if (v.phase >= 1.0) v.phase -= std::floor(v.phase);
            v.r1 = 1.0 / v.r1;
            if (v.r1 > 1.0) v.r2 = 1.0 / v.r2;
        }

        // Filter.
        const FilterInput in{o, v.cutoff * v.cutoff, v.resonance, v.envmod, R, K, v.filterEnv,
                             v.gateFollower, accent ? 1 : 0, a, v.accentCapSmooth};
        double y = filter_.step(in);
        if (untilScope == 0) [[unlikely]] {
            scope_.push(static_cast<float>(filter_.lastEnvTerm()));
            untilScope = 99;
        } else {
            --untilScope;
        }

        // Amplifier.
        double amp = v.clickLag * v.ampEnv + 2.4 * v.accentBoostSmooth;
        if (!s.vcaNoise) {
            v.ampLag = dsp::onePole(v.ampLag, amp + gAmp_.next(), 0.1);
            amp = v.ampLag;
        }
        y *= amp;
        vc.trigger = 0;

        if (s.outputClipping) {
            const double t = dsp::softClip(y * 0.5);
            v.clipDc = dsp::onePole(v.clipDc, 2.0 * t + gClip_.next(), 0.001);
            y = 2.0 * t - v.clipDc;
        }
        ++v.sampleCounter;
        out[i] = static_cast<float>(y);
    }
    flushSmoothing(target, smooth);
    flushFollower();
}

} // namespace kelo
