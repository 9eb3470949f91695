#pragma once
// Band-limited single-cycle saw and square tables: one level per range of periods, each
// level's partials below half the sample rate for every period mapped to it.
#include <cstdint>

namespace kelo {

struct Wavetable {
    static constexpr int kMapSize = 22050;
    const uint8_t* levelOf;  // [kMapSize] period index -> level (long periods: level 0, richest)
    const int* length;       // samples per level
    const int* offset;       // start of each level in data
    const int* harmonics;    // highest partial number stored in each level
    const float* data;
    int levelCount;

    int levels() const { return levelCount; }
    // One level's cycle, as the oscillator holds it while its period stays put.
    struct Level {
        const float* d = nullptr;
        int n = 0;
    };
    Level level(int periodIndex) const {
        if (periodIndex < 0) periodIndex = 0;
        if (periodIndex >= kMapSize) periodIndex = kMapSize - 1;
        const int lv = levelOf[periodIndex];
        return {data + offset[lv], length[lv]};
    }
    // Linear-interpolated read of a level at phase 0..1.
    static double read(const Level& l, double phase) {
        const double x = phase * l.n;
        int i = static_cast<int>(x);
        const double f = x - i;
        if (i >= l.n) i -= l.n; // phase may touch 1.0 exactly
        if (i < 0) i = 0;
        const int j = (i + 1 == l.n) ? 0 : i + 1;
        return l.d[i] * (1.0 - f) + l.d[j] * f;
    }
    // Linear-interpolated read at phase 0..1 for the given period index.
    double read(int periodIndex, double phase) const { return read(level(periodIndex), phase); }

    static const Wavetable& saw();
    static const Wavetable& square();
};

// Level-map index for a phase increment: the whole period in samples, scaled to the
// rate class's reference rate (scale 1.0884354, 1.0 or 0.5).
inline int periodIndex(double delta, double scale) {
    const double inv = 1.0 / delta;
    if (!(inv < 44100.0)) return Wavetable::kMapSize - 1; // zero, tiny or NaN increment
    if (inv < 0.0) return 0;
    return static_cast<int>(static_cast<double>(static_cast<int>(inv)) * scale);
}

// Worst-case ratio of actual to nominal period index (rate class 0 scales the period
// index up by this much), so levels are limited as if every period were that much shorter.
// The table generator (engine/tables) designs the levels with the same margin.
constexpr double kWavetablePeriodMargin = 1.0884354;

} // namespace kelo
