// Rendered behaviour of the voice: pitch, tuning, glide, envelopes, accent, silence.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestUtil.h"
#include "engine/Tuning.h"

using namespace kelo;
using test::VoiceRig;

namespace {

// A voice set up so the pitch is easy to read: open filter, no envelope sweep.
VoiceRig pitchRig(double fs, float waveform) {
    VoiceRig r;
    r.fs = fs;
    r.p.cutoff = 1.0f;
    r.p.envmod = 0.0f;
    r.p.resonance = 0.0f;
    r.p.decay = 0.0f;
    r.p.waveform = waveform;
    return r;
}

// Frequency of a held note, measured over pairs of cycles (the oscillator alternates a
// slightly sharp and a slightly flat cycle, so two cycles are the true period).
double measuredHz(VoiceRig& r, double hz) {
    const double ratio = r.s.relativeTuning;
    const double pair = r.fs / hz * (ratio + 1.0 / ratio);
    // Smoothed parameters start from 0, and the decaying filter envelope still reshapes
    // the wave: measure once both have settled.
    const size_t settle = static_cast<size_t>(r.fs * 0.6);
    const std::vector<float> x = r.render(settle + static_cast<size_t>(pair * 3.2) + 64);
    return 2.0 * r.fs / test::measurePeriod(x, settle, pair);
}

// Samples until the watched quantity, read before every sample, first drops below (or
// rises above) the threshold.
template <typename Get>
long samplesUntil(VoiceRig& r, long limit, Get get, double threshold, bool falling) {
    long hit = -1;
    r.onSample = [&](long i) {
        const double v = get(r.voice.state());
        if (hit < 0 && i > 0 && (falling ? v < threshold : v > threshold)) hit = i - 1;
    };
    r.render(static_cast<size_t>(limit));
    r.onSample = nullptr;
    return hit;
}

} // namespace

TEST(VoicePitch, FollowsTheTuningTablesAcrossTheRange) {
    TuningTables t;
    t.build();
    for (double fs : {44100.0, 96000.0}) {
        for (int mode : {0, 1}) {
            for (int note = 0; note <= 83; note += 7) {
                VoiceRig r = pitchRig(fs, note % 2 ? 1.0f : 0.0f);
                const double hz = t.pitch(note, mode);
                r.noteOn(static_cast<float>(hz));
                EXPECT_NEAR(measuredHz(r, hz) / hz, 1.0, 5e-5) << "note " << note << " fs " << fs << " mode " << mode;
            }
        }
    }
}

TEST(VoicePitch, TuneSpansOneOctaveEachWay) {
    for (float tune : {0.0f, 0.5f, 1.0f}) {
        VoiceRig r = pitchRig(48000, 0.0f);
        r.p.tune = tune;
        r.noteOn(220.0f);
        const double expect = 220.0 * std::exp2(2.0 * tune - 1.0);
        EXPECT_NEAR(measuredHz(r, expect) / expect, 1.0, 5e-5) << tune;
    }
}

TEST(VoicePitch, FoldedHighNoteKeepsItsPitchClass) {
    TuningTables t;
    t.build();
    VoiceRig r = pitchRig(44100, 0.0f);
    const int folded = foldNote(100, false);
    ASSERT_EQ(folded, 76);
    r.noteOn(t.pitch(folded, 0));
    EXPECT_NEAR(measuredHz(r, t.equal[76]) / t.equal[76], 1.0, 5e-5);
    EXPECT_EQ(foldNote(100, true), 83);
}

TEST(VoiceGlide, SlideFollowsItsTimeConstantAndPlainNotesJump) {
    for (double fs : {44100.0, 96000.0}) {
        VoiceRig r = pitchRig(fs, 0.0f);
        r.noteOn(110.0f);
        r.render(2000);
        // Legato note: the gate stays on, no trigger.
        r.vc.slideFrom = 1;
        r.vc.pitchHz = 220.0f;
        const long tenth = samplesUntil(r, static_cast<long>(fs), [](const VoiceState& s) { return s.glide; }, 209.0, false);
        EXPECT_NEAR(tenth / fs, 0.0653, 0.0653 * 0.01) << fs;
        EXPECT_NEAR(measuredHz(r, 220.0) / 220.0, 1.0, 5e-5);

        r.vc.slideFrom = 0;
        r.noteOn(55.0f);
        r.render(1);
        EXPECT_NEAR(r.voice.state().glide, 55.0, 1e-3);
    }
}

TEST(VoiceEnvelope, DecayTimesAndAccentOverride) {
    const struct {
        float decay;
        bool accent;
        double seconds;
    } cases[] = {
        {0.0f, false, 0.19},
        {1.0f, false, 2.6},
        {0.5f, false, 1.0 / (0.5 / 0.19 + 0.5 / 2.6)},
        {0.0f, true, 0.2},
        {1.0f, true, 0.2}, // an accented note ignores Decay
    };
    for (const auto& c : cases) {
        VoiceRig r;
        r.p.decay = c.decay;
        r.p.accent = 0.5f;
        r.noteOn(110.0f, c.accent);
        const long n = samplesUntil(r, 200000, [](const VoiceState& s) { return s.filterEnv; }, 0.1, true);
        EXPECT_NEAR(n / r.fs, c.seconds, c.seconds * 0.005) << c.decay << " " << c.accent;
    }
}

