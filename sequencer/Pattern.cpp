#include "sequencer/Pattern.h"

#include <cstring>

namespace kelo {

void clearPattern(Pattern& p, bool gate) {
    p.setTriplet(false);
    const int n = playedSteps(p);
    for (int i = 0; i < n; ++i) p.steps[i] = PatternStep{0, uint8_t(gate ? StepGate : 0)};
}

void randomizePattern(Pattern& p, PatternRandom& rng) {
    const int n = playedSteps(p);
    for (int i = 0; i < n; ++i) {
        // Draw order is fixed so a given seed always yields the same pattern.
        const bool accent = (rng.next() & 1) != 0;
        const bool gate = (rng.next() & 3) != 0;
        const bool slide = (rng.next() % 3) == 0;
        const bool up = (rng.next() & 1) != 0;
        const bool down = (rng.next() & 1) != 0;
        const int note = rng.next() % 14;
        uint8_t flags = 0;
        if (accent) flags |= StepAccent;
        if (gate) flags |= StepGate;
        if (slide) flags |= StepSlide;
        if (up) flags |= StepUp;
        if (down) flags |= StepDown;
        p.steps[i] = PatternStep{uint8_t(note), flags};
    }
}

void scrambleSteps(Pattern& p, PatternRandom& rng) {
    const int n = playedSteps(p);
    PatternStep copy[kMaxSteps];
    std::memcpy(copy, p.steps, sizeof copy);
    bool used[kMaxSteps] = {};
    for (int i = 0; i < n; ++i) {
        int j = rng.next() % n;
        // Redraw until unused; the bound only guards against a degenerate generator stream.
        for (int tries = 0; used[j] && tries < 1000000; ++tries) j = rng.next() % n;
        if (used[j]) {
            j = 0;
            while (used[j]) ++j;
        }
        used[j] = true;
        p.steps[i] = copy[j];
    }
}

void transposePattern(Pattern& p, int semitones) {
    const int n = playedSteps(p);
    for (int i = 0; i < n; ++i) {
        PatternStep s = p.steps[i];
        const int up = (s.flags & StepUp) ? 1 : 0;
        const int down = (s.flags & StepDown) ? 1 : 0;
        int v = semitones + s.note + 12 * (up - down);
        uint8_t flags = uint8_t(s.flags & ~(StepUp | StepDown));
        if (v > 12) {
            v -= 12;
            flags |= StepUp;
        } else if (v < 0) {
            v += 12;
            if (v < 0) v = 0;
            flags |= StepDown;
        }
        p.steps[i] = PatternStep{uint8_t(v & 31), flags};
    }
}

void rotatePattern(Pattern& p, int steps) {
    const int n = playedSteps(p);
    PatternStep copy[kMaxSteps];
    std::memcpy(copy, p.steps, sizeof copy);
    // Any shift is reduced modulo the length, so out-of-range requests stay in bounds.
    const int shift = ((steps % n) + n) % n;
    for (int i = 0; i < n; ++i) p.steps[i] = copy[(i - shift + n) % n];
}

void lengthenPattern(Pattern& p) { p.setStepCount(playedSteps(p) + 1); }

void shortenPattern(Pattern& p) { p.setStepCount(playedSteps(p) - 1); }

void keepStepFlags(Pattern& p, uint8_t keep) {
    const int n = playedSteps(p);
    for (int i = 0; i < n; ++i) p.steps[i].flags &= keep;
}

void randomizePitches(Pattern& p, PatternRandom& rng) {
    const int n = playedSteps(p);
    for (int i = 0; i < n; ++i) {
        // Three draws per step, the pitch from the third: a seed always gives the same pitches.
        rng.next();
        rng.next();
        p.steps[i].note = uint8_t(rng.next() % 14);
    }
}

} // namespace kelo
