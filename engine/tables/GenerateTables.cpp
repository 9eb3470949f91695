// Build-time generator of the engine's constant tables: the band-limited saw and square
// wavetable sets and the filter's exponential, feedback and level curves. Designing them
// takes about half a billion instructions, far too much for every instance start (hosts
// load each plug-in when they scan and when a project opens), so the build runs this once
// on the build machine and compiles its output into the engine as constant data.
//
//   kelo_tablegen <output.cpp>
//
// Floats are written as hexadecimal literals, so the compiled data are these exact values.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/Dsp.h"
#include "engine/FilterTables.h"
#include "engine/Wavetables.h"

namespace kelo {
namespace {

constexpr int kMapSize = Wavetable::kMapSize;
constexpr double kPeriodMargin = kWavetablePeriodMargin;
constexpr int kExpSize = FilterTables::kExpSize;
constexpr int kCurveSize = FilterTables::kCurveSize;

struct Table {
    uint8_t levelOf[kMapSize];
    std::vector<int> length, offset, harmonics;
    std::vector<float> data;
};

constexpr double kPi = 3.14159265358979323846;

struct Shape {
    int levels;      // number of levels
    int firstLength; // samples in level 0
    bool oddOnly;    // square: odd partials only
};

// Highest partial number h with h * margin / period < 1/2 for every period >= minPeriod.
int partialsFor(int minPeriod, bool oddOnly) {
    int h = static_cast<int>(std::ceil(minPeriod / (2.0 * kPeriodMargin))) - 1;
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
int minPeriodFor(int h) { return static_cast<int>(std::floor(2.0 * kPeriodMargin * h)) + 1; }

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

Table makeTable(const Shape& sh) {
    Table t;
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

    for (int p = 0; p < kMapSize; ++p) {
        int l = 0;
        while (l < sh.levels - 1 && p < pmin[l]) ++l;
        t.levelOf[p] = static_cast<uint8_t>(l);
    }
    return t;
}

struct Anchor {
    double x, y;
};

// Shape-preserving cubic (monotone piecewise Hermite) through the anchors: passes through
// every anchor, never overshoots between them, and has zero slope at a local extremum,
// so the stated peak stays the peak.
void fillCurve(float* out, int size, const Anchor* a, int count) {
    double slope[16];
    double secant[16];
    for (int k = 0; k + 1 < count; ++k) secant[k] = (a[k + 1].y - a[k].y) / (a[k + 1].x - a[k].x);
    slope[0] = secant[0];
    slope[count - 1] = 0.0; // the curve continues flat past the last anchor
    for (int k = 1; k + 1 < count; ++k) {
        const double s0 = secant[k - 1], s1 = secant[k];
        if (s0 * s1 <= 0.0) {
            slope[k] = 0.0;
        } else {
            const double h0 = a[k].x - a[k - 1].x, h1 = a[k + 1].x - a[k].x;
            const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
            slope[k] = (w0 + w1) / (w0 / s0 + w1 / s1);
        }
    }
    int k = 0;
    for (int i = 0; i < size; ++i) {
        if (i >= a[count - 1].x) {
            out[i] = static_cast<float>(a[count - 1].y);
            continue;
        }
        while (i >= a[k + 1].x) ++k;
        const double h = a[k + 1].x - a[k].x;
        const double t = (i - a[k].x) / h;
        const double t2 = t * t, t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * a[k].y + (t3 - 2 * t2 + t) * h * slope[k] +
                         (-2 * t3 + 3 * t2) * a[k + 1].y + (t3 - t2) * h * slope[k + 1];
        out[i] = static_cast<float>(v);
    }
}

constexpr double kDefaultFeedbackScale = 3.985;

// Loop gain at which the linear four-stage chain (feedback through one sample of delay)
// starts to oscillate, for stage rate g. With a = 1 - c the chain's phase is
// -w - 4 atan2(a sin w, 1 - a cos w); the loop goes unstable where that phase reaches -pi
// (inside the band, or at Nyquist) and the gain there is 1 / |H|^4.
double criticalGain(double g) {
    const double c = dsp::rk4Coeff(g);
    const double a = 1.0 - c;
    auto phase = [a](double w) { return -w - 4.0 * std::atan2(a * std::sin(w), 1.0 - a * std::cos(w)) + kPi; };
    auto inverseGain = [a, c](double w) {
        const double re = 1.0 - a * std::cos(w), im = a * std::sin(w);
        const double h2 = c * c / (re * re + im * im);
        return 1.0 / (h2 * h2);
    };
    double best = inverseGain(kPi);
    const int steps = 160;
    const double grow = std::pow(kPi * 0.999999 / 1e-4, 1.0 / steps);
    double w0 = 1e-4, p0 = phase(w0);
    for (int k = 1; k <= steps; ++k) {
        const double w1 = w0 * grow;
        const double p1 = phase(w1);
        if ((p0 > 0.0) != (p1 > 0.0)) {
            double lo = w0, hi = w1;
            for (int it = 0; it < 50; ++it) {
                const double mid = 0.5 * (lo + hi);
                if ((phase(mid) > 0.0) == (p0 > 0.0)) lo = mid;
                else hi = mid;
            }
            best = std::min(best, inverseGain(0.5 * (lo + hi)));
        }
        w0 = w1;
        p0 = p1;
    }
    return best;
}

// The feedback curve expressed as a share of the critical loop gain: the given points
// sit at 52% (closed filter) to 99% (fully open) of it. Interpolating that share instead
// of the raw values keeps every entry between them below self-oscillation of the linear
// chains at full resonance, which a plain spline through the values does not.
void fillFeedback(float* out, int size, const Anchor* a, int count) {
    Anchor share[16];
    // An open loop with g = 0 never oscillates; its limit is approached from a tiny rate.
    auto rateAt = [](double i) { return std::max(i, 0.25) / 256.0; };
    for (int k = 0; k < count; ++k)
        share[k] = {a[k].x, a[k].y * kDefaultFeedbackScale / criticalGain(rateAt(a[k].x))};
    float ratio[kCurveSize];
    fillCurve(ratio, size, share, count);
    const int flat = static_cast<int>(a[count - 1].x);
    for (int i = 0; i < size; ++i) {
        out[i] = i >= flat ? static_cast<float>(a[count - 1].y)
                           : static_cast<float>(ratio[i] * criticalGain(rateAt(i)) / kDefaultFeedbackScale);
    }
    // Just past the stated peak the critical gain still climbs (until its Nyquist limit
    // takes over); hold the peak value there so the peak stays put and the curve only
    // falls after it. This leaves a corner at each end of that short plateau.
    int peak = 0;
    for (int k = 1; k < count; ++k)
        if (a[k].y > a[peak].y) peak = k;
    for (int i = static_cast<int>(a[peak].x) + 1; i < flat; ++i) out[i] = std::min(out[i], out[i - 1]);
}

constexpr Anchor kFeedback[] = {{0, 0.51864},   {1, 0.52803},   {2, 0.53741},
                                {3, 0.54679},   {128, 1.68831}, {284, 3.71552},
                                {358, 2.55135}, {402, 2.28295}};
constexpr Anchor kLevel[] = {{0, 0.10859},   {1, 0.14524},   {2, 0.18189},
                             {3, 0.21855},   {128, 1.55105}, {284, 3.51216},
                             {358, 2.73429}, {402, 2.83073}};

void writeFloats(FILE* f, const char* type, const char* name, const float* v, size_t n) {
    std::fprintf(f, "extern const %s %s[%zu];\nconst %s %s[%zu] = {", type, name, n, type, name, n);
    for (size_t i = 0; i < n; ++i) std::fprintf(f, "%s%a", i == 0 ? "\n    " : (i % 6 ? ", " : ",\n    "), double(v[i]));
    std::fprintf(f, "};\n\n");
}

template <typename T>
void writeInts(FILE* f, const char* type, const char* name, const T* v, size_t n) {
    std::fprintf(f, "extern const %s %s[%zu];\nconst %s %s[%zu] = {", type, name, n, type, name, n);
    for (size_t i = 0; i < n; ++i) std::fprintf(f, "%s%d", i == 0 ? "\n    " : (i % 16 ? ", " : ",\n    "), int(v[i]));
    std::fprintf(f, "};\n\n");
}

void writeTable(FILE* f, const char* prefix, const Table& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%sLevelOf", prefix);
    writeInts(f, "uint8_t", name, t.levelOf, kMapSize);
    std::snprintf(name, sizeof name, "%sLength", prefix);
    writeInts(f, "int", name, t.length.data(), t.length.size());
    std::snprintf(name, sizeof name, "%sOffset", prefix);
    writeInts(f, "int", name, t.offset.data(), t.offset.size());
    std::snprintf(name, sizeof name, "%sHarmonics", prefix);
    writeInts(f, "int", name, t.harmonics.data(), t.harmonics.size());
    std::snprintf(name, sizeof name, "%sData", prefix);
    writeFloats(f, "float", name, t.data.data(), t.data.size());
}

} // namespace
} // namespace kelo

int main(int argc, char** argv) {
    using namespace kelo;
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelo_tablegen <output.cpp>\n");
        return 2;
    }
    // Written beside the target and renamed over it, so an interrupted run leaves no
    // half-written source for the next build to take as up to date.
    const std::string path = argv[1];
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) {
        std::perror(temp.c_str());
        return 1;
    }
    static Table saw = makeTable({181, 2432, false});
    static Table square = makeTable({164, 1320, true});
    float exponential[kExpSize], feedback[kCurveSize], level[kCurveSize];
    for (int i = 0; i < kExpSize; ++i) {
        double v = std::exp(5.0 * i / 1024.0 + 5.0) / 22050.0 - 0.0015;
        if (v < 0.0) v = 0.0;
        if (v > 1.0) v = 1.0;
        exponential[i] = static_cast<float>(v);
    }
    fillFeedback(feedback, kCurveSize, kFeedback, 8);
    fillCurve(level, kCurveSize, kLevel, 8);

    std::fprintf(f, "// Generated by kelo_tablegen (engine/tables/GenerateTables.cpp). Do not edit.\n"
                    "#include <cstdint>\n\nnamespace kelo::tables {\n\n");
    writeTable(f, "saw", saw);
    writeTable(f, "square", square);
    std::fprintf(f, "extern const int sawLevels = %d, squareLevels = %d;\n\n", int(saw.length.size()),
                 int(square.length.size()));
    writeFloats(f, "float", "exponential", exponential, kExpSize);
    writeFloats(f, "float", "feedback", feedback, kCurveSize);
    writeFloats(f, "float", "level", level, kCurveSize);
    // The widened copies the filter reads per sample, so no instance converts them.
    writeFloats(f, "double", "exponentialWide", exponential, kExpSize);
    writeFloats(f, "double", "feedbackWide", feedback, kCurveSize);
    writeFloats(f, "double", "levelWide", level, kCurveSize);
    std::fprintf(f, "} // namespace kelo::tables\n");
    const bool ok = std::fflush(f) == 0 && !std::ferror(f);
    if (std::fclose(f) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::perror(path.c_str());
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
