// Rendered behaviour of the voice that no recorded line pins: the first sample of an
// instance and of a resume, the clipper's bound, and the scope's ring.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"

using namespace kelo;
using test::VoiceRig;

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

// An instance initialised again (at a new rate, say) renders as a fresh one.
TEST(Voice, InitialisedAgainItRendersAsAFreshVoice) {
    VoiceRig used, fresh;
    used.p.resonance = fresh.p.resonance = 1.0f;
    for (int note = 0; note < 2; ++note) {
        used.noteOn(55.0f, true);
        used.render(3000);
        used.vc.gate = 0;
        used.render(3000);
    }
    ASSERT_GT(used.voice.scope().crossings.load(), 0);
    used.voice.init(44100.0);
    used.noteOn(110.0f);
    fresh.noteOn(110.0f);
    EXPECT_EQ(used.render(2000), fresh.render(2000));
    EXPECT_EQ(used.voice.scope().crossings.load(), fresh.voice.scope().crossings.load());
}

// The output clipper bounds what a far too hot oscillator gain gives (a typo in the settings).
TEST(Voice, ClippingBoundsTheOutput) {
    for (int clip : {0, 1}) {
        VoiceRig r;
        r.s.outputClipping = clip;
        r.s.vcoGain = 40.0;
        r.p.cutoff = 1.0f;
        r.noteOn(55.0f);
        const std::vector<float> x = r.render(22050);
        double peak = 0, mean = 0;
        for (size_t i = 11025; i < x.size(); ++i) {
            peak = std::max(peak, std::fabs(double(x[i])));
            mean += x[i] / 11025.0;
        }
        // Clipped, the output is 2 t less its DC, with |t| <= 1.
        EXPECT_TRUE(clip ? peak < 4.1 && std::fabs(mean) < 0.2 : peak > 10.0) << peak << " " << mean;
    }
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
