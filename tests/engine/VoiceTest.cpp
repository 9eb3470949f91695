// Rendered behaviour of the voice: pitch, first sample, accent, clipping, scope. (Envelope,
// glide and release times are measured at every rate with the rate tests; the per-sample
// rules are checked against the reference engine.)
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

// The output clipper bounds what a far too hot oscillator gain gives (a typo in the settings).
TEST(VoiceAmplifier, ClippingBoundsTheOutput) {
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

TEST(VoiceControlRecord, TheScopeTakesAValueEvery100SamplesAndRestartsOnARisingCrossing) {
    VoiceRig r;
    r.noteOn(110.0f);
    r.render(999);
    EXPECT_EQ(r.voice.scope().writeIndex.load(), 10);

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
