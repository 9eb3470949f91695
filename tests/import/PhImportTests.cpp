// ".ph" pattern bank import and the import command's choice of format.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "files/ForeignImport.h"
#include "tests/import/ImportTestSupport.h"

namespace kelo {
namespace {

using test::fillSentinel;
using test::samePattern;

struct PhStep {
    int note = 0, down = 0, up = 0, gate = 1, accent = 0, slide = 0;
};

// One pattern in the file's layout: a count line, then 16 step lines of nine integers.
std::string phPattern(int count, const std::vector<PhStep>& steps) {
    std::ostringstream out;
    out << count << " 0 0\n";
    for (int j = 0; j < 16; ++j) {
        const PhStep s = j < int(steps.size()) ? steps[size_t(j)] : PhStep{};
        out << s.note << ' ' << s.down << ' ' << s.up << ' ' << s.gate << ' ' << s.accent << ' '
            << s.slide << " 0 0 0\n";
    }
    return out.str();
}

struct PhResult {
    std::unique_ptr<PatternBank> before = std::make_unique<PatternBank>();
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>();
    int read = -2;
};

PhResult importText(const std::string& text) {
    test::ScratchDir dir("ph");
    test::writeText(dir / "bank.ph", text);
    PhResult r;
    fillSentinel(*r.before);
    *r.bank = *r.before;
    r.read = importPhFile((dir / "bank.ph").string(), *r.bank);
    return r;
}

TEST(PhImport, StepFieldsBecomeFlags) {
    const PhResult r = importText(phPattern(12, {{5, 0, 0, 1, 1, 0},   // gate, accent
                                                 {7, 1, 0, 1, 0, 1},   // down, slide
                                                 {3, 0, 1, 0, 0, 0},   // up, rest
                                                 {2, 1, 1, 1, 0, 0}})); // both octave switches
    EXPECT_EQ(r.read, 1);
    const Pattern& p = r.bank->patterns[0];
    EXPECT_EQ(p.stepCount(), 12);
    EXPECT_EQ(p.header & ~0x7Fu, r.before->patterns[0].header & ~0x7Fu);
    EXPECT_EQ(p.steps[0].note, 5);
    EXPECT_EQ(p.steps[0].flags, StepGate | StepAccent);
    EXPECT_EQ(p.steps[1].flags, StepGate | StepDown | StepSlide);
    EXPECT_EQ(p.steps[2].flags, StepUp);
    // Both switches: the note an octave higher, with the up flag only.
    EXPECT_EQ(p.steps[3].note, 14);
    EXPECT_EQ(p.steps[3].flags, StepGate | StepUp);
    EXPECT_EQ(p.steps[4].flags, StepGate); // default step of the helper
    // Steps beyond the 16 the format holds keep their contents.
    for (int s = 16; s < kMaxSteps; ++s) EXPECT_EQ(p.steps[s].flags, r.before->patterns[0].steps[s].flags);
}

TEST(PhImport, CountsAreLimitedToOneTo64) {
    const PhResult r = importText(phPattern(0, {}) + phPattern(80, {}) + phPattern(-3, {}));
    EXPECT_EQ(r.read, 3);
    EXPECT_EQ(r.bank->patterns[0].stepCount(), 1);
    EXPECT_EQ(r.bank->patterns[1].stepCount(), 64);
    EXPECT_EQ(r.bank->patterns[1].steps[20].note, r.before->patterns[1].steps[20].note);
    EXPECT_EQ(r.bank->patterns[2].stepCount(), 1);
}

TEST(PhImport, ShortFileFillsOnlyThePatternsItHolds) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += phPattern(16, {{i, 0, 0, 1, 0, 0}});
    const PhResult r = importText(text);
    EXPECT_EQ(r.read, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.bank->patterns[i].steps[0].note, i);
    // The rest of the bank is not overwritten with the last values read.
    for (int i = 10; i < kNumPatterns; ++i) EXPECT_TRUE(samePattern(r.bank->patterns[i], r.before->patterns[i])) << i;
}

TEST(PhImport, DamagedPatternAndEverythingAfterItStayUnchanged) {
    const std::string good = phPattern(8, {{4, 0, 0, 1, 0, 0}});
    std::string truncated = good + good;
    truncated.resize(good.size() + good.size() / 2);
    std::string garbage = good + phPattern(8, {}) + good;
    garbage[good.size() + 30] = 'x';
    for (const std::string& text : {truncated, garbage}) {
        const PhResult r = importText(text);
        EXPECT_EQ(r.read, 1);
        EXPECT_EQ(r.bank->patterns[0].steps[0].note, 4);
        for (int i = 1; i < kNumPatterns; ++i) EXPECT_TRUE(samePattern(r.bank->patterns[i], r.before->patterns[i])) << i;
    }
}

TEST(PhImport, ExtremeNumbersAreHeldInRange) {
    const PhResult r = importText(phPattern(16, {{99999999, 0, 0, 1, 0, 0}, {-7, 0, 0, 1, 0, 0}}) +
                                  "99999999999999999999 1 1\n");
    EXPECT_EQ(r.read, 1);
    EXPECT_EQ(r.bank->patterns[0].steps[0].note, 35);
    EXPECT_EQ(r.bank->patterns[0].steps[1].note, 0);
}

TEST(PhImport, ReadsAtMost128Patterns) {
    std::string text;
    for (int i = 0; i < 130; ++i) text += phPattern(1 + i % 64, {{i % 13, 0, 0, 1, 0, 0}});
    const PhResult r = importText(text);
    EXPECT_EQ(r.read, 128);
    EXPECT_EQ(r.bank->patterns[127].stepCount(), 1 + 127 % 64);
    EXPECT_EQ(r.bank->patterns[127].steps[0].note, 127 % 13);
}

TEST(ForeignImportCommand, PathDecidesTheFormat) {
    test::ScratchDir dir("cmd");
    test::writeText(dir / "bank.ph", phPattern(5, {{9, 0, 0, 1, 0, 0}}));
    test::writeText(dir / "bank.txt", phPattern(5, {{9, 0, 0, 1, 0, 0}}));
    test::writeText(dir / "bank.RBS", phPattern(5, {{9, 0, 0, 1, 0, 0}}));
    auto bank = std::make_unique<PatternBank>();
    fillSentinel(*bank);
    const auto before = std::make_unique<PatternBank>(*bank);
    int selected = -2;

    EXPECT_FALSE(importForeignPatterns((dir / "bank.txt").string(), *bank, nullptr, selected));
    EXPECT_EQ(selected, -1);
    // The extension is matched as written: upper case is neither format.
    EXPECT_FALSE(importForeignPatterns((dir / "bank.RBS").string(), *bank, nullptr, selected));
    EXPECT_FALSE(importForeignPatterns((dir / "missing.ph").string(), *bank, nullptr, selected));
    for (int i = 0; i < kNumPatterns; ++i) ASSERT_TRUE(samePattern(bank->patterns[i], before->patterns[i]));

    EXPECT_TRUE(importForeignPatterns((dir / "bank.ph").string(), *bank, nullptr, selected));
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(bank->patterns[0].stepCount(), 5);
    EXPECT_EQ(bank->patterns[0].steps[0].note, 9);

    // ".rbs" wins when both appear: a ".ph" file in a folder named like a song is read as a song.
    test::ScratchDir songDir("x.rbs");
    test::writeText(songDir / "bank.ph", phPattern(5, {}));
    EXPECT_FALSE(importForeignPatterns((songDir / "bank.ph").string(), *bank, nullptr, selected));
}

} // namespace
} // namespace kelo
