// Rendered behaviour of the voice: pitch, tuning, glide, envelopes, accent, silence.
#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/Tuning.h"

using namespace kelo;
using test::VoiceRig;

namespace {

// Frequency of a held note with an open filter, measured over pairs of cycles: the
// oscillator alternates a slightly sharp and a slightly flat cycle, so two are the period.
double measuredHz(double fs, float hz, float tune = 0.5f, float waveform = 0.0f) {
    VoiceRig r;
    r.fs = fs;
    r.p.cutoff = 1.0f;
    r.p.envmod = r.p.resonance = r.p.decay = 0.0f;
    r.p.tune = tune;
    r.p.waveform = waveform;
    r.noteOn(hz);
    const double expect = hz * std::exp2(2.0 * tune - 1.0);
    const double pair = fs / expect * (1.0015 + 1.0 / 1.0015);
    // Measure once the smoothed parameters and the filter envelope have settled.
    const size_t settle = size_t(fs * 0.6);
    const std::vector<float> x = r.render(settle + size_t(pair * 3.2) + 64);
    return 2.0 * fs / test::measurePeriod(x, settle, pair) / expect;
}

} // namespace

TEST(VoicePitch, FollowsTheTablesAndTune) {
    TuningTables t;
    t.build();
    for (double fs : {44100.0, 96000.0})
        for (int mode : {0, 1})
            for (int note = 0; note <= 83; note += 7)
                EXPECT_NEAR(measuredHz(fs, t.pitch(note, mode), 0.5f, note % 2 ? 1.0f : 0.0f), 1.0, 5e-5)
                    << "note " << note << " fs " << fs << " table " << mode;
    for (float tune : {0.0f, 1.0f}) EXPECT_NEAR(measuredHz(48000, 220.0f, tune), 1.0, 5e-5) << tune; // +-1 octave
}

// The smoothed parameters glide to a knob's new value, but an instance (or a resumed one)
// starts at the values it is given: its first note is neither an octave off nor dark.
TEST(VoicePitch, FirstSampleOfAnInstanceAndOfAResumeIsAtTheParameterValues) {
    VoiceRig r;
    r.p.tune = 1.0f;
    r.p.cutoff = 0.9f;
    r.noteOn(110.0f);
    r.render(1);
    EXPECT_NEAR(r.voice.state().lastFrequency, 220.0, 1e-3);
    EXPECT_NEAR(r.voice.state().cutoff, 0.9, 1e-6);
    r.render(2000);
    r.p.tune = 0.0f;
    r.render(1);
    EXPECT_GT(r.voice.state().lastFrequency, 200.0); // a knob move glides
    r.voice.resume();
    r.noteOn(110.0f);
    r.render(1);
    EXPECT_NEAR(r.voice.state().lastFrequency, 55.0, 1e-3);
}

TEST(VoiceGlide, SlideFollowsItsTimeConstantAndPlainNotesJump) {
    for (double fs : {44100.0, 96000.0}) {
        VoiceRig r;
        r.fs = fs;
        r.noteOn(110.0f);
        r.render(2000);
        r.vc.slideFrom = 1; // legato: gate stays on, no trigger
        r.vc.pitchHz = 220.0f;
        const long n = r.samplesUntil(long(fs), [](const VoiceState& s) { return s.glide; }, 209.0, false);
        EXPECT_NEAR(n / fs, 0.0653, 0.0653 * 0.01) << fs; // 90% of the way in one time constant
        r.vc.slideFrom = 0;
        r.noteOn(55.0f);
        r.render(1);
        EXPECT_NEAR(r.voice.state().glide, 55.0, 1e-3);
    }
}

