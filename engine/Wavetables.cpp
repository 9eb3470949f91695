#include "engine/Wavetables.h"

#include <cmath>

namespace kelo {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Shape {
    int levels;      // number of levels
    int firstLength; // samples in level 0
    bool oddOnly;    // square: odd partials only
};

// Highest partial number h with h * margin / period < 1/2 for every period >= minPeriod.
int partialsFor(int minPeriod, bool oddOnly) {
    int h = static_cast<int>(std::ceil(minPeriod / (2.0 * kWavetablePeriodMargin))) - 1;
    if (oddOnly && h > 1 && h % 2 == 0) --h;
    return h < 1 ? 1 : h;
}

// Linear interpolation between table samples leaves images of every stored partial
// around multiples of the table length; they fold back as non-harmonic components.
// Relative to the fundamental, the image of partial h (amplitude 1/h) next to the first
// table-rate multiple is sin^2(pi h/n) / (pi (1 - h/n))^2 / h, largest for the top partial.
constexpr double kImageLimit = 1.0e-4; // -80 dB

double imageRatio(int h, int n) {
    const double x = static_cast<double>(h) / n;
    const double s = std::sin(kPi * x);
    const double d = kPi * (1.0 - x);
    return s * s / (d * d) / h;
}

// Smallest period for which a level holding partials up to h stays below Nyquist.
int minPeriodFor(int h) { return static_cast<int>(std::floor(2.0 * kWavetablePeriodMargin * h)) + 1; }

// Level 0 holds as many partials as its fixed length allows with the images in limit.
int topPartial(const Shape& sh) {
    int h = 1;
    while (imageRatio(h + 1, sh.firstLength) <= kImageLimit) ++h;
    if (sh.oddOnly && h % 2 == 0) --h;
    return h;
}

// Level boundaries: level 0 takes the longest periods; the remaining levels split the
// shorter periods geometrically, one period at least each.
std::vector<int> minPeriods(const Shape& sh) {
    const int p0 = minPeriodFor(topPartial(sh));
    const int last = sh.levels - 1; // the last level catches every period below the others
    auto series = [&](double ratio) {
        std::vector<int> p(sh.levels, 0);
        p[0] = p0;
        double v = p0;
        for (int l = 1; l < last; ++l) {
            v *= ratio;
            int q = static_cast<int>(std::floor(v));
            if (q >= p[l - 1]) q = p[l - 1] - 1;
            p[l] = q;
        }
        return p;
    };
    // Largest ratio whose series still ends at a period of 2 or more.
    double lo = 0.5, hi = 1.0;
    for (int it = 0; it < 60; ++it) {
        const double mid = 0.5 * (lo + hi);
        if (series(mid)[last - 1] >= 2) hi = mid;
        else lo = mid;
    }
    return series(hi);
}

Wavetable makeTable(const Shape& sh) {
    Wavetable t;
    const std::vector<int> pmin = minPeriods(sh);
    t.length.resize(sh.levels);
    t.offset.resize(sh.levels);
    t.harmonics.resize(sh.levels);
    int total = 0;
    for (int l = 0; l < sh.levels; ++l) {
        // The last level's minimum period is 0: it holds the fundamental alone.
        const int hs = partialsFor(pmin[l], sh.oddOnly);
        t.harmonics[l] = hs;
        // Shortest even length that keeps the interpolation images in limit.
        int n = sh.firstLength;
        if (l > 0) {
            n = 2 * hs + 2;
            while (imageRatio(hs, n) > kImageLimit) n += 2;
            if (n > sh.firstLength) n = sh.firstLength;
        }
        t.length[l] = n;
        t.offset[l] = total;
        total += n;
    }
    t.data.assign(total, 0.0f);

    std::vector<double> sine, acc;
    for (int l = 0; l < sh.levels; ++l) {
        const int n = t.length[l];
        sine.resize(n);
        acc.assign(n, 0.0);
        for (int i = 0; i < n; ++i) sine[i] = std::sin(2.0 * kPi * i / n);
        const int step = sh.oddOnly ? 2 : 1;
        for (int h = 1; h <= t.harmonics[l]; h += step) {
            // Saw: rising through zero at phase 0 with its jump at half a cycle.
            // Square: +1 for the first half cycle. Both with unit nominal amplitude.
            const double amp = sh.oddOnly ? 4.0 / (kPi * h) : ((h & 1) ? 2.0 : -2.0) / (kPi * h);
            int idx = 0;
            for (int i = 0; i < n; ++i) {
                acc[i] += amp * sine[idx];
                idx += h % n;
                if (idx >= n) idx -= n;
            }
        }
        float* d = t.data.data() + t.offset[l];
        for (int i = 0; i < n; ++i) d[i] = static_cast<float>(acc[i]);
    }

    for (int p = 0; p < Wavetable::kMapSize; ++p) {
        int l = 0;
        while (l < sh.levels - 1 && p < pmin[l]) ++l;
        t.levelOf[p] = static_cast<uint8_t>(l);
    }
    return t;
}

} // namespace

// Built once per process on first use (the voice's init forces it, off the audio thread):
// generating from the partial series keeps the data out of the repository and costs a
// few milliseconds, less than loading an equivalent binary blob from disk would.
const Wavetable& Wavetable::saw() {
    static const Wavetable t = makeTable({181, 2432, false});
    return t;
}

const Wavetable& Wavetable::square() {
    static const Wavetable t = makeTable({164, 1320, true});
    return t;
}

} // namespace kelo
