// No NaN, infinity or denormal anywhere in the engine over every extreme setting.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "EngineTestUtil.h"
#include "engine/OutputStage.h"

using namespace kelo;

namespace {

bool clean(double v) { return std::isfinite(v) && std::fpclassify(v) != FP_SUBNORMAL; }

std::string badState(const Voice& v) {
    const VoiceState& s = v.state();
    const double vals[] = {s.tune, s.cutoff, s.resonance, s.envmod, s.gateFollower, s.filterEnv, s.ampEnv,
                           s.accentCarry, s.accentCap, s.accentCapSmooth, s.accentBoost, s.accentBoostSmooth,
                           s.gateLag, s.clickLag, s.ampLag, s.glide, s.phase, s.r1, s.r2, s.clipDc,
                           v.filter().outputLevel(), v.filter().lastControl(), v.filter().lastRate()};
    for (size_t i = 0; i < sizeof vals / sizeof vals[0]; ++i)
        if (!clean(vals[i])) return "voice state " + std::to_string(i);
    for (int i = 0; i < 4; ++i)
        if (!clean(v.filter().chain1()[i]) || !clean(v.filter().chain2()[i])) return "stage " + std::to_string(i);
    for (float x : v.scope().ring)
        if (!clean(x)) return "scope";
    return {};
}

// A busy line with accents, slides, rests and a long release, in small sub-blocks.
void playLine(test::VoiceRig& r, OutputStage& os, const ParamSnapshot& p, std::string& fault) {
    const int step = r.s.activeClocks;
    std::vector<float> buf(4 * step);
    for (int k = 0; k < 4 && fault.empty(); ++k) {
        r.vc.gate = k < 3;
        r.vc.trigger = k != 1;
        r.vc.slideFrom = k == 1;
        r.vc.accent = r.vc.accentStep = k == 2;
        r.vc.pitchHz = k == 1 ? 987.8f : 32.7f;
        for (int at = 0; at < step;) {
            const int n = std::min(97, step - at);
            r.voice.render(buf.data(), n, r.fs, p, r.vc, r.s, nullptr, nullptr);
            os.process(buf.data(), n, r.fs);
            for (int i = 0; i < n; ++i)
                if (!clean(buf[i])) fault = "output";
            at += n;
        }
    }
    if (fault.empty()) fault = badState(r.voice);
}

} // namespace

TEST(Hygiene, EveryExtremeStaysFiniteAndNormal) {
    // Parameter sets: all at 0, all at 1, and the two alternating halves.
    const float sets[4][12] = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                               {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                               {1, 0, 1, 0, 1, 0, 1, 0.001f, 1, 0, 1, 0},
                               {0, 1, 0, 1, 0, 1, 0, 1, 0.001f, 1, 0, 1}};
    int runs = 0;
    for (double fs : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        for (const auto& v : sets) {
            for (int mode : {0, 1, 2, 3}) {
                for (int type : {0, 1}) {
                    for (int flags = 0; flags < 4; ++flags) {
                        test::VoiceRig r;
                        r.fs = fs;
                        r.s.filterMode = mode;
                        r.s.outputClipping = flags & 1;
                        r.s.vcaNoise = (flags & 2) ? 0 : 1;
                        r.s.vcaLeveling = flags == 3;
                        r.s.envmodKnob = flags != 1;
                        r.s.activeClocks = 1500; // one step: the release also reaches the idle state
                        ParamSnapshot p;
                        p.tune = v[0];
                        p.cutoff = v[1];
                        p.resonance = v[2];
                        p.envmod = v[3];
                        p.decay = v[4];
                        p.accent = v[5];
                        p.drive = v[6];
                        p.distortion = v[7];
                        p.volume = v[8] > 0 ? 1.0f : 0.0f;
                        p.waveform = v[9];
                        p.highpass = v[11];
                        OutputStage os;
                        os.configure(p.drive, p.distortion, 0.064, type, p.highpass > 0.5f);
                        std::string fault;
                        playLine(r, os, p, fault);
                        ++runs;
                        ASSERT_TRUE(fault.empty()) << fault << " fs " << fs << " mode " << mode << " type "
                                                   << type << " flags " << flags << " set " << v[0];
                    }
                }
            }
        }
    }
    EXPECT_EQ(runs, 5 * 4 * 4 * 2 * 4);
}

TEST(Hygiene, LongSilenceLeavesNoDenormals) {
    // Minutes of idling after one note: every lag must stay clear of denormal range.
    test::VoiceRig r;
    r.p.accent = 1.0f;
    r.noteOn(55.0f, true);
    r.render(2000);
    r.vc.gate = 0;
    for (int i = 0; i < 600; ++i) r.render(44100, 1024);
    EXPECT_EQ(badState(r.voice), "");
    r.noteOn(55.0f);
    r.render(5000);
    EXPECT_EQ(badState(r.voice), "");

    // A note held for minutes: the accent carry decays towards zero forever.
    test::VoiceRig held;
    held.p.accent = 1.0f;
    held.noteOn(55.0f, true);
    held.render(44100 * 20, 512);
    EXPECT_EQ(badState(held.voice), "");
}

TEST(Hygiene, HostileInputsAreContained) {
    test::VoiceRig r;
    r.p.cutoff = std::nanf("");
    r.p.resonance = 7.0f;
    r.p.tune = -3.0f;
    r.vc.pitchHz = std::numeric_limits<float>::infinity();
    r.vc.gate = r.vc.trigger = 1;
    for (float v : r.render(2048)) ASSERT_TRUE(clean(v));
    r.vc.pitchHz = -50.0f;
    for (float v : r.render(2048)) ASSERT_TRUE(clean(v));
    r.fs = 0.0;
    for (float v : r.render(256)) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(badState(r.voice), "");

    OutputStage os;
    os.configure(std::nan(""), 5.0, -1.0, 1, true);
    std::vector<float> x(512, 0.5f);
    os.process(x.data(), 512, 44100);
    for (float v : x) ASSERT_TRUE(clean(v));
}