TEST(VoiceEnvelope, DecayTimesAccentOverrideAndSinglePeak) {
    const struct {
        float decay;
        bool accent;
        double seconds;
    } cases[] = {{0.0f, false, 0.19}, {1.0f, false, 2.6}, {0.5f, false, 1.0 / (0.5 / 0.19 + 0.5 / 2.6)},
                 {0.0f, true, 0.2},   {1.0f, true, 0.2}}; // an accented note ignores Decay
    for (const auto& c : cases) {
        VoiceRig r;
        r.p.decay = c.decay;
        r.noteOn(110.0f, c.accent);
        const long n = r.samplesUntil(200000, [](const VoiceState& s) { return s.filterEnv; }, 0.1, true);
        EXPECT_NEAR(n / r.fs, c.seconds, c.seconds * 0.005) << c.decay << " " << c.accent;
    }
    VoiceRig r;
    r.s.vcaDecay = 0.5;
    r.noteOn(110.0f);
    r.render(1);
    EXPECT_EQ(r.voice.state().filterEnv, 1.0);
    EXPECT_EQ(r.voice.state().ampEnv, 1.0);
    EXPECT_EQ(r.vc.trigger, 0); // consumed by the first sample
    r.render(1); // a held gate does not sustain either envelope
    EXPECT_LT(r.voice.state().filterEnv, 1.0);
    EXPECT_LT(r.voice.state().ampEnv, 1.0);
    const long n = r.samplesUntil(100000, [](const VoiceState& s) { return s.ampEnv; }, 0.1, true);
    EXPECT_NEAR(n / r.fs, 0.5, 0.5 * 0.005); // the VcaDecay setting
}

TEST(VoiceAccent, AccentedNotesAreLouderAndChargeTheBoost) {
    double peak[2] = {};
    for (int accent : {0, 1}) {
        VoiceRig r;
        r.p.accent = 1.0f;
        r.p.resonance = 0.5f;
        r.noteOn(110.0f, accent);
        for (float v : r.render(4410)) peak[accent] = std::max(peak[accent], std::fabs(double(v)));
        if (accent) EXPECT_GT(r.voice.state().accentBoost, 0.01);
        else EXPECT_LT(std::fabs(r.voice.state().accentBoost), 1e-4);
    }
    EXPECT_GT(peak[1], peak[0] * 1.3);
}

TEST(VoiceAmplifier, ClickNoiseSwitchSetsTheAttackAndClippingBoundsTheOutput) {
    long attack[2];
    for (int noise : {0, 1}) {
        VoiceRig r;
        r.s.vcaNoise = noise;
        r.noteOn(110.0f);
        attack[noise] = r.samplesUntil(5000, [](const VoiceState& s) { return s.clickLag; }, 0.9, false);
    }
    EXPECT_NEAR(attack[1], 46, 3);  // gate lag 0.05 per sample, click lag follows it
    EXPECT_GT(attack[0], 164);      // 0.014 per sample, then a further lag
    for (int clip : {0, 1}) {
        VoiceRig r;
        r.s.outputClipping = clip;
        r.s.vcoGain = 40.0; // far into the clipper
        r.p.cutoff = 1.0f;
        r.noteOn(55.0f);
        const std::vector<float> x = r.render(22050);
        double peak = 0, mean = 0;
        for (size_t i = 11025; i < x.size(); ++i) {
            peak = std::max(peak, std::fabs(double(x[i])));
            mean += x[i] / 11025.0;
        }
        if (clip) {
            EXPECT_LT(peak, 4.1); // 2 t minus its DC, |t| <= 1
            EXPECT_LT(std::fabs(mean), 0.2);
        } else {
            EXPECT_GT(peak, 10.0);
        }
    }
}

