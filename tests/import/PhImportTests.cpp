// ".ph" pattern bank import and the import command's choice of format.
#include <gtest/gtest.h>

#include <memory>

#include "files/ForeignImport.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

// One pattern in the file's layout: a count line, then 16 step lines of nine integers (note,
// octave down, octave up, gate, accent, slide, three unused); steps not given are gated Cs.
std::string phPattern(long long count, const std::vector<std::string>& steps = {}) {
    std::string out = std::to_string(count) + " 0 0\n";
    for (size_t j = 0; j < 16; ++j) out += (j < steps.size() ? steps[j] : "0 0 0 1 0 0") + " 0 0 0\n";
    return out;
}

const PatternBank kSentinel = test::sentinelBank();

struct PhResult {
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>(kSentinel);
    int read = -2;
    bool unchangedFrom(int first) const {
        for (int i = first; i < kNumPatterns; ++i)
            if (!test::untouched(*bank, i)) return false;
        return true;
    }
};

PhResult importText(const std::string& text) {
    test::TempDir dir("ph");
    dir.write("bank.ph", text);
    PhResult r;
    r.read = importPhFile(dir.file("bank.ph"), *r.bank);
    return r;
}

TEST(PhImport, StepFieldsBecomeFlagsAndOnlyTheCountChangesInTheHeader) {
    // Both octave switches: an octave up, with the up flag only.
    const PhResult r = importText(phPattern(12, {"5 0 0 1 1 0", "7 1 0 1 0 1", "3 0 1 0 0 0", "2 1 1 1 0 0"}));
    EXPECT_EQ(r.read, 1);
    const Pattern& p = r.bank->patterns[0];
    EXPECT_EQ(p.header, (kSentinel.patterns[0].header & ~0x7Fu) | 12u);
    const PatternStep expected[] = {{5, StepGate | StepAccent}, {7, StepGate | StepDown | StepSlide},
                                    {3, StepUp}, {14, StepGate | StepUp}, {0, StepGate}};
    for (int s = 0; s < 5; ++s) EXPECT_EQ(std::tuple(p.steps[s].note, p.steps[s].flags),
                                          std::tuple(expected[s].note, expected[s].flags)) << s;
    // Steps beyond the 16 the format holds keep their contents.
    EXPECT_EQ(std::memcmp(p.steps + 16, kSentinel.patterns[0].steps + 16, 2 * (kMaxSteps - 16)), 0);
}

TEST(PhImport, NumbersAndCountsAreHeldInRange) {
    PhResult r = importText(phPattern(0) + phPattern(80) + phPattern(-3) +
                            phPattern(16, {"99999999 0 0 1 0 0", "-7 0 0 1 0 0", "2147483647 1 1 1 0 0",
                                           "-20 1 1 1 0 0", "-9 1 1 1 0 0"}) +
                            "99999999999999999999 1 1\n");
    EXPECT_EQ(r.read, 4);
    EXPECT_EQ(std::tuple(r.bank->patterns[0].stepCount(), r.bank->patterns[1].stepCount(),
                         r.bank->patterns[2].stepCount()), std::tuple(1, 64, 1));
    EXPECT_EQ(r.bank->patterns[1].steps[20].note, kSentinel.patterns[1].steps[20].note);
    // The octave that both switches add cannot overflow the largest number.
    const PatternStep* held = r.bank->patterns[3].steps;
    EXPECT_EQ(std::vector<int>({held[0].note, held[1].note, held[2].note, held[3].note, held[4].note}),
              std::vector<int>({35, 0, 35, 0, 3}));
    EXPECT_EQ(held[2].flags, StepGate | StepUp);

    std::string text;
    for (int i = 0; i < 130; ++i) text += phPattern(1 + i % 64, {std::to_string(i % 13) + " 0 0 1 0 0"});
    r = importText(text);
    EXPECT_EQ(r.read, 128);
    EXPECT_EQ(std::tuple(r.bank->patterns[127].stepCount(), r.bank->patterns[127].steps[0].note),
              std::tuple(1 + 127 % 64, uint8_t(127 % 13)));
}

TEST(PhImport, ShortTruncatedOrDamagedFilesChangeOnlyThePatternsTheyHoldInFull) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += phPattern(16, {std::to_string(i) + " 0 0 1 0 0"});
    const PhResult r = importText(ten);
    EXPECT_EQ(r.read, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.bank->patterns[i].steps[0].note, i);
    EXPECT_TRUE(r.unchangedFrom(10)); // not overwritten with the last values read

    const std::string good = phPattern(8, {"4 0 0 1 0 0"});
    std::string truncated = good + good;
    truncated.resize(good.size() + good.size() / 2);
    std::string garbage = good + phPattern(8) + good;
    garbage[good.size() + 30] = 'x';
    for (const std::string& text : {truncated, garbage}) {
        const PhResult damaged = importText(text);
        EXPECT_EQ(damaged.read, 1);
        EXPECT_EQ(damaged.bank->patterns[0].steps[0].note, 4);
        EXPECT_TRUE(damaged.unchangedFrom(1));
    }
}

TEST(ForeignImportCommand, PathDecidesTheFormat) {
    test::TempDir dir("cmd");
    for (const char* name : {"bank.ph", "bank.txt", "bank.RBS"}) dir.write(name, phPattern(5, {"9 0 0 1 0 0"}));
    auto bank = std::make_unique<PatternBank>(kSentinel);
    int selected = -2;
    // Upper case is neither format: the extension is matched as written.
    for (const char* name : {"bank.txt", "bank.RBS", "missing.ph"}) {
        EXPECT_FALSE(importForeignPatterns(dir.file(name), *bank, nullptr, selected)) << name;
        EXPECT_EQ(selected, -1);
    }
    EXPECT_EQ(std::memcmp(bank.get(), &kSentinel, sizeof(PatternBank)), 0);

    selected = -2;
    EXPECT_TRUE(importForeignPatterns(dir.file("bank.ph"), *bank, nullptr, selected));
    EXPECT_EQ(std::tuple(selected, bank->patterns[0].stepCount(), bank->patterns[0].steps[0].note),
              std::tuple(-1, 5, uint8_t(9)));

    EXPECT_EQ(importPhFile(dir.file("missing.ph"), *bank), -1) << "unreadable, not empty";

    // ".rbs" wins when both appear: a ".ph" file in a folder named like a song is read as a song.
    test::TempDir songDir("x.rbs");
    songDir.write("bank.ph", phPattern(5));
    EXPECT_FALSE(importForeignPatterns(songDir.file("bank.ph"), *bank, nullptr, selected));
}

} // namespace
} // namespace kelo
