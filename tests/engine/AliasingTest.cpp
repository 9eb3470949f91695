// Measured aliasing of the band-limited oscillator across the playing range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "EngineTestUtil.h"
#include "engine/Filter.h"
#include "engine/Tuning.h"
#include "engine/Wavetables.h"

using namespace kelo;

namespace {

// Strongest component that is not a harmonic of f0 (nor DC), relative to the fundamental,
// in dB, for the oscillator read exactly as the voice reads it.
double worstNonHarmonicDb(const Wavetable& w, double f0, double fs) {
    const size_t n = fs > 50000 ? 65536 : 32768;
    const double delta = f0 / fs;
    const int period = periodIndex(delta, RateClass::of(fs).periodScale);
    std::vector<double> x(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        x[i] = w.read(period, phase);
        phase += delta;
        if (phase > 1.0) phase -= 1.0;
    }
    const std::vector<double> m = test::magnitudeSpectrum(x);
    const double binHz = fs / static_cast<double>(n);
    const double fundBin = f0 / binHz;
    double fund = 0;
    for (long k = std::lround(fundBin) - 2; k <= std::lround(fundBin) + 2; ++k) fund = std::max(fund, m[k]);
    double worst = 0;
    for (size_t k = 0; k < m.size(); ++k) {
        const double h = std::round(k / fundBin);
        if (std::fabs(k - h * fundBin) <= 6.0) continue; // main lobe of a harmonic or of DC
        worst = std::max(worst, m[k]);
    }
    return 20.0 * std::log10(worst / fund + 1e-30);
}

double worstOverRange(const Wavetable& w, double fs) {
    TuningTables t;
    t.build();
    double worst = -400;
    for (int note = 24; note <= 108; note += 3) worst = std::max(worst, worstNonHarmonicDb(w, t.equal[note], fs));
    return worst;
}

} // namespace

// What remains is the images of linear interpolation between table samples, which the
// tables are sized to keep near -80 dB. Measured, MIDI 24..108 (dB below the fundamental):
// saw -79.5 / -79.3, square -79.3 / -79.5 at 44.1 / 96 kHz. A partial above Nyquist or a
// wrong level choice shows up as -60 dB or worse.
TEST(Aliasing, SawStaysFarBelowTheFundamental) {
    const double a44 = worstOverRange(Wavetable::saw(), 44100);
    const double a96 = worstOverRange(Wavetable::saw(), 96000);
    std::printf("saw aliasing: %.1f dB at 44.1 kHz, %.1f dB at 96 kHz\n", a44, a96);
    EXPECT_LT(a44, -78.0);
    EXPECT_LT(a96, -78.0);
}

TEST(Aliasing, SquareStaysFarBelowTheFundamental) {
    const double a44 = worstOverRange(Wavetable::square(), 44100);
    const double a96 = worstOverRange(Wavetable::square(), 96000);
    std::printf("square aliasing: %.1f dB at 44.1 kHz, %.1f dB at 96 kHz\n", a44, a96);
    EXPECT_LT(a44, -78.0);
    EXPECT_LT(a96, -78.0);
}