TEST(VoiceSilence, VolumeZeroAndIdleGiveExactZerosWithoutLosingState) {
    VoiceRig gap, ref;
    for (VoiceRig* r : {&gap, &ref}) {
        r->noteOn(110.0f);
        r->render(300);
    }
    gap.p.volume = 0.0f;
    const VoiceState before = gap.voice.state();
    for (float v : gap.render(5000)) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(gap.voice.state().filterEnv, before.filterEnv); // envelopes do not advance
    EXPECT_EQ(gap.voice.state().ampEnv, before.ampEnv);
    gap.p.volume = 1.0f; // the note continues exactly where it stopped
    gap.render(50);
    ref.render(50);
    EXPECT_NEAR(gap.voice.state().filterEnv, ref.voice.state().filterEnv, 1e-12);

    for (bool sequencer : {false, true}) {
        VoiceRig r;
        r.s.activeClocks = 3000;
        if (sequencer) r.onSample = [](long) {};
        r.noteOn(110.0f);
        r.render(1000);
        r.vc.gate = 0;
        const std::vector<float> x = r.render(8000, 100);
        EXPECT_NE(x[2998], 0.0f); // the 2999th sample after gate-off is still computed
        for (size_t i = 2999; i < x.size(); ++i) ASSERT_EQ(x[i], 0.0f) << i;
        r.noteOn(110.0f);
        EXPECT_NE(r.render(200)[150], 0.0f);
    }
}

TEST(VoiceSilence, IdleSmoothingMatchesTheSampleBySampleLags) {
    // While idle, smoothing and the gate follower advance in closed form; they must end
    // where the per-sample recurrences would.
    VoiceRig r;
    r.s.activeClocks = 100;
    r.noteOn(110.0f);
    r.render(400);
    r.vc.gate = 0;
    r.render(200);
    VoiceState ref = r.voice.state();
    r.p.cutoff = 0.9f;
    r.p.tune = 0.2f;
    r.render(3000, 77);
    for (int i = 0; i < 3000; ++i) {
        ref.cutoff += (0.9 - ref.cutoff) * 0.002;
        ref.tune += (double(0.2f) - ref.tune) * 0.002;
        ref.gateFollower -= ref.gateFollower * 0.00012;
    }
    EXPECT_NEAR(r.voice.state().cutoff, ref.cutoff, 1e-7);
    EXPECT_NEAR(r.voice.state().tune, ref.tune, 1e-7);
    EXPECT_NEAR(r.voice.state().gateFollower, ref.gateFollower, 1e-7);
}

TEST(VoiceControlRecord, PhaseResetIsConsumedAndTheScopeFollowsTheEnvelope) {
    VoiceRig r;
    r.noteOn(110.0f);
    r.render(333);
    r.onSample = [&](long i) { r.vc.resetPhase = i == 0; };
    r.index = 0;
    r.render(1);
    EXPECT_EQ(r.vc.resetPhase, 0);
    const double step = r.voice.state().lastFrequency / r.fs;
    EXPECT_GT(r.voice.state().phase, step * 0.998); // one step from 0
    EXPECT_LT(r.voice.state().phase, step * 1.002);
    r.onSample = nullptr;
    r.render(666);
    EXPECT_EQ(r.voice.scope().writeIndex.load(), 10); // one value per 100 samples

    EnvelopeScope s;
    for (float v : {-1.0f, -0.5f, 0.5f}) s.push(v); // rising crossing early: restart at 0
    EXPECT_EQ(s.writeIndex.load(), 1);
    EXPECT_EQ(s.crossings.load(), 1);
    EXPECT_EQ(s.at(0), 0.5f);
    for (int i = 0; i < 600; ++i) s.push(0.1f);
    s.push(-0.2f);
    s.push(0.3f); // late in the ring: only counted
    EXPECT_EQ(s.writeIndex.load(), 603);
    EXPECT_EQ(s.crossings.load(), 2);
}

