// Output stage: unknown types and structure switches. (Ramps, rest, the decimator, the
// types' curves and how calls are split are pinned by the recorded renders.)
#include <algorithm>

#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/OutputStage.h"

using namespace kelo;

TEST(OutputStage, AnUnknownTypeHoldsTheLastShapedSamples) {
    OutputStage os;
    os.configure(0.0, 1.0, 0.064, OutputStage::Saturate, false);
    std::vector<float> x(256, 0.0f);
    os.process(x.data(), 256, 44100); // the ramps reach the knobs' values
    x.assign(64, 0.3f);
    os.process(x.data(), 64, 44100);
    const float shaped = x[63];
    os.configure(0.0, 1.0, 0.064, 5, false);
    x.resize(512);
    for (int i = 0; i < 512; ++i) x[size_t(i)] = float(0.9 * std::sin(2 * test::kPi * 440 * i / 44100.0));
    os.process(x.data(), 512, 44100);
    EXPECT_NEAR(x[400], shaped, 1e-6); // after the cross-fade
    x.assign(64, 0.0f);
    os.process(x.data(), 64, 44100); // silence right after a fade is no rest yet
    EXPECT_NEAR(x[63], shaped, 1e-6);
    OutputStage rest; // switched to it in silence, it holds the silence
    rest.configure(0.0, 1.0, 0.064, OutputStage::Saturate, false);
    x.assign(512, 0.0f);
    rest.process(x.data(), 512, 44100);
    rest.configure(0.0, 1.0, 0.064, 5, false);
    rest.process(x.data(), 512, 44100);
    x.assign(64, 0.5f);
    rest.process(x.data(), 64, 44100);
    EXPECT_EQ(x[63], 0.0f);
}

// Switching the high-pass, the distortion or its type mid-note: before the switch the sound
// is the old structure's, after the cross-fade the new one's, and in between it never
// steps by more than either structure's own sound does from one sample to the next.
TEST(OutputStage, StructureSwitchesCrossFadeWithoutAStep) {
    struct Structure {
        double distortion;
        int type;
        bool highpass;
    };
    struct Switch {
        const char* what;
        Structure from, to;
        double earlier = -1.0; // the distortion's amount until 1024 samples before the switch
        bool back = false;     // switched back 64 samples later, during the fade
        int block = 64;
        double hp = 0.064; // the high-pass coefficient from the switch on, ramped over the call
        double fs = 44100;  // of the switched stage; none usable is taken as 44.1 kHz
    };
    std::vector<float> in(6144); // a bass note: band-limited saw at 98 Hz
    for (size_t i = 0; i < in.size(); ++i)
        for (int h = 1; h <= 40; ++h) in[i] += float(0.45 / h * std::sin(2 * test::kPi * 98.0 * h * double(i) / 44100.0));
    const int switchAt = 4096, fade = int(OutputStage::kFadeSeconds * 44100 + 1);
    const Switch switches[] = {
        {"high-pass on", {0.0, 0, false}, {0.0, 0, true}},
        {"high-pass off", {0.7, 1, true}, {0.7, 1, false}},
        {"distortion on", {0.0, 0, true}, {0.6, 0, true}},
        {"distortion off", {0.6, 1, false}, {0.0, 1, false}},
        {"distortion off after a new amount", {0.6, 1, false}, {0.0, 1, false}, 0.02},
        {"saturate to foldback", {0.8, 0, true}, {0.8, 1, true}},
        {"foldback to saturate", {0.3, 1, false}, {0.3, 0, false}},
        {"saturate to foldback and back", {0.8, 0, true}, {0.8, 1, true}, -1.0, true},
        {"high-pass on, moving, one call", {0.0, 0, false}, {0.0, 0, true}, -1.0, false, 1024, 0.2},
        {"high-pass on at no rate", {0.0, 0, false}, {0.0, 0, true}, -1.0, false, 64, 0.064, 0},
    };
    for (const Switch& sw : switches) {
        OutputStage olds, news, switched;
        std::vector<float> a = in, b = in, y = in;
        for (int at = 0, block = sw.block; at < int(in.size()); at += block) {
            const double hp = at < switchAt ? 0.064 : sw.hp;
            Structure from = sw.from;
            if (sw.earlier >= 0 && at < switchAt - 1024) from.distortion = sw.earlier;
            const Structure& now = at < switchAt || (sw.back && at >= switchAt + 64) ? from : sw.to;
            olds.configure(0.7, from.distortion, hp, from.type, from.highpass);
            news.configure(0.7, sw.to.distortion, hp, sw.to.type, sw.to.highpass);
            switched.configure(0.7, now.distortion, hp, now.type, now.highpass);
            olds.process(a.data() + at, block, 44100);
            news.process(b.data() + at, block, 44100);
            switched.process(y.data() + at, block, sw.fs);
        }
        double peak = 0, excess = 0, after = 0;
        for (int i = switchAt - 1000; i < int(in.size()); ++i) {
            peak = std::max({peak, std::fabs(double(a[size_t(i)])), std::fabs(double(b[size_t(i)]))});
            ASSERT_TRUE(i >= switchAt || y[size_t(i)] == a[size_t(i)]) << sw.what << " " << i;
            const double dy = std::fabs(double(y[size_t(i)]) - y[size_t(i - 1)]);
            const double da = std::fabs(double(a[size_t(i)]) - a[size_t(i - 1)]);
            const double db = std::fabs(double(b[size_t(i)]) - b[size_t(i - 1)]);
            excess = std::max(excess, dy - std::max(da, db));
            if (i >= switchAt + fade + 32 + (sw.back ? fade + 64 : 0))
                after = std::max(after, std::fabs(double(y[size_t(i)]) - (sw.back ? a : b)[size_t(i)]));
        }
        EXPECT_LT(excess, 0.01 * peak) << sw.what; // an instant switch steps by 0.05 to 0.2 of the peak
        EXPECT_LT(after, 1e-4 * peak) << sw.what;
    }
}
