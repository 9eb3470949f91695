// The filter's stability at full resonance and after a runaway. (Its structures, clamp and
// levels are pinned by the recorded renders.)
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

} // namespace

TEST(Filter, LinearChainsStayBoundedAtFullResonanceAtEveryRate) {
    // Modes 1 and 2 run unsaturated loops; the feedback curve must keep them below
    // self-oscillation at every stage rate, including between its given points.
    VoiceSettings s;
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        for (int mode : {1, 2}) {
            s.filterMode = mode;
            for (double x = 0.3; x <= 1.45; x += 0.005) {
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
