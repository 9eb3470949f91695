#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

#include "FileTestSupport.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"

namespace kelo {
namespace {

// Every step marked with a tie, which no reader ever stores, so untouched patterns show.
PatternBank markedBank() {
    PatternBank bank{};
    for (int i = 0; i < kNumPatterns; ++i) {
        bank.patterns[i].header = 0x1234'0000u | 16u;
        for (PatternStep& s : bank.patterns[i].steps) s = {uint8_t(i % 32), StepTie};
    }
    return bank;
}

bool untouched(const PatternBank& bank, int i) {
    static const PatternBank marked = markedBank();
    return std::memcmp(&bank.patterns[i], &marked.patterns[i], sizeof(Pattern)) == 0;
}

std::string lines(int count, const char* line) {
    std::string s;
    while (count--) s += line;
    return s;
}

TEST(PatternText, WriterLines) {
    Pattern p{};
    p.header = 0x8000'0305u; // 5 steps, shuffle 3, triplet
    p.steps[0] = {0, StepGate | StepAccent};
    p.steps[1] = {0, StepGate | StepAccent | StepUp};
    p.steps[2] = {12, 0};
    p.steps[3] = {12, StepDown | StepSlide | StepTie | StepNoteMark};
    p.steps[4] = {200, StepGate}; // only the bits that play: 200 & 31 = 8
    p.steps[5] = {3, StepGate};
    EXPECT_EQ(formatPattern(p), "; KELO Meta tag: 2147484421\nc-3 1 0 1\nc-4 1 0 1\nc-4 0 0 0\n"
                                "c-3 0 1 0\ng#3 1 0 0\n");
    p.header = 127; // a count field out of range never writes past 64 steps
    const std::string text = formatPattern(p);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 65);
}

TEST(PatternText, ReaderDigitsFlagsAndNames) {
    Pattern p{};
    parsePattern(p, "; KELO Meta tag: 9\nXY0 1 0 0\nd-2 1 1 1\ne-3 0 0 1\nf-4 1 0 0\ng-5 1 0 0\n"
                    "a-6 1 0 0\nb-9 3 2 5\n  c#3   1   0   0\nC-3 1 0 0\n");
    const uint8_t notes[] = {0, 2, 4, 5, 19, 33, 11, 1, 1};
    const uint8_t flags[] = {StepGate | StepDown, StepGate | StepDown | StepSlide | StepAccent,
                             StepAccent, StepGate | StepUp, StepGate | StepUp, StepGate | StepUp,
                             StepGate | StepUp | StepAccent, StepGate, StepGate};
    ASSERT_EQ(p.header, 9u);
    // Unknown names keep the previous pitch; only the lowest bit of 3, 2, 5 counts.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(std::tuple(p.steps[i].note, p.steps[i].flags), std::tuple(notes[i], flags[i])) << i;
}

TEST(PatternText, BlockBoundaries) {
    // Declared 16, followed by 20 lines: 4 go to the next pattern, which keeps its header bits.
    const std::string text = "; KELO Meta tag: 16\n" + lines(16, "d-3 1 0 0\n") + lines(4, "e-3 1 0 0\n") +
                             "; KELO Meta tag: 2\n" + lines(2, "a-3 1 0 0\n");
    Pattern single{};
    parsePattern(single, text);
    EXPECT_EQ(single.header, 16u);
    PatternBank bank = markedBank();
    EXPECT_EQ(parseBank(bank, text), 3);
    EXPECT_EQ(std::tuple(bank.patterns[1].header, bank.patterns[1].steps[0].note, bank.patterns[1].steps[4].flags),
              std::tuple(0x1234'0000u | 4u, uint8_t(4), uint8_t(StepTie)));
    EXPECT_EQ(bank.patterns[2].header, 2u);
    EXPECT_TRUE(untouched(bank, 3));

    // Declared 0: every line up to the next meta line, at most 64 stored.
    bank = markedBank();
    EXPECT_EQ(parseBank(bank, "; KELO Meta tag: 256\n" + lines(70, "d-3 1 0 0\n") + "; KELO Meta tag: 1\ng-3 1 0 0\n"), 2);
    EXPECT_EQ(std::tuple(bank.patterns[0].header, bank.patterns[1].header, bank.patterns[1].steps[0].note),
              std::tuple(0x100u | 64u, 1u, uint8_t(7)));

    // No meta lines: everything goes to the first pattern; trailing comments are no block.
    bank = markedBank();
    EXPECT_EQ(parseBank(bank, lines(40, "d-3 1 0 0\n") + "; the end\n"), 1);
    EXPECT_EQ(bank.patterns[0].stepCount(), 40);
    EXPECT_TRUE(untouched(bank, 1));

    // A block without step lines, or no block at all, gives one step.
    Pattern empty{};
    empty.header = 0x0500 | 16;
    parsePattern(empty, "");
    EXPECT_EQ(empty.header, 0x0500u | 1u);
    parsePattern(empty, "; KELO Meta tag: 12\n; a comment\n");
    EXPECT_EQ(empty.header, 1u);
}

TEST(PatternText, BankRoundTripAndPlacement) {
    std::mt19937 rng(7);
    PatternBank bank{};
    for (Pattern& p : bank.patterns) {
        p.header = (rng() & 0x8000FF80u) | uint32_t(rng() % 64 + 1);
        for (PatternStep& s : p.steps) s = {uint8_t(rng() % 32), uint8_t(rng() & 0xFF)};
    }
    test::TempDir dir;
    const std::string path = dir.file("Bank.pat");
    ASSERT_TRUE(writeBank(bank, path));
    PatternBank back = markedBank();
    ASSERT_TRUE(readBank(back, path));
    for (int i = 0; i < kNumPatterns; ++i) {
        const Pattern& a = bank.patterns[i];
        const Pattern& b = back.patterns[i];
        ASSERT_EQ(a.header, b.header) << i;
        for (int k = 0; k < a.stepCount(); ++k) {
            ASSERT_EQ(stepMidiNote(a.steps[k]), stepMidiNote(b.steps[k])) << i << "/" << k;
            ASSERT_EQ(a.steps[k].flags & (StepGate | StepSlide | StepAccent), b.steps[k].flags & ~(StepUp | StepDown));
        }
    }
    // From pattern 120 on, blocks past 127 are ignored.
    back = markedBank();
    EXPECT_EQ(parseBank(back, formatBank(bank), 120), 8);
    EXPECT_EQ(back.patterns[127].header, bank.patterns[7].header);
    EXPECT_TRUE(untouched(back, 119));
    EXPECT_EQ(parseBank(back, formatBank(bank), 500), 0);
    EXPECT_FALSE(readBank(back, dir.file("none.pat")));
    EXPECT_FALSE(readPattern(back.patterns[0], dir.file("none.pat")));
    EXPECT_FALSE(writeBank(bank, dir.file("no/dir/b.pat")));
    EXPECT_FALSE(writePattern(bank.patterns[0], dir.file("no/dir/p.pat")));
}

TEST(PatternText, SeveralFilesIntoConsecutivePatterns) {
    test::TempDir dir;
    const std::string a = dir.write("a.pat", "; KELO Meta tag: 1\n; Cutoff: 0.5\nd-3 1 0 0\n");
    const std::string b = dir.write("b.pat", "; KELO Meta tag: 2\n; Cutoff: 0.9\ne-3 1 0 0\ne-3 1 0 0\n");
    PatternBank bank = markedBank();
    ParameterCapture capture;
    EXPECT_EQ(loadPatternFiles(bank, 125, {a, dir.file("missing.pat"), b, a}, &capture), 2);
    EXPECT_EQ(std::tuple(bank.patterns[125].header, bank.patterns[127].header), std::tuple(1u, 2u));
    EXPECT_TRUE(untouched(bank, 126));
    EXPECT_EQ(capture.values[CaptureCutoff], 0.5f); // the first file's lines
}

TEST(PatternText, CorruptTextKeepsPatternsValid) {
    PatternBank source{};
    for (int i = 0; i < kNumPatterns; ++i) source.patterns[i].header = uint32_t(i % 64 + 1);
    const std::string good = formatBank(source);
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::string text = good.substr(0, rng() % good.size());
        for (int k = 0; round % 2 && k < 50; ++k) text[rng() % text.size()] = char(rng() % 256);
        text.insert(rng() % (text.size() + 1), "; KELO Meta tag: 4294967295999\n; KELO Meta tag: -3\n");
        PatternBank bank = markedBank();
        parseBank(bank, text);
        for (int i = 0; i < kNumPatterns; ++i) {
            ASSERT_TRUE(bank.patterns[i].stepCount() >= 1 && bank.patterns[i].stepCount() <= 64);
            for (const PatternStep& s : bank.patterns[i].steps)
                ASSERT_TRUE(s.flags == StepTie || (s.note <= 35 && (s.flags & 0xE0) == 0));
        }
    }
}

} // namespace
} // namespace kelo