TEST(VoiceEnvelope, HeldNotePeaksOnItsFirstSampleOnly) {
    VoiceRig r;
    r.noteOn(110.0f);
    r.render(1);
    EXPECT_EQ(r.voice.state().filterEnv, 1.0);
    EXPECT_EQ(r.voice.state().ampEnv, 1.0);
    EXPECT_EQ(r.vc.trigger, 0); // consumed by the first sample
    r.render(1);
    EXPECT_LT(r.voice.state().filterEnv, 1.0);
    EXPECT_LT(r.voice.state().ampEnv, 1.0);
    r.render(44100); // the gate is still held: the amplitude falls to a tenth in 3.9 s
    EXPECT_NEAR(r.voice.state().ampEnv, std::pow(0.1, 1.0 / 3.8953), 2e-3);
    EXPECT_LT(r.voice.state().filterEnv, 0.01);
}

TEST(VoiceEnvelope, AmpDecaySettingIsHonoured) {
    VoiceRig r;
    r.s.vcaDecay = 0.5;
    r.noteOn(110.0f);
    const long n = samplesUntil(r, 100000, [](const VoiceState& s) { return s.ampEnv; }, 0.1, true);
    EXPECT_NEAR(n / r.fs, 0.5, 0.5 * 0.005);
}

TEST(VoiceAccent, AccentedNotesAreLouderAndChargeTheBoost) {
    auto peak = [](bool accent) {
        VoiceRig r;
        r.p.accent = 1.0f;
        r.p.resonance = 0.5f;
        r.noteOn(110.0f, accent);
        const std::vector<float> x = r.render(4410);
        double pk = 0;
        for (float v : x) pk = std::max(pk, std::fabs(double(v)));
        return std::make_pair(pk, r.voice.state().accentBoost);
    };
    const auto plain = peak(false), accented = peak(true);
    EXPECT_GT(accented.first, plain.first * 1.3);
    EXPECT_GT(accented.second, 0.01);
    EXPECT_LT(std::fabs(plain.second), 1e-4);
}

TEST(VoiceSilence, VolumeZeroGivesExactZerosAndFreezesTheEnvelopes) {
    VoiceRig gap, ref;
    for (VoiceRig* r : {&gap, &ref}) {
        r->noteOn(110.0f);
        r->render(300);
    }
    gap.p.volume = 0.0f;
    const double e = gap.voice.state().filterEnv, a = gap.voice.state().ampEnv;
    for (float v : gap.render(5000)) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(gap.voice.state().filterEnv, e);
    EXPECT_EQ(gap.voice.state().ampEnv, a);
    // Back at full volume the note continues exactly where it stopped.
    gap.p.volume = 1.0f;
    gap.render(50);
    ref.render(50);
    EXPECT_NEAR(gap.voice.state().filterEnv, ref.voice.state().filterEnv, 1e-12);
    EXPECT_NEAR(gap.voice.state().ampEnv, ref.voice.state().ampEnv, 1e-12);
}

TEST(VoiceSilence, ExactZerosAfterTheActiveSamplesUntilTheNextNote) {
    for (bool sequencerTick : {false, true}) {
        VoiceRig r;
        r.s.activeClocks = 3000;
        if (sequencerTick) r.onSample = [](long) {};
        r.noteOn(110.0f);
        r.render(1000);
        r.vc.gate = 0;
        const std::vector<float> x = r.render(8000, 100);
        EXPECT_NE(x[2998], 0.0f); // the 2999th sample after gate-off is still computed
        for (size_t i = 2999; i < x.size(); ++i) ASSERT_EQ(x[i], 0.0f) << i;
        r.noteOn(110.0f);
        const std::vector<float> y = r.render(200);
        EXPECT_NE(y[150], 0.0f);
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
    const int n = 3000;
    r.render(n, 77);
    for (int i = 0; i < n; ++i) {
        ref.cutoff += (0.9 - ref.cutoff) * 0.002;
        ref.tune += (double(0.2f) - ref.tune) * 0.002;
        ref.gateFollower += (0.0 - ref.gateFollower) * 0.00012;
    }
    EXPECT_NEAR(r.voice.state().cutoff, ref.cutoff, 1e-7);
    EXPECT_NEAR(r.voice.state().tune, ref.tune, 1e-7);
    EXPECT_NEAR(r.voice.state().gateFollower, ref.gateFollower, 1e-7);
}

TEST(VoiceControlRecord, PhaseResetRequestIsConsumed) {
    VoiceRig r;
    r.noteOn(110.0f);
    r.render(333);
    r.onSample = [&](long i) {
        if (i == 0) r.vc.resetPhase = 1;
    };
    r.render(1);
    EXPECT_EQ(r.vc.resetPhase, 0);
    const double step = r.voice.state().lastFrequency / r.fs;
    EXPECT_GT(r.voice.state().phase, step * 0.998); // one step from 0
    EXPECT_LT(r.voice.state().phase, step * 1.002);
}

TEST(VoiceScope, PushesEveryHundredthSampleAndRestartsOnRisingCrossings) {
    EnvelopeScope s;
    s.push(-1.0f);
    s.push(-0.5f);
    s.push(0.5f); // rising crossing early in the ring: drawing restarts at 0
    EXPECT_EQ(s.writeIndex, 1);
    EXPECT_EQ(s.crossings, 1);
    EXPECT_EQ(s.ring[0], 0.5f);
    for (int i = 0; i < 600; ++i) s.push(0.1f);
    s.push(-0.2f);
    s.push(0.3f); // late in the ring: only counted
    EXPECT_EQ(s.writeIndex, 603);
    EXPECT_EQ(s.crossings, 2);

    VoiceRig r;
    r.noteOn(110.0f);
    r.render(1000);
    EXPECT_EQ(r.voice.scope().writeIndex, 10);
}
