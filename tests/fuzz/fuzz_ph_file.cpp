// ".ph" pattern bank text: patterns are filled from 0 in order, each with a playable count
// and 16 steps of what the format holds; later patterns and steps 16..63 keep their contents.
#include <span>

#include "files/ForeignImport.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const PatternBank kBefore = [] {
        PatternBank b;
        for (int i = 0; i < kNumPatterns; ++i) {
            b.patterns[i].header = 0x00012300u | 50;
            for (PatternStep& s : b.patterns[i].steps) s = PatternStep{200, 0xE0};
        }
        return b;
    }();
    PatternBank bank = kBefore;
    const int read = importPhText(std::span<const uint8_t>(data, size), bank);
    FUZZ_CHECK(read >= 0 && read <= kNumPatterns);
    for (int i = 0; i < kNumPatterns; ++i) {
        const Pattern& p = bank.patterns[i];
        if (i >= read) {
            FUZZ_CHECK(std::memcmp(&p, &kBefore.patterns[i], sizeof p) == 0);
            continue;
        }
        fuzz::checkPatternPlayable(p);
        FUZZ_CHECK((p.header & ~0x7Fu) == (kBefore.patterns[i].header & ~0x7Fu));
        for (int s = 0; s < kMaxSteps; ++s) {
            const PatternStep& step = p.steps[s];
            if (s >= kRebirthStepsPerPattern) FUZZ_CHECK(step.note == 200 && step.flags == 0xE0);
            else FUZZ_CHECK(step.note <= 35 && (step.flags & 0xE0) == 0 && (step.flags & 0x06) != 0x06);
        }
    }
    return 0;
}
