#include "engine/FilterTables.h"

#include <cmath>

namespace kelo {
namespace {

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

constexpr Anchor kFeedback[] = {{0, 0.51864},   {1, 0.52803},   {2, 0.53741},
                                {3, 0.54679},   {128, 1.68831}, {284, 3.71552},
                                {358, 2.55135}, {402, 2.28295}};
constexpr Anchor kLevel[] = {{0, 0.10859},   {1, 0.14524},   {2, 0.18189},
                             {3, 0.21855},   {128, 1.55105}, {284, 3.51216},
                             {358, 2.73429}, {402, 2.83073}};

} // namespace

void FilterTables::build() {
    for (int i = 0; i < kExpSize; ++i) {
        double v = std::exp(5.0 * i / 1024.0 + 5.0) / 22050.0 - 0.0015;
        if (v < 0.0) v = 0.0;
        if (v > 1.0) v = 1.0;
        exponential[i] = static_cast<float>(v);
    }
    fillCurve(feedback, kCurveSize, kFeedback, 8);
    fillCurve(level, kCurveSize, kLevel, 8);
}

const FilterTables& FilterTables::get() {
    static const FilterTables t = [] {
        FilterTables f;
        f.build();
        return f;
    }();
    return t;
}

} // namespace kelo
