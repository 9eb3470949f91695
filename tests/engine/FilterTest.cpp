// The filter on its own: control clamp, structures, level compensation.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestUtil.h"
#include "engine/Filter.h"

using namespace kelo;

namespace {

FilterInput quiet(double osc, double cutoffSq, double res) {
    FilterInput in{};
    in.osc = osc;
    in.cutoffSq = cutoffSq;
    in.resonance = res;
    in.rawResonance = res;
    return in;
}

// Steady-state gain at frequency hz (44.1 kHz) for a small sine through the given mode.
double gainAt(int mode, double hz, double res = 0.0, double cutoffSq = 0.1) {
    Filter f;
    VoiceSettings s;
    s.filterMode = mode;
    const RateClass rc = RateClass::of(44100);
    double peak = 0;
    for (int i = 0; i < 20000; ++i) {
        const double x = 0.01 * std::sin(2 * test::kPi * hz * i / 44100.0);
        const double y = f.process(quiet(x, cutoffSq, res), s, rc);
        if (i > 15000) peak = std::max(peak, std::fabs(y));
    }
    return peak / 0.01;
}

} // namespace

TEST(Filter, ControlValueIsHeldAtItsCeiling) {
    Filter f;
    VoiceSettings s;
    s.tm3 = 1.0; // widest cutoff range
    FilterInput in = quiet(0.0, 1.0, 1.0);
    in.envmod = 1.0;
    in.env = 1.0;
    in.rawAccent = 1.0;
    in.accent = 1;
    in.accentDrive = 1.0;
    in.accentCap = 1.0;
    f.process(in, s, RateClass::of(44100));
    EXPECT_EQ(f.lastControl(), 1.4);
    // Without the clamp the rate would leave the table; with it the rate is 1.4 x the
    // saturated exponential entry.
    EXPECT_NEAR(f.lastRate(), 1.4, 1e-9);
    // No lower clamp: a closed filter still runs, at the table's first entry.
    Filter g;
    g.process(quiet(0.0, 0.0, 0.0), s, RateClass::of(44100));
    EXPECT_LT(g.lastControl(), 0.3);
    EXPECT_GT(g.lastRate(), 0.0);
}

TEST(Filter, ZeroResonanceLevelAndLevelling) {
    for (int leveling : {0, 1}) {
        Filter f;
        VoiceSettings s;
        s.vcaLeveling = leveling;
        for (int i = 0; i < 300; ++i) f.process(quiet(0.0, 0.25, 0.0), s, RateClass::of(44100));
        EXPECT_NEAR(f.outputLevel(), 0.8 * (leveling ? 1.5 : 1.0) * 1.1, 1e-4);
    }
}

TEST(Filter, ModesDifferInSlopeAndMatchWhereTheyShouldAtZeroResonance) {
    // Passband: all three structures pass low frequencies at the output level.
    for (int mode : {0, 1, 2}) EXPECT_NEAR(gainAt(mode, 20.0), 0.88, 0.03) << mode;
    // Above the corner, three poles (mode 2) roll off less than four (mode 0).
    const double g0 = gainAt(0, 4000.0), g2 = gainAt(2, 4000.0);
    EXPECT_LT(g0, g2 * 0.5);
    EXPECT_GT(g0, 0.0);
    // At zero resonance mode 1 is its linear chain's third stage, which is mode 2.
    EXPECT_NEAR(gainAt(1, 4000.0), g2, 1e-9);
    // Modes outside 0..2 leave the oscillator unfiltered; only the level applies.
    EXPECT_NEAR(gainAt(7, 4000.0), 0.88, 0.01);
    EXPECT_NEAR(gainAt(-1, 10000.0), 0.88, 0.01);
}

TEST(Filter, ResonanceRaisesAPeakThatTheLevellingKeepsInCheck) {
    for (int mode : {0, 1, 2}) {
        const double pass0 = gainAt(mode, 20.0, 0.0, 0.3), passR = gainAt(mode, 20.0, 0.8, 0.3);
        double best0 = 0, bestR = 0;
        for (double hz = 100; hz < 3000; hz *= 1.1) {
            best0 = std::max(best0, gainAt(mode, hz, 0.0, 0.3));
            bestR = std::max(bestR, gainAt(mode, hz, 0.8, 0.3));
        }
        EXPECT_LT(best0, pass0 * 1.05) << mode; // no peak without resonance
        EXPECT_GT(bestR, passR * 1.5) << mode;  // a clear one with it
        // Level compensation keeps the loudest frequency near the unresonant passband.
        EXPECT_LT(bestR, pass0 * 2.0) << mode;
        EXPECT_GT(bestR, pass0 * 0.25) << mode;
    }
}

TEST(Filter, HighRateClassSlowsTheStagesAndFixesTheFeedbackScale) {
    Filter a, b;
    VoiceSettings s;
    s.tm4 = 1.0; // ignored in the top rate class
    const FilterInput in = quiet(0.0, 0.5, 0.5);
    a.process(in, s, RateClass::of(48000));
    b.process(in, s, RateClass::of(96000));
    EXPECT_NEAR(b.lastRate(), a.lastRate() * 0.6, 1e-12);
    EXPECT_EQ(RateClass::of(47998).index, 0);
    EXPECT_EQ(RateClass::of(47999).index, 1);
    EXPECT_EQ(RateClass::of(95999).index, 2);
    // Stable with the strongest feedback at 96 kHz and above.
    for (double fs : {96000.0, 192000.0}) {
        Filter f;
        double peak = 0;
        for (int i = 0; i < 40000; ++i) {
            const double y = f.process(quiet(i % 200 < 100 ? 0.5 : -0.5, 0.2, 1.0), s, RateClass::of(fs));
            peak = std::max(peak, std::fabs(y));
        }
        EXPECT_LT(peak, 10.0) << fs;
    }
}

TEST(Filter, LinearChainsStayBoundedAtFullResonanceForEveryRate) {
    // Modes 1 and 2 run unsaturated four-stage loops; the feedback curve must keep them
    // below self-oscillation at every stage rate, including between its given points.
    VoiceSettings s;
    for (int mode : {1, 2}) {
        s.filterMode = mode;
        for (double x = 0.3; x <= 1.45; x += 0.005) {
            Filter f;
            FilterInput in = quiet(0.0, 1.0, 1.0);
            in.rawResonance = 0.0;
            in.rawAccent = 1.0;
            in.envmod = 1.0;
            in.env = (x - 0.665) / 0.65 + 0.5; // envelope placing the control at x
            double peak = 0;
            for (int i = 0; i < 3000; ++i) {
                in.osc = i % 64 < 32 ? 0.5 : -0.5;
                peak = std::max(peak, std::fabs(f.process(in, s, RateClass::of(44100))));
                peak = std::max({peak, std::fabs(f.chain1()[3]), std::fabs(f.chain2()[3])});
            }
            EXPECT_NEAR(f.lastControl(), std::min(x, 1.4), 1e-9);
            EXPECT_LT(peak, 100.0) << "mode " << mode << " control " << x;
            EXPECT_EQ(f.runaways(), 0);
        }
    }
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
