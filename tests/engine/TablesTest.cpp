// Integration primitives, tuning, filter curves and the band-limited wavetables.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestUtil.h"
#include "engine/Dsp.h"
#include "engine/FilterTables.h"
#include "engine/Tuning.h"
#include "engine/Wavetables.h"

using namespace kelo;

TEST(Dsp, CollapsedSmoothStepMatchesFourStageForm) {
    // The collapsed coefficient is what every lag uses; it must not drift from the RK4 form.
    double worst = 0;
    for (double k : {1e-7, 2.4e-5, 0.0005, 0.002, 0.05, 0.1, 0.33, 0.7, 1.0, 1.4}) {
        for (double y : {-3.0, -1e-5, 0.0, 0.25, 110.0}) {
            for (double x : {-2.0, 1e-5, 0.5, 1.0, 440.0}) {
                const double ref = dsp::smoothStepRk4(y, x, k);
                const double got = dsp::smoothStep(y, x, k);
                const double scale = std::max({std::fabs(ref), std::fabs(x), std::fabs(y)});
                worst = std::max(worst, std::fabs(got - ref) / scale);
            }
        }
    }
    EXPECT_LT(worst, 1e-12);
}

TEST(Dsp, SoftClipIsContinuousOddAndBounded) {
    EXPECT_DOUBLE_EQ(dsp::softClip(3.0), 1.0);
    EXPECT_DOUBLE_EQ(dsp::softClip(-3.0), -1.0);
    EXPECT_DOUBLE_EQ(dsp::softClip(1e9), 1.0);
    EXPECT_NEAR(dsp::softClip(1e-4) / 1e-4, 1.0, 1e-8); // unity slope at the origin
    for (double x = -4; x <= 4; x += 0.01) {
        EXPECT_DOUBLE_EQ(dsp::softClip(-x), -dsp::softClip(x));
        EXPECT_LE(std::fabs(dsp::softClip(x)), 1.0);
        EXPECT_LE(dsp::softClip(x), dsp::softClip(x + 0.01)); // monotone
    }
}

TEST(Tuning, TablesAndFolding) {
    TuningTables t;
    t.build();
    EXPECT_NEAR(t.equal[69], 440.0, 1e-3);
    EXPECT_NEAR(t.equal[57], 220.0, 1e-3);
    EXPECT_NEAR(t.stretched[0], 8.22218793583489, 1e-5);
    EXPECT_NEAR(t.stretched[60], 8.22218793583489 * std::pow(1.061463094359, 60), 1e-3);
    EXPECT_EQ(t.pitch(69, 0), t.equal[69]);
    EXPECT_EQ(t.pitch(69, 3), t.stretched[69]);
    EXPECT_EQ(t.pitch(-5, 0), t.equal[0]);    // out of range clamps, never indexes outside
    EXPECT_EQ(t.pitch(500, 0), t.equal[127]);

    for (int n = 0; n <= 83; ++n) {
        EXPECT_EQ(foldNote(n, false), n);
        EXPECT_EQ(foldNote(n, true), n);
    }
    for (int n = 84; n <= 127; ++n) {
        const int f = foldNote(n, false);
        EXPECT_GE(f, 72) << n;
        EXPECT_LE(f, 83) << n;
        EXPECT_EQ((n - f) % 12, 0) << n; // same pitch class
        EXPECT_EQ(foldNote(n, true), 83);
    }
}

TEST(FilterTables, CurvesPassThroughAnchorsAndFlattenOut) {
    const FilterTables& t = FilterTables::get();
    const struct {
        const float* table;
        int idx[8];
        double val[8];
    } curves[] = {
        {t.feedback, {0, 1, 2, 3, 128, 284, 358, 402},
         {0.51864, 0.52803, 0.53741, 0.54679, 1.68831, 3.71552, 2.55135, 2.28295}},
        {t.level, {0, 1, 2, 3, 128, 284, 358, 402},
         {0.10859, 0.14524, 0.18189, 0.21855, 1.55105, 3.51216, 2.73429, 2.83073}},
    };
    for (const auto& c : curves) {
        for (int k = 0; k < 8; ++k) EXPECT_NEAR(c.table[c.idx[k]], c.val[k], 1e-5) << c.idx[k];
        for (int i = FilterTables::kFlatFrom; i < FilterTables::kCurveSize; ++i)
            ASSERT_EQ(c.table[i], c.table[FilterTables::kFlatFrom]) << i;
        // The stated peak is the maximum, and the curve is smooth: no jumps anywhere, and no
        // kinks outside the short plateau that the feedback curve holds after its peak.
        for (int i = 0; i < FilterTables::kCurveSize; ++i) EXPECT_LE(c.table[i], c.table[284]) << i;
        for (int i = 4; i + 1 < FilterTables::kCurveSize; ++i) {
            EXPECT_LT(std::fabs(c.table[i] - c.table[i - 1]), 0.04) << i;
            if (i >= 284 && i <= 300) continue;
            const double d2 = c.table[i + 1] - 2.0 * c.table[i] + c.table[i - 1];
            EXPECT_LT(std::fabs(d2), 0.002) << i;
        }
    }
    EXPECT_NEAR(t.exponential[0], std::exp(5.0) / 22050 - 0.0015, 1e-7);
    EXPECT_NEAR(t.exponential[512], std::exp(7.5) / 22050 - 0.0015, 1e-6);
    EXPECT_EQ(t.exponential[2047], 1.0f);
    for (int i = 1; i < FilterTables::kExpSize; ++i) EXPECT_GE(t.exponential[i], t.exponential[i - 1]);
}

