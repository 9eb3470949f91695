// No NaN, infinity or denormal anywhere in the engine over every extreme setting.
#include <gtest/gtest.h>

#include <string>

#include "EngineTestUtil.h"
#include "engine/OutputStage.h"

using namespace kelo;

namespace {

bool clean(double v) { return std::isfinite(v) && std::fpclassify(v) != FP_SUBNORMAL; }

std::string badState(const Voice& v) {
    const VoiceState& s = v.state();
    const Filter& f = v.filter();
    const double vals[] = {s.tune, s.cutoff, s.resonance, s.envmod, s.gateFollower, s.filterEnv, s.ampEnv,
                           s.accentCarry, s.accentCap, s.accentCapSmooth, s.accentBoost, s.accentBoostSmooth,
                           s.gateLag, s.clickLag, s.ampLag, s.glide, s.phase, s.r1, s.r2, s.clipDc,
                           f.outputLevel(), f.lastControl(), f.lastRate()};
    for (size_t i = 0; i < std::size(vals); ++i)
        if (!clean(vals[i])) return "voice state " + std::to_string(i);
    for (int i = 0; i < 4; ++i)
        if (!clean(f.chain1()[i]) || !clean(f.chain2()[i])) return "stage " + std::to_string(i);
    for (int i = 0; i < EnvelopeScope::kSize; ++i)
        if (!clean(v.scope().at(i))) return "scope";
    return {};
}

} // namespace

TEST(Hygiene, EveryExtremeStaysFiniteAndNormal) {
    // Tune, Cutoff, Resonance, Envmod, Decay, Accent, Drive, Distortion, Volume, Waveform, Highpass.
    const float sets[4][11] = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                               {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                               {1, 0, 1, 0, 1, 0, 1, 0.001f, 1, 0, 1},
                               {0, 1, 0, 1, 0, 1, 0, 1, 0.001f, 1, 0}};
    for (double fs : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0})
        for (int set = 0; set < 4; ++set)
            for (int mode = 0; mode < 4; ++mode)
                for (int flags = 0; flags < 8; ++flags) {
                    test::VoiceRig r;
                    r.s.filterMode = mode;
                    r.s.outputClipping = flags & 1;
                    r.s.vcaNoise = (flags & 2) ? 0 : 1;
                    r.s.vcaLeveling = flags == 3;
                    r.s.envmodKnob = flags != 1;
                    r.s.activeClocks = 1500; // one step: the release also reaches the idle state
                    ParamSnapshot& p = r.p;
                    float* fields[] = {&p.tune, &p.cutoff, &p.resonance, &p.envmod, &p.decay, &p.accent,
                                       &p.drive, &p.distortion, &p.volume, &p.waveform, &p.highpass};
                    for (size_t k = 0; k < std::size(fields); ++k) *fields[k] = sets[set][k];
                    OutputStage os;
                    os.configure(p.drive, p.distortion, 0.064, flags >> 2, p.highpass > 0.5f);
                    // Accents, a slide up to the highest note, rests and a release.
                    std::string fault;
                    for (int k = 0; k < 4 && fault.empty(); ++k) {
                        r.vc.gate = k < 3;
                        r.vc.trigger = k != 1;
                        r.vc.slideFrom = k == 1;
                        r.vc.accent = r.vc.accentStep = k == 2;
                        r.vc.pitchHz = k == 1 ? 987.8f : 32.7f;
                        std::vector<float> buf(97);
                        for (int at = 0; at < 1500; at += 97) {
                            r.voice.render(buf.data(), 97, fs, p, r.vc, r.s, nullptr, nullptr);
                            os.process(buf.data(), 97, fs);
                            for (float x : buf)
                                if (!clean(x)) fault = "output";
                        }
                    }
                    if (fault.empty()) fault = badState(r.voice);
                    ASSERT_EQ(fault, "") << "fs " << fs << " set " << set << " mode " << mode << " flags " << flags;
                }
}

TEST(Hygiene, LongSilenceLongNotesAndHostileInputs) {
    test::VoiceRig r; // 20 s held, the accent carry decaying towards zero, then ten minutes idle
    r.p.accent = 1.0f;
    r.noteOn(55.0f, true);
    r.render(44100 * 20, 512);
    EXPECT_EQ(badState(r.voice), "");
    r.vc.gate = 0;
    for (int i = 0; i < 600; ++i) r.render(44100, 1024);
    EXPECT_EQ(badState(r.voice), "");
    r.noteOn(55.0f);
    r.render(5000);
    EXPECT_EQ(badState(r.voice), "");

    test::VoiceRig bad;
    bad.p.cutoff = std::nanf("");
    bad.p.resonance = 7.0f;
    bad.p.tune = -3.0f;
    bad.noteOn(std::numeric_limits<float>::infinity());
    for (float v : bad.render(2048)) ASSERT_TRUE(clean(v));
    bad.vc.pitchHz = -50.0f;
    for (float v : bad.render(2048)) ASSERT_TRUE(clean(v));
    bad.s.vcoGain = bad.s.tm4 = bad.s.tm3 = std::nan(""); // unreadable settings fall back
    bad.s.relativeTuning = std::numeric_limits<double>::infinity();
    for (float v : bad.render(2048)) ASSERT_TRUE(clean(v));
    bad.fs = 0.0;
    for (float v : bad.render(256)) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(badState(bad.voice), "");
    OutputStage os;
    os.configure(std::nan(""), 5.0, -1.0, 1, true);
    std::vector<float> x(512, 0.5f);
    os.process(x.data(), 512, 44100);
    for (float v : x) ASSERT_TRUE(clean(v));
}
