// The filter on its own: control clamp, structures, level compensation, stability. (Its
// match with the literal formulas is checked through the reference engine.)
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/Filter.h"
#include "engine/FilterTables.h"

using namespace kelo;

namespace {

FilterInput quiet(double osc, double cutoffSq, double res) {
    FilterInput in{};
    in.osc = osc;
    in.cutoffSq = cutoffSq;
    in.resonance = in.rawResonance = res;
    return in;
}

// Steady-state gain at hz (44.1 kHz) for a small sine through the given mode.
double gainAt(int mode, double hz, double res = 0.0, double cutoffSq = 0.1) {
    Filter f;
    VoiceSettings s;
    s.filterMode = mode;
    double peak = 0;
    for (int i = 0; i < 20000; ++i) {
        const double y = f.process(quiet(0.01 * std::sin(2 * test::kPi * hz * i / 44100.0), cutoffSq, res), s,
                                   RateClass::of(44100));
        if (i > 15000) peak = std::max(peak, std::fabs(y));
    }
    return peak / 0.01;
}

} // namespace

TEST(Filter, ControlClampAndZeroResonanceLevel) {
    Filter f;
    VoiceSettings s;
    s.tm3 = 1.0; // widest cutoff range, so full cutoff, envelope and accent exceed the ceiling
    FilterInput in = quiet(0.0, 1.0, 1.0);
    in.envmod = in.env = in.rawAccent = in.accentDrive = in.accentCap = 1.0;
    in.accent = 1;
    f.process(in, s, RateClass::of(44100));
    EXPECT_EQ(f.lastControl(), 1.4);
    EXPECT_NEAR(f.lastRate(), 1.4, 1e-9);
    for (int leveling : {0, 1}) {
        Filter g;
        s.vcaLeveling = leveling;
        for (int i = 0; i < 300; ++i) g.process(quiet(0.0, 0.25, 0.0), s, RateClass::of(44100));
        EXPECT_NEAR(g.outputLevel(), 0.8 * (leveling ? 1.5 : 1.0) * 1.1, 1e-4);
    }
    // No lower clamp: a negative control value reads the table's first entry.
    Filter low;
    s.envmodKnob = 0;
    s.tm3 = 0.0;
    in = quiet(0.0, 0.0, 0.0);
    in.envmod = 1.0;
    low.process(in, s, RateClass::of(44100));
    EXPECT_LT(low.lastControl(), 0.0);
    EXPECT_NEAR(low.lastRate(), 1.4 * FilterTables::get().exponential[0], 1e-12);
}

TEST(Filter, ModesDifferInSlopeResonateAndUnknownModesPassThrough) {
    for (int mode : {0, 1, 2}) EXPECT_NEAR(gainAt(mode, 20.0), 0.88, 0.03) << mode; // passband at the level
    const double g0 = gainAt(0, 4000.0), g2 = gainAt(2, 4000.0);
    EXPECT_LT(g0, g2 * 0.5); // four poles roll off faster than three
    EXPECT_NEAR(gainAt(1, 4000.0), g2, 1e-9); // at zero resonance mode 1 is its linear third stage
    EXPECT_NEAR(gainAt(7, 4000.0), 0.88, 0.01); // unfiltered, only the level applies
    EXPECT_NEAR(gainAt(-1, 10000.0), 0.88, 0.01);
    for (int mode : {0, 1, 2}) {
        const double pass0 = gainAt(mode, 20.0, 0.0, 0.3), passR = gainAt(mode, 20.0, 0.8, 0.3);
        double best0 = 0, bestR = 0;
        for (double hz = 100; hz < 3000; hz *= 1.1) {
            best0 = std::max(best0, gainAt(mode, hz, 0.0, 0.3));
            bestR = std::max(bestR, gainAt(mode, hz, 0.8, 0.3));
        }
        EXPECT_LT(best0, pass0 * 1.05) << mode; // no peak without resonance
        EXPECT_GT(bestR, passR * 1.5) << mode;  // a clear one with it
        EXPECT_LT(bestR, pass0 * 2.0) << mode;  // levelled near the unresonant passband
        EXPECT_GT(bestR, pass0 * 0.25) << mode;
    }
}

TEST(Filter, LinearChainsStayBoundedAtFullResonanceAtEveryRate) {
    // Modes 1 and 2 run unsaturated loops; the feedback curve must keep them below
    // self-oscillation at every stage rate, including between its given points.
    VoiceSettings s;
    s.tm4 = 1.0; // ignored at 96 kHz and up, where the scale is fixed
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        for (int mode : {1, 2}) {
            s.filterMode = mode;
            for (double x = 0.3; x <= 1.45; x += 0.005) {
                if (fs < 96000) s.tm4 = 3.985;
                Filter f;
                FilterInput in = quiet(0.0, 1.0, 1.0);
                in.rawResonance = 0.0;
                in.rawAccent = in.envmod = 1.0;
                in.env = (x - 0.665) / 0.65 + 0.5; // places the control at x
                double peak = 0;
                for (int i = 0; i < 3000; ++i) {
                    in.osc = i % 64 < 32 ? 0.5 : -0.5;
                    f.process(in, s, RateClass::of(fs));
                    peak = std::max({peak, std::fabs(f.chain1()[3]), std::fabs(f.chain2()[3])});
                }
                ASSERT_LT(peak, 100.0) << "mode " << mode << " control " << x << " fs " << fs;
                ASSERT_EQ(f.runaways(), 0);
            }
        }
    }
    // The control picks the same 44.1 kHz stage rate (and with it feedback, level and
    // saturation) at every rate; the oscillator's levels follow the period at 44.1 kHz,
    // limited below by the rate's own Nyquist frequency.
    Filter b;
    b.process(quiet(0.0, 0.5, 0.5), s, RateClass::of(96000));
    Filter a;
    a.process(quiet(0.0, 0.5, 0.5), s, RateClass::of(44100));
    EXPECT_EQ(b.lastRate(), a.lastRate());
    for (auto [fs, scale] : {std::pair{22050.0, 1.0884354}, {44100.0, 1.0884354}, {48000.0, 1.0}, {96000.0, 0.5},
                             {192000.0, 0.25}})
        EXPECT_DOUBLE_EQ(RateClass::of(fs).periodScale, scale) << fs;
}

TEST(Filter, RunawayChainRestartsInsteadOfPoisoningTheOutput) {
    VoiceSettings s;
    s.filterMode = 2;
    s.tm4 = 40.0; // far beyond any stable loop gain
    Filter f;
    FilterInput in = quiet(0.5, 0.6, 1.0);
    for (int i = 0; i < 20000; ++i) {
        in.osc = i % 50 < 25 ? 0.5 : -0.5;
        ASSERT_TRUE(std::isfinite(f.process(in, s, RateClass::of(44100)))) << i;
    }
    EXPECT_GT(f.runaways(), 0);
    s.tm4 = 3.985; // back to normal: the filter works again
    double peak = 0;
    for (int i = 0; i < 5000; ++i) peak = std::max(peak, std::fabs(f.process(in, s, RateClass::of(44100))));
    EXPECT_GT(peak, 0.01);
    EXPECT_LT(peak, 100.0);
}
