// Output stage: high-pass, distortion types, ramps, bypass and the half-band decimator.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "EngineTestUtil.h"
#include "engine/OutputStage.h"

using namespace kelo;

namespace {

std::vector<float> sine(double hz, double amp, int n, double fs = 44100) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(amp * std::sin(2 * test::kPi * hz * i / fs));
    return x;
}

double peakFrom(const std::vector<float>& x, int from) {
    double p = 0;
    for (size_t i = from; i < x.size(); ++i) p = std::max(p, std::fabs(double(x[i])));
    return p;
}

} // namespace

TEST(HalfbandDecimator, ImpulseResponseIsTheKernel) {
    const double h[17] = {0, -0.00188787839582, 0, 0.0038624783042,  0, -0.00824246659655,
                          0, 0.0159471139706,   0, -0.028676559234,  0, 0.0507185615622,
                          0, -0.0980159074729,  0, 0.315941764436,   0.500705786852609};
    HalfbandDecimator d;
    // push returns the sum over the line before storing, so the impulse shows one call late.
    EXPECT_EQ(d.push(1.0), 0.0);
    for (int j = 0; j < 32; ++j) {
        const int k = j <= 16 ? j : 32 - j; // symmetric kernel
        EXPECT_NEAR(d.push(0.0), h[k], 1e-15) << j;
    }
    EXPECT_EQ(d.push(0.0), 0.0); // the line holds 32 samples; the 33rd tap is zero
    // DC gain of a half-band low-pass is 1; the ring must wrap many times cleanly.
    double y = 0;
    for (int i = 0; i < 1000; ++i) y = d.push(1.0);
    EXPECT_NEAR(y, 1.0, 1e-3);
}

TEST(OutputStage, PassesUnchangedWithHighpassOffAndNoDistortion) {
    OutputStage os;
    os.configure(0.7, 0.0, 0.064, 0, false);
    std::vector<float> x = sine(97, 0.8, 4096), y = x;
    os.process(y.data(), 4096, 44100);
    EXPECT_EQ(x, y);
}

TEST(OutputStage, HighpassRemovesDcAndLiftsHighs) {
    OutputStage os;
    std::vector<float> dc(44100, 0.5f);
    os.configure(0, 0, 0.064, 0, true);
    os.process(dc.data(), 44100, 44100);
    EXPECT_LT(std::fabs(dc.back()), 1e-4);
    // Each section is (1 - c)(1 - 1/z) / (1 - (1 - c)/z); the pair is scaled by 1 + 9c.
    auto expected = [](double hz) {
        const double c = 0.064, w = 2 * test::kPi * hz / 44100;
        const std::complex<double> zi = std::polar(1.0, -w);
        const double one = std::abs((1 - c) * (1.0 - zi) / (1.0 - (1 - c) * zi));
        return (1 + 9 * c) * one * one;
    };
    for (double hz : {60.0, 460.0, 2000.0, 10000.0}) {
        std::vector<float> x = sine(hz, 0.1, 8192);
        os.process(x.data(), 8192, 44100);
        EXPECT_NEAR(peakFrom(x, 4096) / 0.1, expected(hz), 0.01 * expected(hz)) << hz;
    }
    EXPECT_LT(expected(60), 0.05);
}

TEST(OutputStage, RampsReachTheirTargetsAtTheEndOfTheSubBlock) {
    OutputStage os;
    std::vector<float> buf(64, 0.01f);
    os.configure(0.0, 1.0, 0.064, 0, false);
    os.process(buf.data(), 64, 44100); // high-pass coefficient and mix ramp up from 0
    EXPECT_EQ(os.mix(), 1.0);
    EXPECT_DOUBLE_EQ(os.highpassCoeff(), 0.064);
    EXPECT_EQ(os.drive(), 0.0);
    os.configure(1.0, 1.0, 0.064, 0, false);
    std::vector<float> a(100, 0.01f);
    os.process(a.data(), 100, 44100);
    EXPECT_EQ(os.drive(), 1.0); // only at the end of the following sub-block
    // The drive rose gradually: early samples still near the undriven gain of 2, later
    // ones close to the fully driven 18 sat(100 x) / 100.
    EXPECT_LT(std::fabs(a[5]), 0.04);
    EXPECT_GT(std::fabs(a[99]), 0.1);
}

