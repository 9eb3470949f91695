#include "engine/Voice.h"

#include <cmath>
#include <cstring>
#include <utility>

#include <emmintrin.h>

#include "engine/FilterTables.h"
#include "engine/Wavetables.h"

namespace kelo {
namespace {

constexpr double kLn10 = 2.30258509299405;

// Host parameter values are used as given inside 0..1; anything else (including NaN) is
// brought into range so no coefficient can go negative or non-finite.
inline double unit(float v) { return v > 0.0f ? (v < 1.0f ? double(v) : 1.0) : 0.0; }

// A tick's answer, held to what the call can take (a stray answer cannot run past the end).
inline int clampRun(int quiet, int limit) { return quiet < 0 ? 0 : (quiet > limit ? limit : quiet); }

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
    // Times zero, every finite value gives zero and anything else NaN: one test for all.
    const double probe = s.vcoGain * 0.0 + s.tm3 * 0.0 + s.tm4 * 0.0 + s.tm6 * 0.0 + s.relativeTuning * 0.0 +
                         s.smoothSpeed * 0.0 + s.vcaDecay * 0.0;
    if (probe == 0.0) [[likely]]
        return s;
    for (auto [field, fallback] : {std::pair{&s.vcoGain, def.vcoGain}, std::pair{&s.tm3, def.tm3},
                                   std::pair{&s.tm4, def.tm4}, std::pair{&s.tm6, def.tm6},
                                   std::pair{&s.relativeTuning, def.relativeTuning},
                                   std::pair{&s.smoothSpeed, def.smoothSpeed}, std::pair{&s.vcaDecay, def.vcaDecay}})
        if (!std::isfinite(*field)) *field = fallback;
    return s;
}

// The smoothed parameters' targets and the smoothing rate of one render call.
struct Smoothing {
    double target[4];
    double rate;
};
Smoothing smoothingOf(const ParamSnapshot& p, const VoiceSettings& s) {
    return {{unit(p.tune), unit(p.cutoff), unit(p.resonance), unit(p.envmod)},
            s.smoothSpeed > 0.0 && s.smoothSpeed <= 1.0 ? s.smoothSpeed : 0.002};
}

// Byte-wise equality of two objects without padding, a word at a time.
template <typename T>
bool sameBits(const T& a, const T& b) {
    static_assert(sizeof(T) % sizeof(uint64_t) == 0);
    uint64_t diff = 0;
    for (size_t k = 0; k < sizeof(T); k += sizeof(uint64_t)) {
        uint64_t x, y;
        std::memcpy(&x, reinterpret_cast<const char*>(&a) + k, sizeof x);
        std::memcpy(&y, reinterpret_cast<const char*>(&b) + k, sizeof y);
        diff |= x ^ y;
    }
    return diff == 0;
}

inline bool plusZero(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits == 0;
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
    startSmoothing_ = true;
    firIn_[0] = firIn_[1] = 0.0;
    callKnown_ = false; // the filter starts afresh: its constants are set up again
    restingKnown_ = false;
}

void Voice::resume() {
    st_.filterEnv = 0.0;
    st_.ampEnv = 0.0;
    startSmoothing_ = true;
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
    // A lag that has come to rest stays where it is: a flush with the same inputs as one
    // that moved nothing, with nothing else stepping the lags since, moves nothing again
    // (the usual case while idle).
    const bool still = restingKnown_ && k == resting_.k && pendingSmooth_ == resting_.n &&
                       target[0] == resting_.target[0] && target[1] == resting_.target[1] &&
                       target[2] == resting_.target[2] && target[3] == resting_.target[3];
    if (!still) {
        const double before[4] = {st_.tune, st_.cutoff, st_.resonance, st_.envmod};
        const double f = smoothPow_.get(1.0 - k, pendingSmooth_);
        advanceLag(st_.tune, target[0], f);
        advanceLag(st_.cutoff, target[1], f);
        advanceLag(st_.resonance, target[2], f);
        advanceLag(st_.envmod, target[3], f);
        const double after[4] = {st_.tune, st_.cutoff, st_.resonance, st_.envmod};
        restingKnown_ = std::memcmp(after, before, sizeof after) == 0;
        resting_ = {{target[0], target[1], target[2], target[3]}, k, pendingSmooth_};
    }
    if (pendingSmooth_ & 1) gSmooth_.g = -gSmooth_.g;
    pendingSmooth_ = 0;
}

void Voice::flushFollower() {
    if (pendingFollow_ == 0) return;
    const double k = pendingFollowGate_ ? rate_.followOn : rate_.followOff;
    const double f = followPow_.get(1.0 - k, pendingFollow_);
    advanceLag(st_.gateFollower, pendingFollowGate_ ? 1.0 : 0.0, f);
    if (pendingFollow_ & 1) gFollow_.g = -gFollow_.g;
    pendingFollow_ = 0;
}

// What the tick left in the control record for a run of samples (it holds still across it).
struct Voice::RunInput {
    bool gate, accent, accentStep, slideFrom, trigger;
    double pitch;
};

Voice::CallSetup Voice::setup(double fs, const ParamSnapshot& p, const VoiceSettings& s) const {
    CallSetup c{};
    const Smoothing sm = smoothingOf(p, s);
    for (int k = 0; k < 4; ++k) c.target[k] = sm.target[k];
    c.rc = RateClass::of(fs);
    const double ratio = c.rc.ratio;
    c.smooth = rSmooth_(sm.rate, ratio);
    const double R = c.target[2];
    c.R = R;
    c.K = unit(p.accent);
    c.W = unit(p.waveform);
    const double D = unit(p.decay);
    const double ampDecay = s.vcaDecay > 0.0 ? s.vcaDecay : 3.8953;
    const double ampRate = dsp::decayCoeff(fs, ampDecay);
    const double rho = R >= 0.5 ? std::sqrt(2.0 * (R - 0.5)) : 0.0;
    const double accentCharge = kLn10 / ((rho * 0.063 + (1.0 - rho) * 0.00052) * fs);
    const double boostCharge = kLn10 / ((rho * 0.003 + (1.0 - rho) * 0.00092) * fs);
    const double gateAttack = s.vcaNoise ? 0.05 : 0.014;
    const double decayPlain = (1.0 - D) * dsp::decayCoeff(fs, kDecayMin) + D * dsp::decayCoeff(fs, kDecayMax);
    c.alpha = c.K * c.K * 0.92;
    c.capDecayMix = (1.0 - R) * 0.01 + R * 0.0002;
    c.boostSmooth = rBoostSmooth_((1.0 - R) * 0.05 + R * 0.01, ratio);
    c.oscGain = s.vcoGain;
    c.maxPitch = 0.5 * fs;
    c.invFs = 1.0 / fs;
    // The collapsed RK4 coefficients of every lag whose rate is fixed for the call.
    c.cAttack = rAttack_(dsp::rk4Coeff(gateAttack), ratio);
    c.cRelease = rRelease_(dsp::rk4Coeff(0.02), ratio);
    c.cDecayPlain = dsp::rk4Coeff(decayPlain);
    c.cDecayAccent = dsp::rk4Coeff(dsp::decayCoeff(fs, kDecayAccent));
    c.cAmp = dsp::rk4Coeff(ampRate);
    c.cCapDecay = rCapDecay_(dsp::rk4Coeff(c.capDecayMix), ratio);
    c.cCapCharge = dsp::rk4Coeff(accentCharge);
    c.cCapSmooth = rCapSmooth_(dsp::rk4Coeff(0.07), ratio);
    c.cBoostCharge = dsp::rk4Coeff(boostCharge);
    c.cBoostDecay = rBoostDecay_(dsp::rk4Coeff(0.0006), ratio);
    c.cSlide = dsp::rk4Coeff(dsp::decayCoeff(fs, kSlideTime));
    c.cJump = dsp::rk4Coeff(1.0);
    c.cFollowOn = rate_.followOn;
    c.cFollowOff = rate_.followOff;
    c.cClick = rClick_(0.01, ratio);
    c.cCarry = rCarry_(0.0007, ratio);
    c.cAmpLag = rAmpLag_(0.1, ratio);
    c.cClip = rClip_(0.001, ratio);
    const double every = 100.0 / ratio + 0.5;
    c.scopeEvery = every < 1.0 ? 1 : (every > 1e6 ? 1000000 : static_cast<int>(every));
    c.square = c.W > 0.5;
    c.table = c.square ? square_ : saw_;
    c.vcaNoise = s.vcaNoise != 0;
    c.clipping = s.outputClipping != 0;
    return c;
}

#if defined(__GNUC__)
[[gnu::always_inline]] // in the sample loop, a call would spill every held value around it
#endif
inline Wavetable::Level Voice::oscillatorLevel(double f, double delta, const RateClass& rc) {
    if (f == osc_.f[0]) return osc_.level[0];
    if (f == osc_.f[1]) return osc_.level[1];
    const Wavetable::Level level = osc_.table->level(periodIndex(delta, rc.periodScale));
    osc_.f[osc_.next] = f;
    osc_.level[osc_.next] = level;
    osc_.next ^= 1;
    return level;
}

#if defined(__GNUC__)
#define KELO_LAMBDA_INLINE __attribute__((always_inline))
#else
#define KELO_LAMBDA_INLINE
#endif

// A run of computed samples with the control record holding still. The state lives in
// locals for the run. Every lag's guard alternates sign each sample, so samples go in pairs
// with the signs fixed in each half. Two things usually hold still as well and are then
// worked out once per run for each half of the pair: the smoothed parameters once settled
// into their two-value cycle (Settled), and with them the oscillator frequency when the
// pitch is not gliding (Steady). Plain runs have the default settings (filter mode 1, click
// noise on, no clipping) built in rather than tested sample by sample. An accented run holds
// the gate follower at 0, which fixes the envelope term's quotient, and only an accented
// run can charge the accent capacitor (Accent). Rate tells the filter whether the run is
// at 44.1 kHz (see Filter::Rate).
template <bool Settled, bool Steady, bool Plain, bool Accent, Filter::Rate Rate>
void Voice::computeRun(float* out, int count, const CallSetup& cs, const RunInput& in) {
    VoiceState& v = st_;
    const bool gate = in.gate;
    constexpr bool accent = Accent;
    const double gateV = gate ? 1.0 : 0.0;
    const double followK = gate ? cs.cFollowOn : cs.cFollowOff;
    const double cGateLag = gate ? cs.cAttack : cs.cRelease;
    const double cDecay = accent ? cs.cDecayAccent : cs.cDecayPlain;
    const double cGlide = in.slideFrom ? cs.cSlide : cs.cJump;
    const bool accentStep = in.accentStep;
    double pitch = in.pitch;
    if (!(pitch > 0.0)) pitch = 0.0;
    if (pitch > cs.maxPitch) pitch = cs.maxPitch;
    const double R = cs.R, K = cs.K, alpha = cs.alpha;
    const double accentQuotient = Filter::envQuotient(0.0, K);
    const bool lags = !Plain && !cs.vcaNoise, clipping = !Plain && cs.clipping, square = cs.square;
    const double W = cs.W, oscGain = cs.oscGain, invFs = cs.invFs;
    const Filter::ControlParts* fixedParts[2] = {nullptr, nullptr};
    double fixedTune[2] = {0, 0}, fixedCut[2] = {0, 0}, fixedRes[2] = {0, 0}, fixedMod[2] = {0, 0};
    double fixedFactor[2] = {1, 1}, fixedF[2] = {0, 0}, fixedDelta[2] = {0, 0}, fixedGlide[2] = {0, 0};
    Wavetable::Level fixedLevel[2];

    // Guards of this run's first sample.
    const double gSm = gSmooth_.g, gFo = gFollow_.g, gCo = gCore_.g, gAm = gAmp_.g, gCl = gClip_.g;
    double gEn = gEnvs_.g;
    const FilterGuards gFi = filter_.guards();

    double tune = v.tune, cutoff = v.cutoff, res = v.resonance, envmod = v.envmod;
    double follower = v.gateFollower, gateLag = v.gateLag, clickLag = v.clickLag;
    double fEnv = v.filterEnv, aEnv = v.ampEnv;
    double cap = v.accentCap, capSmooth = v.accentCapSmooth, boost = v.accentBoost, boostSmooth = v.accentBoostSmooth;
    double ampLag = v.ampLag, glide = v.glide, phase = v.phase, r1 = v.r1, r2 = v.r2, clipDc = v.clipDc;
    double lastF = v.lastFrequency;
    double carry = v.accentCarry; // a float value, held widened so no use converts it again
    Filter::Hot fh = filter_.hot();
    const int scopeEvery = cs.scopeEvery;
    int untilScope = static_cast<int>(v.sampleCounter % static_cast<uint64_t>(scopeEvery));
    untilScope = untilScope == 0 ? 0 : scopeEvery - untilScope;

    bool setEnvelopes = false;
    if (in.trigger) {
        v.sinceTrigger = 0;
        carry = static_cast<float>(kAccentCarryFactor * cap);
        // The envelopes restart at the trigger sample instead of stepping: their guard then
        // steps one sample later than the others.
        if (gate) {
            setEnvelopes = true;
            gEn = -gEn;
        }
    }

    if constexpr (Settled) {
        // Sample k of the run sees the lags' value after k + 1 steps: the cycle's first
        // value on even k, the second on odd k.
        for (int h = 0; h < 2; ++h) {
            const double g = h == 0 ? gSm : -gSm;
            tune = dsp::onePole(tune, cs.target[0] + g, cs.smooth);
            cutoff = dsp::onePole(cutoff, cs.target[1] + g, cs.smooth);
            res = dsp::onePole(res, cs.target[2] + g, cs.smooth);
            envmod = dsp::onePole(envmod, cs.target[3] + g, cs.smooth);
            fixedTune[h] = tune;
            fixedCut[h] = cutoff;
            fixedRes[h] = res;
            fixedMod[h] = envmod;
            fixedFactor[h] = tuneFactor(tune);
        }
        fixedParts[0] = &filter_.controlParts(fixedRes[0], fixedCut[0] * fixedCut[0], fixedMod[0]);
        fixedParts[1] = &filter_.controlParts(fixedRes[1], fixedCut[1] * fixedCut[1], fixedMod[1]);
        if constexpr (Steady) {
            for (int h = 0; h < 2; ++h) {
                const double g = h == 0 ? gCo : -gCo;
                if (!in.slideFrom) glide = pitch;
                glide += (pitch + g - glide) * cGlide;
                fixedGlide[h] = glide;
                fixedF[h] = fixedFactor[h] * glide;
                fixedDelta[h] = fixedF[h] * invFs;
                fixedLevel[h] = oscillatorLevel(fixedF[h], fixedDelta[h], cs.rc);
            }
        }
    }
    // A gliding pitch with settled smoothing: each sample's oscillator frequency, increment
    // and table level are worked out one sample ahead (the glide's target holds still), so
    // the level lookup's quotient is off the path to the filter.
    double aheadGlide = glide, aheadF = 0.0, aheadDelta = 0.0;
    Wavetable::Level aheadLevel;
    auto glideAhead = [&](int h) KELO_LAMBDA_INLINE {
        const double g = h == 0 ? gCo : -gCo;
        if (!in.slideFrom) aheadGlide = pitch;
        aheadGlide += (pitch + g - aheadGlide) * cGlide;
        aheadF = fixedFactor[h] * aheadGlide;
        aheadDelta = aheadF * invFs;
        aheadLevel = oscillatorLevel(aheadF, aheadDelta, cs.rc);
    };
    if constexpr (Settled && !Steady) glideAhead(0);

    // A sample in three parts. Its lags (and oscillator) come first, run a sample ahead of
    // the filter's control path, which runs a sample ahead of the filter's chains: each part
    // is issued while the chains still work on the samples before, so the chains, which
    // carry from sample to sample, never wait on the parts they do not depend on.
    struct Lagged {
        double x, o, amp, r;
        const Filter::ControlParts* parts;
    };
    struct Front {
        Filter::Drive drive;
        double amp;
    };
    // The lags, the oscillator and the control value. H is the sample's half of the pair
    // (the guards' sign), Set restarts the envelopes.
    auto lagged = [&]<int H, bool Set>() KELO_LAMBDA_INLINE -> Lagged {
        constexpr double sg = H == 0 ? 1.0 : -1.0;
        const double gc = sg * gCo;
        const Filter::ControlParts* parts;
        double factor;
        if constexpr (Settled) {
            tune = fixedTune[H];
            cutoff = fixedCut[H];
            res = fixedRes[H];
            envmod = fixedMod[H];
            parts = fixedParts[H];
            factor = fixedFactor[H];
        } else {
            const double g = sg * gSm;
            tune = dsp::onePole(tune, cs.target[0] + g, cs.smooth);
            cutoff = dsp::onePole(cutoff, cs.target[1] + g, cs.smooth);
            res = dsp::onePole(res, cs.target[2] + g, cs.smooth);
            envmod = dsp::onePole(envmod, cs.target[3] + g, cs.smooth);
            parts = &filter_.controlParts(res, cutoff * cutoff, envmod);
            factor = tuneFactor(tune);
        }
        // An accented note holds the follower at 0; its guard steps all the same.
        if constexpr (Accent) follower = 0.0;
        else follower = dsp::onePole(follower, gateV + sg * gFo, followK);

        gateLag += (gateV + gc - gateLag) * cGateLag;
        if (lags) clickLag = dsp::onePole(clickLag, gateLag + gc, cs.cClick);
        else clickLag = gateLag + gc;

        if constexpr (Set) {
            fEnv = 1.0;
            aEnv = 1.0;
        } else {
            const double ge = sg * gEn;
            fEnv += (ge - fEnv) * cDecay;
            aEnv += (ge - aEnv) * cs.cAmp;
        }

        // Accent.
        const double a = carry * alpha + alpha * fEnv;
        carry = static_cast<float>(carry - carry * cs.cCarry);
        if (std::fabs(carry) < 1e-30f) carry = 0.0; // decays forever: stop before denormals
        // Charge or decay, chosen by selects: near the top of its charge the choice flips
        // from sample to sample, which as a branch would mispredict. (0 + guard is exact.)
        const bool discharge = !accent || a <= cap;
        cap += ((discharge ? 0.0 : a) + gc - cap) * (discharge ? cs.cCapDecay : cs.cCapCharge);
        capSmooth += (cap + gc - capSmooth) * cs.cCapSmooth;
        const bool charge = boost <= gateV * aEnv;
        boost += ((charge && accentStep ? a : 0.0) + gc - boost) * (charge ? cs.cBoostCharge : cs.cBoostDecay);
        boostSmooth = dsp::onePole(boostSmooth, boost + gc, cs.boostSmooth);

        // Glide and oscillator.
        double f, delta;
        Wavetable::Level level;
        if constexpr (Steady) {
            glide = fixedGlide[H];
            f = fixedF[H];
            delta = fixedDelta[H];
            level = fixedLevel[H];
        } else if constexpr (Settled) {
            glide = aheadGlide;
            f = aheadF;
            delta = aheadDelta;
            level = aheadLevel;
            glideAhead(1 - H);
        } else {
            if (!in.slideFrom) glide = pitch;
            glide += (pitch + gc - glide) * cGlide;
            f = factor * glide;
            delta = f * invFs;
            level = oscillatorLevel(f, delta, cs.rc);
        }
        lastF = f;
        double o;
        if (square) o = W * Wavetable::read(level, phase);
        else o = Wavetable::read(level, phase) * 1.3 * (1.0 - W);
        o *= oscGain;
        phase += delta * r1 * r2;
        if (phase > 1.0) [[unlikely]] {
            phase -= 1.0;
            if (phase >= 1.0) phase -= std::floor(phase);
            r1 = 1.0 / r1;
            if (r1 > 1.0) r2 = 1.0 / r2;
        }

        // Filter control value.
        const FilterInput fin{o, cutoff * cutoff, res, envmod, R, K, fEnv, follower, accent ? 1 : 0, a, capSmooth};
        const double quotient = Accent ? accentQuotient : Filter::envQuotient(follower, K);
        fh.lastEnvTerm = fEnv - quotient - 0.05;
        if (untilScope == 0) [[unlikely]] {
            scope_.push(static_cast<float>(fh.lastEnvTerm));
            untilScope = scopeEvery - 1;
        } else {
            --untilScope;
        }
        return Lagged{filter_.controlValue(*parts, fin, fh.lastEnvTerm), o, clickLag * aEnv + 2.4 * boostSmooth, res, parts};
    };
    // The filter's control path from the control value.
    auto front = [&]<int H>(const Lagged& l) KELO_LAMBDA_INLINE -> Front {
        constexpr double sg = H == 0 ? 1.0 : -1.0;
        const FilterGuards fg{sg * gFi.s, sg * gFi.t, sg * gFi.ctl, sg * gFi.level};
        return Front{filter_.driveFrom<Plain, Rate>(fh, *l.parts, l.x, l.o, l.r, fg), l.amp};
    };
    // The back half: the filter's chains (which carry from sample to sample), amplifier,
    // clipping.
    auto back = [&]<int H>(const Front& fr, int i) KELO_LAMBDA_INLINE {
        constexpr double sg = H == 0 ? 1.0 : -1.0;
        double y = filter_.chain<Plain, Rate>(fh, fr.drive);
        double amp = fr.amp;
        if (lags) {
            ampLag = dsp::onePole(ampLag, amp + sg * gAm, cs.cAmpLag);
            amp = ampLag;
        }
        y *= amp;
        if (clipping) {
            const double t = dsp::softClip(y * 0.5);
            clipDc = dsp::onePole(clipDc, 2.0 * t + sg * gCl, cs.cClip);
            y = 2.0 * t - clipDc;
        }
        out[i] = static_cast<float>(y);
    };

    // Software-pipelined as said above; the order is the same for every pair.
    int i = 0;
    Lagged l = setEnvelopes ? lagged.template operator()<0, true>() : lagged.template operator()<0, false>();
    Front cur = front.template operator()<0>(l);
    if (count == 1) {
        back.template operator()<0>(cur, 0);
    } else {
        l = lagged.template operator()<1, false>();
        for (; i + 3 < count; i += 2) {
            const Front odd = front.template operator()<1>(l);
            l = lagged.template operator()<0, false>();
            back.template operator()<0>(cur, i);
            cur = front.template operator()<0>(l);
            l = lagged.template operator()<1, false>();
            back.template operator()<1>(odd, i + 1);
        }
        // Two or three samples left: cur is sample i's, l sample i + 1's.
        const Front odd = front.template operator()<1>(l);
        if (i + 2 < count) {
            l = lagged.template operator()<0, false>();
            back.template operator()<0>(cur, i);
            cur = front.template operator()<0>(l);
            back.template operator()<1>(odd, i + 1);
            back.template operator()<0>(cur, i + 2);
        } else {
            back.template operator()<0>(cur, i);
            back.template operator()<1>(odd, i + 1);
        }
    }

    // Back to the stored state; guards that stepped an odd number of times change sign.
    const bool odd = count & 1;
    const double flip = odd ? -1.0 : 1.0;
    if constexpr (Settled) {
        const int h = odd ? 0 : 1; // the last sample's half
        tune = fixedTune[h];
        cutoff = fixedCut[h];
        res = fixedRes[h];
        envmod = fixedMod[h];
        if constexpr (Steady) glide = fixedGlide[h];
    }
    v.tune = tune;
    v.cutoff = cutoff;
    v.resonance = res;
    v.envmod = envmod;
    restingKnown_ = false;
    v.gateFollower = follower;
    v.gateLag = gateLag;
    v.clickLag = clickLag;
    v.filterEnv = fEnv;
    v.ampEnv = aEnv;
    v.accentCarry = static_cast<float>(carry);
    v.accentCap = cap;
    v.accentCapSmooth = capSmooth;
    v.accentBoost = boost;
    v.accentBoostSmooth = boostSmooth;
    v.ampLag = ampLag;
    v.glide = glide;
    v.phase = phase;
    v.r1 = r1;
    v.r2 = r2;
    v.clipDc = clipDc;
    v.lastFrequency = lastF;
    v.sinceTrigger += count;
    v.sampleCounter += static_cast<uint64_t>(count);
    filter_.hot() = fh;
    gSmooth_.g = gSm * flip;
    gFollow_.g = gFo * flip;
    gCore_.g = gCo * flip;
    gEnvs_.g = gEn * flip;
    if (lags) gAmp_.g = gAm * flip;
    if (clipping) gClip_.g = gCl * flip;
    filter_.setGuards({filter_.stepsChain1() ? gFi.s * flip : gFi.s, filter_.stepsChain2() ? gFi.t * flip : gFi.t,
                       filter_.stepsControlLags() ? gFi.ctl * flip : gFi.ctl, gFi.level * flip});
}

// Two steps of each smoothing lag from its state; the run can use the fixed form when
// they come back to it exactly (and the glide likewise for the oscillator).
bool Voice::smoothingSettled(const CallSetup& cs) const {
    const double y[4] = {st_.tune, st_.cutoff, st_.resonance, st_.envmod};
    const double g = gSmooth_.g;
    for (int k = 0; k < 4; ++k) {
        const double a = dsp::onePole(y[k], cs.target[k] + g, cs.smooth);
        if (dsp::onePole(a, cs.target[k] - g, cs.smooth) != y[k]) return false;
    }
    return true;
}

bool Voice::glideSteady(const CallSetup& cs, const RunInput& in) const {
    if (!in.slideFrom) return true; // jumps to the pitch every sample: two values from the start
    double pitch = in.pitch;
    if (!(pitch > 0.0)) pitch = 0.0;
    if (pitch > cs.maxPitch) pitch = cs.maxPitch;
    const double g = gCore_.g;
    double p = st_.glide;
    p += (pitch + g - p) * cs.cSlide;
    p += (pitch - g - p) * cs.cSlide;
    return p == st_.glide;
}

void Voice::dispatchRun(float* out, int count, const CallSetup& cs, const RunInput& in) {
    const bool settled = smoothingSettled(cs), steady = settled && glideSteady(cs, in);
    const bool plain = filter_.plain() && cs.vcaNoise && !cs.clipping;
    using Rate = Filter::Rate;
    auto run = [&]<bool Plain, bool Accent, Rate R>() {
        if (steady) computeRun<true, true, Plain, Accent, R>(out, count, cs, in);
        else if (settled) computeRun<true, false, Plain, Accent, R>(out, count, cs, in);
        else computeRun<false, false, Plain, Accent, R>(out, count, cs, in);
    };
    // The default structure is what nearly every run has: it gets its rate built in too.
    if (plain) {
        if (filter_.at44()) {
            if (in.accent) run.template operator()<true, true, Rate::At44>();
            else run.template operator()<true, false, Rate::At44>();
        } else {
            if (in.accent) run.template operator()<true, true, Rate::Away>();
            else run.template operator()<true, false, Rate::Away>();
        }
    } else {
        if (in.accent) run.template operator()<false, true, Rate::Any>();
        else run.template operator()<false, false, Rate::Any>();
    }
}

// The per-call constants, worked out again only when something they depend on changed:
// from one block to the next, usually nothing has.
void Voice::prepareCall(double fs, const ParamSnapshot& p, const VoiceSettings& s) {
    const CallKey key{fs,         s.smoothSpeed, s.vcaDecay,   s.vcoGain,     s.tm3,          s.tm4,
                      s.tm6,      p.tune,        p.cutoff,     p.resonance,   p.envmod,       p.decay,
                      p.accent,   p.waveform,    s.vcaNoise,   s.outputClipping, s.envmodKnob, s.filterMode,
                      s.vcaLeveling};
    // Compared as bits: the same bits always give the same constants.
    if (callKnown_ && sameBits(key, callKey_)) return;
    callKey_ = key;
    callKnown_ = true;
    call_ = setup(fs, p, s);
    const CallSetup& cs = call_;
    filter_.prepare(s, cs.rc);
    if (cs.table != osc_.table || cs.invFs != osc_.invFs || cs.rc.periodScale != osc_.scale) {
        osc_ = OscillatorCache{};
        osc_.table = cs.table;
        osc_.invFs = cs.invFs;
        osc_.scale = cs.rc.periodScale;
    }
}

// Away from 44.1 kHz, the three-tap filter over the call's output, in place. It runs from
// the end backwards, so every sample is read as it came from the voice before the filter
// overwrites it; two samples at a time, each lane exactly as a lone sample.
void Voice::restoreHighs(float* out, int n) {
    const double b = rate_.firBeta, a = 1.0 + 2.0 * b;
    const double lastIn = out[n - 1], beforeIn = n >= 2 ? double(out[n - 2]) : firIn_[0];
    const __m128d va = _mm_set1_pd(a), vb = _mm_set1_pd(b);
    // Two floats through the unaligned 64-bit load: float data is only 4-byte aligned.
    auto load2 = [](const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    };
    int i = n - 1;
    for (; i >= 3; i -= 2) {
        const float* p = out + i - 1;
        const __m128d y = _mm_sub_pd(_mm_mul_pd(va, load2(p - 1)), _mm_mul_pd(vb, _mm_add_pd(load2(p), load2(p - 2))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i - 1), _mm_castps_si128(_mm_cvtpd_ps(y)));
    }
    for (; i >= 0; --i) {
        const double x = out[i];
        const double x1 = i >= 1 ? double(out[i - 1]) : firIn_[0];
        const double x2 = i >= 2 ? double(out[i - 2]) : (i == 1 ? firIn_[0] : firIn_[1]);
        out[i] = static_cast<float>(a * x1 - b * (x + x2));
    }
    firIn_[0] = lastIn;
    firIn_[1] = beforeIn;
}

// The filter over a call the voice computed nothing of: only its first two samples carry
// what the filter still holds (and nothing when it holds only zeros).
void Voice::firOverZeros(float* out, int count) {
    if (plusZero(firIn_[0]) && plusZero(firIn_[1])) return;
    const double b = rate_.firBeta, a = 1.0 + 2.0 * b;
    double x1 = firIn_[0], x2 = firIn_[1];
    for (int j = 0; j < count && j < 2; ++j) {
        out[j] = static_cast<float>(a * x1 - b * (0.0 + x2));
        x2 = x1;
        x1 = 0.0;
    }
    firIn_[0] = x1;
    firIn_[1] = x2;
}

// Samples the voice does not compute (silent, or past the active samples after the gate
// closed): zeros out, and the smoothing and follower steps owed until the next computed one.
inline void Voice::skipSamples(float* out, int count, bool gate) {
    for (int j = 0; j < count; ++j) out[j] = 0.0f;
    if (pendingFollow_ > 0 && pendingFollowGate_ != gate) {
        // The follower's target changed: settle what is owed towards the old one first.
        // (flushFollower uses pendingFollowGate_.)
        flushFollower();
    }
    pendingFollowGate_ = gate;
    pendingFollow_ += count;
    pendingSmooth_ += count;
    st_.sampleCounter += static_cast<uint64_t>(count);
}

void Voice::setRate(double fs, const VoiceSettings& s) {
    RateSetup& r = rate_;
    r.fs = fs;
    r.activeClocks = s.activeClocks;
    r.filterMode = s.filterMode;
    r.ratio = 44100.0 / fs;
    r.at44 = r.ratio == 1.0;
    r.followOn = dsp::atRate(0.0005, r.ratio);
    r.followOff = dsp::atRate(0.00012, r.ratio);
    // The active samples are counted at 44.1 kHz: the same time at every rate.
    r.active = r.at44 ? s.activeClocks : std::llround(s.activeClocks / r.ratio);
    // The four stages' rolloff above their corner differs from the one at 44.1 kHz by about
    // (x / sin x)^N per stage with x = pi f / 44100, against (x' / sin x')^N with x' = pi f / fs
    // at this rate (N the stages between the input and the output the mode takes). A
    // symmetric three-tap filter on the output, 1 + 4 beta sin^2(w / 2), matches that to
    // second order; it delays by one sample, the same for every sound.
    const double stages = s.filterMode == 0 ? 4.0 : (s.filterMode == 1 || s.filterMode == 2 ? 3.0 : 0.0);
    const double q = fs / 44100.0;
    r.firBeta = r.at44 ? 0.0 : stages / 24.0 * (q * q - 1.0);
}

void Voice::render(float* out, int n, double fs, const ParamSnapshot& p, VoiceControl& vc,
                   const VoiceSettings& settings, VoiceTick tick, void* tickCtx) {
    if (n <= 0) return;
    if (!(fs >= kMinRate && fs <= 1.0e6)) {
        for (int i = 0; i < n; ++i) out[i] = 0.0f;
        // No usable rate: keep the sequencer's clock running but produce silence.
        if (tick)
            for (int i = 0; i < n;) i += 1 + clampRun(tick(tickCtx, n - 1 - i), n - 1 - i);
        return;
    }
    VoiceState& v = st_;
    const bool silent = !(p.volume > 0.0f); // exact zero, negative or NaN volume
    const VoiceSettings s = usable(settings);
    // At 44.1 kHz the active samples are the setting itself and there is no output filter:
    // only the rate is looked at there.
    if (fs != rate_.fs) [[unlikely]]
        setRate(fs, s);
    const double ratio = rate_.ratio;
    int64_t active = s.activeClocks;
    if (!rate_.at44) {
        if (s.activeClocks != rate_.activeClocks || s.filterMode != rate_.filterMode) setRate(fs, s);
        active = rate_.active;
    }
    if (startSmoothing_) {
        startSmoothing_ = false;
        const Smoothing sm = smoothingOf(p, s);
        v.tune = sm.target[0];
        v.cutoff = sm.target[1];
        v.resonance = sm.target[2];
        v.envmod = sm.target[3];
        pendingSmooth_ = 0;
        restingKnown_ = false;
    }
    bool ready = false; // per-call constants are set up at the first computed sample (if any)
    const CallSetup& cs = call_;
    const double rt = s.relativeTuning;
    if (rt != appliedRelativeTuning_) {
        appliedRelativeTuning_ = rt;
        v.r1 = rt > 0.5 && rt < 2.0 ? rt : 1.0; // a ratio far from 1 is no detune
        v.r2 = 1.0;
    }

    for (int i = 0; i < n;) {
        const int limit = n - 1 - i;
        const int quiet = tick ? clampRun(tick(tickCtx, limit), limit) : limit;
        const int len = quiet + 1;
        if (vc.resetPhase) {
            v.phase = 0.0;
            vc.resetPhase = 0;
        }
        const bool gate = vc.gate != 0;
        // With the gate closed the active-samples count runs on: the run's first samples
        // are computed while it stays below `active`.
        int computed;
        if (silent) computed = 0;
        else if (gate) computed = len;
        else {
            const int64_t left = active - 1 - v.sinceGateOff;
            computed = left <= 0 ? 0 : (left < len ? static_cast<int>(left) : len);
        }
        if (gate) v.sinceGateOff = 0;
        else v.sinceGateOff += len;

        if (computed > 0) {
            if (!ready) {
                ready = true;
                prepareCall(fs, p, s);
            }
            flushSmoothing(cs.target, cs.smooth);
            flushFollower();
            const RunInput in{gate, vc.accent != 0, vc.accentStep != 0, vc.slideFrom != 0, vc.trigger != 0,
                              static_cast<double>(vc.pitchHz)};
            dispatchRun(out + i, computed, cs, in);
            vc.trigger = 0;
        }
        if (computed < len) skipSamples(out + i + computed, len - computed, gate);
        i += len;
    }
    if (pendingSmooth_ || pendingFollow_) {
        const Smoothing sm = smoothingOf(p, s);
        flushSmoothing(sm.target, rSmooth_(sm.rate, ratio));
        flushFollower();
    }
    if (!rate_.at44) {
        if (ready) restoreHighs(out, n);
        else firOverZeros(out, n);
    }
}

} // namespace kelo