TEST(FilterTables, InterpolatedReadsStayInsideTheTable) {
    const float tab[4] = {1.0f, 3.0f, 5.0f, 9.0f};
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, 1.25), 3.5);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, -7.5), 1.0);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, std::nan("")), 1.0);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, 3.0), 9.0);
    EXPECT_DOUBLE_EQ(tableRead(tab, 4, 1e300), 9.0);
}

namespace {

// Amplitude of partial h of one stored cycle (a single DFT bin).
double partial(const float* d, int n, int h, const std::vector<double>& cosT, const std::vector<double>& sinT) {
    double re = 0, im = 0;
    long idx = 0;
    for (int i = 0; i < n; ++i) {
        re += d[i] * cosT[idx];
        im += d[i] * sinT[idx];
        idx += h;
        if (idx >= n) idx -= n;
    }
    return 2.0 * std::sqrt(re * re + im * im) / n;
}

void checkTableSet(const Wavetable& w, int levels, int firstLength, bool oddOnly) {
    ASSERT_EQ(w.levels(), levels);
    EXPECT_EQ(w.length[0], firstLength);
    EXPECT_EQ(w.levelOf[Wavetable::kMapSize - 1], 0);
    // Shorter periods never map to a richer level, and every level is reachable.
    std::vector<int> minP(levels, Wavetable::kMapSize), maxP(levels, -1);
    for (int p = 0; p < Wavetable::kMapSize; ++p) {
        const int l = w.levelOf[p];
        ASSERT_LT(l, levels);
        if (p > 0) {
            ASSERT_LE(l, w.levelOf[p - 1]) << p;
        }
        minP[l] = std::min(minP[l], p);
        maxP[l] = std::max(maxP[l], p);
    }
    for (int l = 0; l < levels; ++l) ASSERT_GE(maxP[l], 0) << "unreachable level " << l;

    for (int l = 0; l < levels; ++l) {
        const int n = w.length[l];
        const float* d = w.data.data() + w.offset[l];
        const int h = w.harmonics[l];
        // Highest partial below Nyquist for the shortest period of this level, even when the
        // 44.1 kHz rate class shortens the actual period by the period scale.
        if (minP[l] >= 3) {
            EXPECT_LT(h * kWavetablePeriodMargin / minP[l], 0.5) << "level " << l;
        }
        std::vector<double> cosT(n), sinT(n);
        for (int i = 0; i < n; ++i) {
            cosT[i] = std::cos(2 * test::kPi * i / n);
            sinT[i] = std::sin(2 * test::kPi * i / n);
        }
        const double fund = partial(d, n, 1, cosT, sinT);
        EXPECT_NEAR(fund, oddOnly ? 4 / test::kPi : 2 / test::kPi, 1e-3) << "level " << l;
        // The richest stored partial is really there, nothing lies above it, and a square
        // carries no even partials.
        EXPECT_NEAR(partial(d, n, h, cosT, sinT) * h, fund, 2e-3) << "level " << l;
        double above = 0;
        for (int k = h + 1; k <= n / 2; ++k) above = std::max(above, partial(d, n, k, cosT, sinT));
        EXPECT_LT(above / fund, 2e-6) << "level " << l;
        if (oddOnly) {
            for (int k = 2; k <= std::min(h, 12); k += 2) EXPECT_LT(partial(d, n, k, cosT, sinT) / fund, 2e-6);
        }
    }
}

} // namespace

TEST(Wavetables, SawLevelsAreBandLimitedForTheirPeriods) { checkTableSet(Wavetable::saw(), 181, 2432, false); }

TEST(Wavetables, SquareLevelsAreBandLimitedForTheirPeriods) {
    checkTableSet(Wavetable::square(), 164, 1320, true);
}

TEST(Wavetables, ReadWrapsAndClampsThePeriodIndex) {
    const Wavetable& w = Wavetable::saw();
    const int n = w.length[0];
    const float* d = w.data.data();
    EXPECT_NEAR(w.read(20000, 0.0), d[0], 1e-7);
    EXPECT_NEAR(w.read(20000, 1.0), d[0], 1e-7); // phase 1 is phase 0
    EXPECT_NEAR(w.read(20000, (n - 0.5) / n), 0.5 * (d[n - 1] + d[0]), 1e-6);
    EXPECT_EQ(w.read(-40, 0.3), w.read(0, 0.3));
    EXPECT_EQ(w.read(1 << 20, 0.3), w.read(Wavetable::kMapSize - 1, 0.3));
    EXPECT_EQ(periodIndex(0.0, 1.0), Wavetable::kMapSize - 1);
    EXPECT_EQ(periodIndex(std::nan(""), 1.0), Wavetable::kMapSize - 1);
    EXPECT_EQ(periodIndex(-0.01, 1.0), 0);
    EXPECT_EQ(periodIndex(1.0 / 100.5, 1.0884354), 108); // floor(floor(100.5) * 1.0884354)
}
