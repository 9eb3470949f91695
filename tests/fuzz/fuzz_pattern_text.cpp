// ".pat" text, read as a bank and as a single pattern file with its parameter lines:
// patterns stay playable, steps carry only what the format holds, patterns without a block
// keep their contents, and a bank written back reads to itself.
#include <string>

#include "files/ParameterFile.h"
#include "files/PatternFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

namespace {

// Content no reader produces, so untouched patterns show.
PatternBank sentinel() {
    PatternBank bank;
    for (int i = 0; i < kNumPatterns; ++i) {
        bank.patterns[i].header = 0x00012300u | uint32_t(i % 50 + 1);
        for (int s = 0; s < kMaxSteps; ++s) bank.patterns[i].steps[s] = PatternStep{uint8_t(40 + s % 20), 0xE0};
    }
    return bank;
}

bool same(const Pattern& a, const Pattern& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Steps a reader stored: a note of the table with at most two octaves added, no tie or marker.
void checkReadSteps(const Pattern& p, int stored) {
    for (int s = 0; s < stored; ++s) {
        FUZZ_CHECK(p.steps[s].note <= 35);
        FUZZ_CHECK((p.steps[s].flags & 0xE0) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const PatternBank kSentinel = sentinel();

    PatternBank bank = kSentinel;
    const int blocks = parseBank(bank, text);
    FUZZ_CHECK(blocks >= 0 && blocks <= kNumPatterns);
    for (int i = 0; i < kNumPatterns; ++i) {
        if (i >= blocks) {
            FUZZ_CHECK(same(bank.patterns[i], kSentinel.patterns[i]));
            continue;
        }
        fuzz::checkPatternPlayable(bank.patterns[i]);
    }

    // Written and read back, the patterns read are stable: the second reading gives the same
    // text. (Only those: formatting all 128 would cost far more than the input.)
    const auto written = [&](const PatternBank& b) {
        std::string out;
        for (int i = 0; i < blocks; ++i) out += formatPattern(b.patterns[i]);
        return out;
    };
    PatternBank back = kSentinel;
    FUZZ_CHECK(parseBank(back, written(bank)) == blocks);
    for (int i = 0; i < blocks; ++i) checkReadSteps(back.patterns[i], back.patterns[i].stepCount());
    const std::string again = written(back);
    PatternBank third = kSentinel;
    parseBank(third, again);
    FUZZ_CHECK(written(third) == again);

    // As one pattern file with its parameter lines.
    Pattern p = kSentinel.patterns[7];
    ParameterCapture capture;
    parsePattern(p, text, &capture);
    fuzz::checkPatternPlayable(p);
    for (int i = 0; i < kCaptureSlots; ++i) {
        FUZZ_CHECK(capture.present[i] == 0 || capture.present[i] == 1);
        FUZZ_CHECK(std::isfinite(capture.values[i]));
        FUZZ_CHECK(i < CaptureNameCount || capture.present[i] == 0);
    }
    EngineSettings settings;
    fuzz::CheckedParameters params;
    applyParameterLines(capture, settings, params, [](double bpm) { FUZZ_CHECK(std::isfinite(bpm) && bpm >= 0.000001); });
    return 0;
}
