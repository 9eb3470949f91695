// Tuning, filter curves and the band-limited wavetables.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/FilterTables.h"
#include "engine/Tuning.h"
#include "engine/Wavetables.h"

using namespace kelo;

TEST(Tuning, TablesFoldingAndCapping) {
    TuningTables t;
    t.build();
    EXPECT_NEAR(t.equal[69], 440.0, 1e-3);
    EXPECT_NEAR(t.equal[57], 220.0, 1e-3);
    EXPECT_NEAR(t.stretched[60], 8.22218793583489 * std::pow(1.061463094359, 60), 1e-3);
    EXPECT_EQ(t.pitch(69, 3), t.stretched[69]);
    EXPECT_EQ(t.pitch(-5, 0), t.equal[0]); // out of range clamps, never indexes outside
    EXPECT_EQ(t.pitch(500, 0), t.equal[127]);
    for (int n = 0; n <= 127; ++n) {
        const int f = foldNote(n, false);
        EXPECT_TRUE(n <= 83 ? f == n : f >= 72 && f <= 83 && (n - f) % 12 == 0) << n; // same pitch class
        EXPECT_EQ(foldNote(n, true), std::min(n, 83)) << n;
    }
}

TEST(FilterTables, CurvesPassTheirPointsPeakAndFlattenAndReadsStayInside) {
    const FilterTables& t = FilterTables::get();
    const int idx[8] = {0, 1, 2, 3, 128, 284, 358, 402};
    const double fb[8] = {0.51864, 0.52803, 0.53741, 0.54679, 1.68831, 3.71552, 2.55135, 2.28295};
    const double lv[8] = {0.10859, 0.14524, 0.18189, 0.21855, 1.55105, 3.51216, 2.73429, 2.83073};
    for (const auto& [table, val] : {std::pair{t.feedback, fb}, std::pair{t.level, lv}}) {
        for (int k = 0; k < 8; ++k) EXPECT_NEAR(table[idx[k]], val[k], 1e-5) << idx[k];
        for (int i = 1; i < FilterTables::kCurveSize; ++i) {
            EXPECT_LE(table[i], table[284]) << i;
            EXPECT_TRUE(i < FilterTables::kFlatFrom || table[i] == table[FilterTables::kFlatFrom]) << i;
            EXPECT_LT(std::fabs(table[i] - table[i - 1]), 0.04) << i; // no jumps
            // No kinks, except at the ends of the short plateau the feedback holds after its peak.
            if (i >= 4 && i + 1 < FilterTables::kCurveSize && (i < 284 || i > 300)) {
                EXPECT_LT(std::fabs(table[i + 1] - 2.0 * table[i] + table[i - 1]), 0.002) << i;
            }
        }
    }
    EXPECT_NEAR(t.exponential[512], std::exp(7.5) / 22050 - 0.0015, 1e-6);
    EXPECT_EQ(t.exponential[2047], 1.0f);
    const float tab[4] = {1.0f, 3.0f, 5.0f, 9.0f};
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, 1.25), 3.5);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, -7.5), 1.0);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, std::nan("")), 1.0);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, 1e300), 9.0);
}

namespace {

// Amplitude of partial h of one stored cycle (one DFT bin), with the cycle's twiddles.
struct Cycle {
    const float* d;
    int n;
    std::vector<double> cs, sn;
    Cycle(const float* data, int len) : d(data), n(len), cs(size_t(len)), sn(size_t(len)) {
        for (int i = 0; i < n; ++i) {
            cs[size_t(i)] = std::cos(2 * test::kPi * i / n);
            sn[size_t(i)] = std::sin(2 * test::kPi * i / n);
        }
    }
    double partial(int h) const {
        double re = 0, im = 0;
        for (int i = 0, ph = 0; i < n; ++i) {
            re += d[i] * cs[size_t(ph)];
            im += d[i] * sn[size_t(ph)];
            ph += h; // h < n: one subtraction wraps it
            if (ph >= n) ph -= n;
        }
        return 2.0 * std::hypot(re, im) / n;
    }
};

void checkTableSet(const Wavetable& w, int levels, int firstLength, bool oddOnly) {
    ASSERT_EQ(w.levels(), levels);
    EXPECT_EQ(w.length[0], firstLength);
    // Shorter periods never map to a richer level, and every level is reachable.
    std::vector<int> minP(size_t(levels), Wavetable::kMapSize);
    for (int p = Wavetable::kMapSize - 1; p >= 0; --p) {
        ASSERT_GE(w.levelOf[p], p + 1 < Wavetable::kMapSize ? w.levelOf[p + 1] : 0) << p;
        minP[w.levelOf[p]] = p;
    }
    for (int l = 0; l < levels; ++l) {
        ASSERT_LT(minP[size_t(l)], Wavetable::kMapSize) << "unreachable level " << l;
        const int n = w.length[size_t(l)], h = w.harmonics[size_t(l)];
        const float* d = w.data + w.offset[size_t(l)];
        // The top partial stays below Nyquist for the shortest period of the level, even
        // with the 44.1 kHz rate class scaling the period index up.
        EXPECT_TRUE(minP[size_t(l)] < 3 || h * kWavetablePeriodMargin / minP[size_t(l)] < 0.5) << l;
        const Cycle cyc(d, n);
        const double fund = cyc.partial(1);
        EXPECT_NEAR(fund, (oddOnly ? 4 : 2) / test::kPi, 1e-3) << l;
        EXPECT_NEAR(cyc.partial(h) * h, fund, 2e-3) << l; // the top partial is really there
        double above = 0;
        for (int k = h + 1; k <= n / 2; ++k) above = std::max(above, cyc.partial(k));
        EXPECT_LT(above / fund, 2e-6) << "level " << l;
        EXPECT_TRUE(!oddOnly || cyc.partial(2) / fund < 2e-6) << l;
    }
}

} // namespace

TEST(Wavetables, EveryLevelIsBandLimitedForItsPeriods) {
    checkTableSet(Wavetable::saw(), 181, 2432, false);
    checkTableSet(Wavetable::square(), 164, 1320, true);
    const Wavetable& w = Wavetable::saw();
    EXPECT_NEAR(w.read(20000, 1.0), w.data[0], 1e-7); // phase 1 is phase 0
    EXPECT_EQ(w.read(-40, 0.3), w.read(0, 0.3));
    EXPECT_EQ(w.read(1 << 20, 0.3), w.read(Wavetable::kMapSize - 1, 0.3));
    EXPECT_EQ(periodIndex(0.0, 1.0), Wavetable::kMapSize - 1);
    EXPECT_EQ(periodIndex(std::nan(""), 1.0), Wavetable::kMapSize - 1);
    EXPECT_EQ(periodIndex(-0.01, 1.0), 0);
    EXPECT_EQ(periodIndex(1.0 / 100.5, 1.0884354), 108); // floor(floor(100.5) * 1.0884354)
}
