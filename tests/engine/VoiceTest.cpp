// Rendered behaviour of the voice that no recorded line pins: pitch against the tuning
// tables, the first sample of an instance and of a resume, and the scope's ring.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/Tuning.h"

using namespace kelo;
using test::VoiceRig;

namespace {

// Frequency of a held note with an open filter over pairs of cycles (the oscillator
// alternates a slightly sharp and a slightly flat cycle), relative to the expected one.
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
    const size_t settle = size_t(fs * 0.6); // the smoothing and the filter envelope
    const std::vector<float> x = r.render(settle + size_t(pair * 3.2) + 64);
    return 2.0 * fs / test::measurePeriod(x, settle, pair) / expect;
}

} // namespace

TEST(Voice, PitchFollowsTheTablesAndTune) {
    TuningTables t;
    t.build();
    for (double fs : {44100.0, 96000.0})
        for (int mode : {0, 1})
            for (int note = 0; note <= 83; note += 7)
                EXPECT_NEAR(measuredHz(fs, t.pitch(note, mode), 0.5f, note % 2 ? 1.0f : 0.0f), 1.0, 5e-5)
                    << "note " << note << " fs " << fs << " table " << mode;
    for (float tune : {0.0f, 1.0f}) EXPECT_NEAR(measuredHz(48000, 220.0f, tune), 1.0, 5e-5) << tune;
}

// The smoothed parameters glide to a knob's new value, but an instance (or a resumed one)
// starts at the values it is given: its first note is neither an octave off nor dark.
TEST(Voice, FirstSampleOfAnInstanceAndOfAResumeIsAtTheParameterValues) {
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
    EXPECT_GT(r.voice.state().lastFrequency, 200.0);
    r.voice.resume();
    r.noteOn(110.0f);
    r.render(1);
    EXPECT_NEAR(r.voice.state().lastFrequency, 55.0, 1e-3);
}

TEST(Voice, TheScopeTakesAValueEvery100SamplesAndRestartsOnAnEarlyRisingCrossing) {
    VoiceRig r;
    r.noteOn(110.0f);
    r.render(999);
    EXPECT_EQ(r.voice.scope().writeIndex.load(), 10);
    EnvelopeScope s;
    for (float v : {-1.0f, -0.5f, 0.5f}) s.push(v);
    EXPECT_EQ(s.writeIndex.load(), 1);
    EXPECT_EQ(s.crossings.load(), 1);
    EXPECT_EQ(s.at(0), 0.5f);
    for (int i = 0; i < 600; ++i) s.push(0.1f);
    s.push(-0.2f);
    s.push(0.3f); // late in the ring: only counted
    EXPECT_EQ(s.writeIndex.load(), 603);
    EXPECT_EQ(s.crossings.load(), 2);
}