TEST(OutputStage, DistortionZeroBypassesAtOnce) {
    OutputStage os, ref;
    std::vector<float> warm = sine(200, 0.5, 512);
    os.configure(1.0, 1.0, 0.064, 0, true);
    os.process(warm.data(), 512, 44100);
    // The distortion target drops to 0 while the mix is still 1: the stage is bypassed
    // from the first sample, leaving only the high-pass.
    os.configure(1.0, 0.0, 0.064, 0, false);
    std::vector<float> x = sine(300, 0.3, 256), y = x;
    os.process(y.data(), 256, 44100);
    EXPECT_EQ(x, y);
}

TEST(OutputStage, SaturateIsNearlyLinearWithoutDriveAndClipsWithIt) {
    OutputStage lin;
    lin.configure(0.0, 1.0, 0.064, OutputStage::Saturate, false);
    std::vector<float> warm(256, 0.0f);
    lin.process(warm.data(), 256, 44100);
    std::vector<float> x = sine(100, 0.1, 8192);
    lin.process(x.data(), 8192, 44100);
    EXPECT_NEAR(peakFrom(x, 4096), 0.2, 0.004); // gain 2, no visible clipping

    OutputStage hot;
    hot.configure(1.0, 1.0, 0.064, OutputStage::Saturate, false);
    hot.process(warm.data(), 256, 44100);
    std::vector<float> y = sine(100, 0.5, 8192);
    hot.process(y.data(), 8192, 44100);
    // Fully driven: soft clip to +-1 times (8 + 1) * 2 / 100, whatever the input level.
    EXPECT_NEAR(peakFrom(y, 4096), 18.0 / 100.0, 0.02);
}

TEST(OutputStage, FoldbackFoldsLargeSignalsBackIntoRange) {
    OutputStage os;
    os.configure(1.0, 1.0, 0.064, OutputStage::Foldback, false);
    std::vector<float> warm(256, 0.0f);
    os.process(warm.data(), 256, 44100);
    std::vector<float> x = sine(50, 3.0, 8192);
    os.process(x.data(), 8192, 44100);
    EXPECT_LT(peakFrom(x, 4096), 0.75);
    // Folding creates many sign changes within one input cycle.
    int crossings = 0;
    for (int i = 4097; i < 4097 + 882; ++i) crossings += (x[i - 1] < 0) != (x[i] < 0);
    EXPECT_GT(crossings, 10);
}

TEST(OutputStage, UnknownTypeHoldsTheLastIntermediateSamples) {
    OutputStage os;
    os.configure(0.5, 1.0, 0.064, OutputStage::Saturate, false);
    std::vector<float> x(64, 0.3f);
    os.process(x.data(), 64, 44100);
    os.configure(0.5, 1.0, 0.064, 5, false);
    std::vector<float> y = sine(440, 0.9, 256);
    os.process(y.data(), 256, 44100);
    for (float v : y) EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(y[255], y[200], 1e-6); // the input no longer reaches the output
}

TEST(OutputStage, RestsInExactSilenceAndWakesOnInput) {
    OutputStage os;
    os.configure(0.8, 0.7, 0.064, OutputStage::Saturate, true);
    std::vector<float> x = sine(110, 0.5, 2048);
    os.process(x.data(), 2048, 44100);
    EXPECT_FALSE(os.resting());
    std::vector<float> z(1024, 0.0f);
    for (int i = 0; i < 40 && !os.resting(); ++i) {
        std::fill(z.begin(), z.end(), 0.0f);
        os.process(z.data(), 1024, 44100);
    }
    ASSERT_TRUE(os.resting()); // the tail died away within a second
    std::fill(z.begin(), z.end(), 0.0f);
    os.process(z.data(), 1024, 44100);
    for (float v : z) ASSERT_EQ(v, 0.0f);
    // Input again: processed normally, from a clean state.
    OutputStage fresh;
    fresh.configure(0.8, 0.7, 0.064, OutputStage::Saturate, true);
    std::vector<float> warm(2048, 0.0f);
    fresh.process(warm.data(), 2048, 44100);
    std::vector<float> a = sine(220, 0.4, 512), b = a;
    os.process(a.data(), 512, 44100);
    fresh.process(b.data(), 512, 44100);
    for (int i = 0; i < 512; ++i) EXPECT_NEAR(a[i], b[i], 1e-4) << i;
    EXPECT_GT(peakFrom(a, 256), 0.05);
}
