#pragma once
// Pattern record and bank. The byte layout is persistent (state chunk, pattern files):
// 4-byte little-endian header word followed by 64 two-byte steps, no padding.
#include <cstddef>
#include <cstdint>

namespace kelo {

enum StepFlag : uint8_t {
    StepGate = 0x01,
    StepUp = 0x02,
    StepDown = 0x04,
    StepSlide = 0x08,
    StepAccent = 0x10,
    StepTie = 0x20,
    StepRestMark = 0x40,
    StepNoteMark = 0x80,
};

struct PatternStep {
    uint8_t note;  // semitones above the base C; playback uses bits 0..4
    uint8_t flags; // StepFlag bits
};
static_assert(sizeof(PatternStep) == 2);

constexpr int kMaxSteps = 64;
constexpr int kNumPatterns = 128;

struct Pattern {
    uint32_t header; // bits 0..6 stepCount, 8..15 shuffle, 31 triplet; other bits preserved
    PatternStep steps[kMaxSteps];

    int stepCount() const { return int(header & 0x7F); }
    void setStepCount(int n) {
        if (n < 1) n = 1;
        if (n > kMaxSteps) n = kMaxSteps;
        header = (header & ~0x7Fu) | uint32_t(n);
    }
    int shuffle() const { return int((header >> 8) & 0xFF); }
    void setShuffle(int s) {
        if (s < 0) s = 0;
        if (s > 127) s = 127;
        header = (header & ~0xFF00u) | (uint32_t(s) << 8);
    }
    bool triplet() const { return (header >> 31) != 0; }
    void setTriplet(bool t) { header = t ? (header | 0x80000000u) : (header & 0x7FFFFFFFu); }
};
static_assert(sizeof(Pattern) == 132);
static_assert(offsetof(Pattern, steps) == 4);

struct PatternBank {
    Pattern patterns[kNumPatterns];
};
static_assert(sizeof(PatternBank) == 16896);

// MIDI note number a step sounds at: base C is 36, octave flags add or remove 12.
inline int stepMidiNote(const PatternStep& s) {
    const int up = (s.flags & StepUp) ? 1 : 0;
    const int down = (s.flags & StepDown) ? 1 : 0;
    return (s.note & 31) + 36 + 12 * (up - down);
}

// Tiny LCG used for pattern randomisation; the owner seeds it from the tick count.
class PatternRandom {
public:
    explicit PatternRandom(uint32_t seed = 1) : seed_(seed) {}
    void seed(uint32_t s) { seed_ = s; }
    int next() {
        seed_ = seed_ * 214013u + 2531011u;
        return int((seed_ >> 16) & 0x7FFF);
    }

private:
    uint32_t seed_;
};

// Step count as playback and editing use it: stored headers may hold 0 or up to 127.
inline int playedSteps(const Pattern& p) {
    const int n = p.stepCount();
    return n < 1 ? 1 : (n > kMaxSteps ? kMaxSteps : n);
}

// Whole-pattern operations; they touch only the first stepCount steps.
void clearPattern(Pattern& p, bool gate);
void randomizePattern(Pattern& p, PatternRandom& rng);
void scrambleSteps(Pattern& p, PatternRandom& rng);
void transposePattern(Pattern& p, int semitones);
void rotatePattern(Pattern& p, int steps);
void lengthenPattern(Pattern& p);
void shortenPattern(Pattern& p);
// flags &= keep on the first stepCount steps (the menu's "all ... off" commands).
void keepStepFlags(Pattern& p, uint8_t keep);
// A new pitch 0..13 for each of the first stepCount steps, the third of three draws per step;
// flags stay.
void randomizePitches(Pattern& p, PatternRandom& rng);

} // namespace kelo