// The sample loop writes every output sample itself (no clearing pass) and keeps the scope's
// 100-sample rhythm with a countdown: both must hold whatever the block size, with notes,
// with silent stretches skipped with and without a sequencer tick, and with volume zero.
TEST(VoiceControlRecord, EverySampleWrittenAndScopeRhythmKeptAtAnyBlockSize) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    struct Run {
        std::vector<float> out;
    };
    auto play = [&](int block, bool sequenced) {
        VoiceRig r;
        r.s.activeClocks = 3000; // short release, so silent stretches are skipped
        // Note on for 2000 samples, off for 5000, twice, then a muted stretch.
        auto drive = [&r](long i) {
            const long t = i % 7000;
            r.vc.gate = t < 2000;
            r.vc.trigger = t == 0;
            r.vc.pitchHz = 82.41f;
        };
        // The scope's own record of what it should hold: the envelope term of every computed
        // sample whose running count is a multiple of 100 (computed: up to 2999 samples
        // after the gate closes, and not muted), read back one tick later.
        EnvelopeScope expected;
        auto mirror = [&r, &expected, drive](long i) {
            const long prev = i - 1;
            if (prev >= 0 && prev % 100 == 0 && prev < 14000 && prev % 7000 < 4990)
                expected.push(static_cast<float>(r.voice.filter().lastEnvTerm()));
            drive(i);
        };
        if (sequenced) r.onSample = mirror;
        Run run;
        run.out.assign(17000, kNaN);
        long i = 0;
        while (i < 17000) {
            const int len = int(std::min<long>(block, 17000 - i));
            if (!sequenced) drive(i); // note mode: the state changes only at block starts
            r.p.volume = i < 14000 ? 1.0f : 0.0f; // a snapshot value: block sizes divide 14000
            r.index = i;
            r.voice.render(run.out.data() + i, len, r.fs, r.p, r.vc, r.s, sequenced ? &VoiceRig::tick : nullptr, &r);
            i += len;
        }
        if (sequenced) {
            EXPECT_EQ(r.voice.scope().writeIndex.load(), expected.writeIndex.load()) << "block " << block;
            int differing = 0;
            for (int k = 0; k < EnvelopeScope::kSize; ++k) differing += r.voice.scope().at(k) != expected.at(k);
            EXPECT_EQ(differing, 0) << "block " << block;
        }
        return run;
    };
    for (bool sequenced : {true, false}) {
        const Run whole = play(14000, sequenced); // silence to sound inside one call
        for (int block : {1, 40, 125}) {
            const Run parts = play(block, sequenced);
            float peak = 0.0f;
            for (float x : whole.out) peak = std::max(peak, std::fabs(x));
            ASSERT_GT(peak, 0.01f);
            for (size_t k = 0; k < parts.out.size(); ++k) {
                ASSERT_FALSE(std::isnan(parts.out[k])) << "sample " << k << " block " << block << " seq " << sequenced;
                if (!sequenced) continue; // note mode sees the gate only at block starts
                ASSERT_NEAR(parts.out[k], whole.out[k], 1e-5f * peak) << "sample " << k << " block " << block;
            }
            for (size_t k = 14000; k < parts.out.size(); ++k) ASSERT_EQ(parts.out[k], 0.0f) << "muted " << k;
        }
    }
}

// A muted voice computes nothing, yet its gate follower must still track every gate change
// of the sequencer within the call, as if stepped sample by sample.
TEST(VoiceControlRecord, MutedVoiceFollowsGateChangesWithinOneCall) {
    VoiceRig r;
    r.p.volume = 0.0f;
    double ref = r.voice.state().gateFollower;
    r.onSample = [&](long i) {
        r.vc.gate = i % 800 < 300;
        const double target = r.vc.gate ? 1.0 : 0.0;
        ref += (target - ref) * (r.vc.gate ? 0.0005 : 0.00012);
    };
    r.index = 0;
    const std::vector<float> out = r.render(4100, 4100);
    EXPECT_NEAR(r.voice.state().gateFollower, ref, 1e-7);
    EXPECT_GT(ref, 0.01);                                   // it did move
    EXPECT_EQ(std::count(out.begin(), out.end(), 0.0f), 4100); // and nothing sounded
    EXPECT_EQ(r.voice.state().sampleCounter, 4100u);
}
