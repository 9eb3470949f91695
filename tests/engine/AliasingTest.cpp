// Measured aliasing of the band-limited oscillator across the playing range.
#include <gtest/gtest.h>

#include <cstdio>

#include "EngineTestUtil.h"
#include "engine/Filter.h"
#include "engine/Tuning.h"
#include "engine/Wavetables.h"

using namespace kelo;

namespace {

// Strongest component that is neither a harmonic of f0 nor DC, relative to the fundamental,
// in dB, for the oscillator read exactly as the voice reads it.
double worstNonHarmonicDb(const Wavetable& w, double f0, double fs) {
    const size_t n = fs > 50000 ? 65536 : 32768;
    const double delta = f0 / fs;
    const int period = periodIndex(delta, RateClass::of(fs).periodScale);
    std::vector<double> x(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i, phase += delta) {
        if (phase > 1.0) phase -= 1.0;
        x[i] = w.read(period, phase);
    }
    const std::vector<double> m = test::magnitudeSpectrum(x);
    const double fundBin = f0 * double(n) / fs;
    double fund = 0, worst = 0;
    for (size_t k = 0; k < m.size(); ++k) {
        if (std::fabs(double(k) - fundBin) <= 2.0) fund = std::max(fund, m[k]);
        const double h = std::round(double(k) / fundBin);
        if (std::fabs(double(k) - h * fundBin) > 6.0) worst = std::max(worst, m[k]); // outside main lobes
    }
    return 20.0 * std::log10(worst / fund + 1e-30);
}

} // namespace

// What remains is the images of linear interpolation between table samples, which the
// tables are sized to keep near -80 dB. Measured, MIDI 24..108 (dB below the fundamental):
// saw -79.5 / -79.3, square -79.3 / -79.5 at 44.1 / 96 kHz. A partial above Nyquist or a
// wrong level choice shows up as -60 dB or worse.
TEST(Aliasing, StaysFarBelowTheFundamentalFromMidi24To108) {
    TuningTables t;
    t.build();
    for (const Wavetable* w : {&Wavetable::saw(), &Wavetable::square()}) {
        for (double fs : {44100.0, 96000.0}) {
            double worst = -400;
            for (int note = 24; note <= 108; note += 3) worst = std::max(worst, worstNonHarmonicDb(*w, t.equal[note], fs));
            std::printf("%s aliasing at %.1f kHz: %.1f dB\n", w == &Wavetable::saw() ? "saw" : "square", fs / 1000, worst);
            EXPECT_LT(worst, -78.0) << fs;
        }
    }
}
