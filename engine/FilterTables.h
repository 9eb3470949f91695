#pragma once
// Lookup tables of the filter: the exponential control-to-rate map and the feedback and
// level curves over the stage rate. Constant data, designed when the engine is built.

namespace kelo {

struct FilterTables {
    static constexpr int kExpSize = 2048;
    static constexpr int kCurveSize = 512;
    static constexpr int kFlatFrom = 402;
    const float* exponential; // [kExpSize]
    const float* feedback;    // [kCurveSize]
    const float* level;       // [kCurveSize]
    // The same values widened, for the per-sample reads (no conversion on the way).
    const double* exponentialWide;
    const double* feedbackWide;
    const double* levelWide;

    static const FilterTables& get();
};

// Linear interpolation at fractional index x; negative (or NaN) reads entry 0 and an index
// past the end reads the last entry, so no control value can read outside the table.
template <typename T>
inline double tableRead(const T* t, int size, double x) {
    if (!(x > 0.0)) [[unlikely]]
        return t[0];
    if (x >= size - 1) [[unlikely]]
        return t[size - 1];
    const int i = static_cast<int>(x);
    const double f = x - i;
    return t[i] * (1.0 - f) + t[i + 1] * f;
}

// A table and a table of pairs (entry i at 2i and 2i + 1) read at the same index, each
// value exactly as tableRead reads it: the index is worked out once.
template <typename T>
inline void tableReadWithPair(const T* a, const T* pairs, int size, double x, double& ra, double& rb0, double& rb1) {
    if (!(x > 0.0)) [[unlikely]] {
        ra = a[0];
        rb0 = pairs[0];
        rb1 = pairs[1];
    } else if (x >= size - 1) [[unlikely]] {
        ra = a[size - 1];
        rb0 = pairs[2 * (size - 1)];
        rb1 = pairs[2 * (size - 1) + 1];
    } else {
        const int i = static_cast<int>(x);
        const double f = x - i;
        const T* p = pairs + 2 * i;
        ra = a[i] * (1.0 - f) + a[i + 1] * f;
        rb0 = p[0] * (1.0 - f) + p[2] * f;
        rb1 = p[1] * (1.0 - f) + p[3] * f;
    }
}

// Two tables read at the same index, each exactly as tableRead reads it.
template <typename T>
inline void tableRead2(const T* a, const T* b, int size, double x, double& ra, double& rb) {
    if (!(x > 0.0)) [[unlikely]] {
        ra = a[0];
        rb = b[0];
    } else if (x >= size - 1) [[unlikely]] {
        ra = a[size - 1];
        rb = b[size - 1];
    } else {
        const int i = static_cast<int>(x);
        const double f = x - i;
        ra = a[i] * (1.0 - f) + a[i + 1] * f;
        rb = b[i] * (1.0 - f) + b[i + 1] * f;
    }
}

} // namespace kelo
