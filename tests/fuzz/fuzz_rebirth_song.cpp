// ".rbs" song files: only patterns 0..63 change, each to 1..16 steps of what the format
// holds; knobs arrive normalised; the selected pattern is one of the bank's; a song without
// a bass unit changes nothing.
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
    RebirthSong song;
    parseRebirthSong(std::span<const uint8_t>(data, size), song);
    FUZZ_CHECK(song.unitCount >= 0 && song.unitCount <= kRebirthUnits);
    for (int u = 0; u < song.unitCount; ++u) FUZZ_CHECK(song.units[u].size <= kRebirthUnitBytes);

    PatternBank bank = kBefore;
    fuzz::CheckedParameters params;
    int selected = -2;
    const bool applied = applyRebirthSong(song, bank, &params, selected);
    FUZZ_CHECK(selected >= -1 && selected < kNumPatterns);
    if (!applied) FUZZ_CHECK(std::memcmp(&bank, &kBefore, sizeof bank) == 0);
    for (int i = 0; i < kNumPatterns; ++i) {
        const Pattern& p = bank.patterns[i];
        if (std::memcmp(&p, &kBefore.patterns[i], sizeof p) == 0) continue;
        FUZZ_CHECK(i < 2 * kRebirthPatternsPerUnit && i / kRebirthPatternsPerUnit < song.unitCount);
        FUZZ_CHECK(p.stepCount() >= 1 && p.stepCount() <= kRebirthStepsPerPattern);
        FUZZ_CHECK((p.header & ~0x7Fu) == (kBefore.patterns[i].header & ~0x7Fu));
        for (int s = 0; s < kMaxSteps; ++s) {
            const PatternStep& step = p.steps[s];
            if (s >= p.stepCount()) {
                FUZZ_CHECK(step.note == 200 && step.flags == 0xE0);
                continue;
            }
            FUZZ_CHECK(step.note <= 35 && (step.flags & 0xE0) == 0);
        }
    }
    return 0;
}
