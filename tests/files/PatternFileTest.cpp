#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TempDir.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"

namespace kelo {
namespace {

using test::TempDir;

Pattern makePattern(uint32_t header) {
    Pattern p{};
    p.header = header;
    return p;
}

PatternBank markedBank() {
    // Every step carries a recognisable value so untouched patterns can be told apart.
    PatternBank bank{};
    for (int i = 0; i < kNumPatterns; ++i) {
        bank.patterns[i].header = 0x1234'0000u | 16u;
        for (PatternStep& s : bank.patterns[i].steps) s = {uint8_t(i % 32), StepTie};
    }
    return bank;
}

bool sameBytes(const Pattern& a, const Pattern& b) {
    if (a.header != b.header) return false;
    for (int i = 0; i < kMaxSteps; ++i)
        if (a.steps[i].note != b.steps[i].note || a.steps[i].flags != b.steps[i].flags) return false;
    return true;
}

std::string stepLines(int count, const char* line = "d-3 1 0 0\n") {
    std::string s;
    for (int i = 0; i < count; ++i) s += line;
    return s;
}

TEST(PatternWrite, StepLinesCarryNameOctaveAndFlags) {
    Pattern p = makePattern(0x8000'0305u); // 5 steps, shuffle 3, triplet
    p.steps[0] = {0, StepGate | StepAccent};
    p.steps[1] = {0, StepGate | StepAccent | StepUp};
    p.steps[2] = {12, 0};
    p.steps[3] = {12, StepDown | StepSlide | StepTie | StepNoteMark};
    p.steps[4] = {200, StepGate}; // only the playing bits count: 200 & 31 = 8
    p.steps[5] = {3, StepGate};   // beyond the step count: not written
    EXPECT_EQ(formatPattern(p),
              "; KELO Meta tag: 2147484421\n"
              "c-3 1 0 1\n"
              "c-4 1 0 1\n"
              "c-4 0 0 0\n"
              "c-3 0 1 0\n"
              "g#3 1 0 0\n");

    // A header whose count field is out of range never writes past the 64 steps.
    Pattern wide = makePattern(127);
    const std::string text = formatPattern(wide);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 65);
}

TEST(PatternRead, OctaveDigitsAndFlagCharacters) {
    Pattern p = makePattern(16);
    parsePattern(p, "; KELO Meta tag: 9\n"
                    "c-0 1 0 0\nd-2 1 1 1\ne-3 0 0 1\nf-4 1 0 0\ng-5 1 0 0\na-6 1 0 0\n"
                    "b-9 3 2 5\n  c#3   1   0   0\nd#3 1 0 0\n");
    ASSERT_EQ(p.stepCount(), 9);
    EXPECT_EQ(p.steps[0].note, 0);
    EXPECT_EQ(p.steps[0].flags, StepGate | StepDown);
    EXPECT_EQ(p.steps[1].note, 2);
    EXPECT_EQ(p.steps[1].flags, StepGate | StepDown | StepSlide | StepAccent);
    EXPECT_EQ(p.steps[2].flags, StepAccent);
    EXPECT_EQ(p.steps[3].flags, StepGate | StepUp);
    EXPECT_EQ(p.steps[4].note, 7 + 12);
    EXPECT_EQ(p.steps[4].flags, StepGate | StepUp);
    EXPECT_EQ(p.steps[5].note, 9 + 24);
    EXPECT_EQ(p.steps[6].note, 11);
    EXPECT_EQ(p.steps[6].flags, StepGate | StepUp | StepAccent); // only the lowest bit: 3, 2, 5
    EXPECT_EQ(p.steps[7].note, 1);
    EXPECT_EQ(p.steps[8].note, 3);
    EXPECT_EQ(p.header & ~0x7Fu, 0u);
}

TEST(PatternRead, UnknownNoteNameKeepsPreviousPitch) {
    Pattern p = makePattern(16);
    parsePattern(p, "; KELO Meta tag: 3\nXY3 1 0 0\nf#3 1 0 0\nC-3 1 0 0\n");
    EXPECT_EQ(p.steps[0].note, 0); // nothing before it: C
    EXPECT_EQ(p.steps[1].note, 6);
    EXPECT_EQ(p.steps[2].note, 6); // upper case is not in the table
}

TEST(PatternRead, DeclaredCountEndsTheBlock) {
    const std::string text = "; KELO Meta tag: 16\n" + stepLines(16) + stepLines(4, "e-3 1 0 0\n") +
                             "; KELO Meta tag: 2\n" + stepLines(2, "a-3 1 0 0\n");
    // Pattern reader: only the declared 16.
    Pattern single = makePattern(0x100 | 30);
    parsePattern(single, text);
    EXPECT_EQ(single.stepCount(), 16);
    EXPECT_EQ(single.steps[15].note, 2);

    // Bank reader: the 4 extra lines start the next pattern's block, the next meta line the one after.
    PatternBank bank = markedBank();
    EXPECT_EQ(parseBank(bank, text), 3);
    EXPECT_EQ(bank.patterns[0].stepCount(), 16);
    EXPECT_EQ(bank.patterns[1].stepCount(), 4);
    EXPECT_EQ(bank.patterns[1].header, 0x1234'0000u | 4u); // no meta line: previous header bits
    EXPECT_EQ(bank.patterns[1].steps[0].note, 4);
    EXPECT_EQ(bank.patterns[1].steps[4].flags, StepTie); // beyond the block: untouched
    EXPECT_EQ(bank.patterns[2].header, 2u);
    EXPECT_EQ(bank.patterns[2].steps[1].note, 9);
    EXPECT_TRUE(sameBytes(bank.patterns[3], markedBank().patterns[3]));
}

TEST(PatternRead, ZeroCountTakesLinesUpToTheNextMetaLineAtMost64) {
    const std::string text = "; KELO Meta tag: 256\n" + stepLines(70) + "; KELO Meta tag: 1\ng-3 1 0 0\n";
    PatternBank bank = markedBank();
    EXPECT_EQ(parseBank(bank, text), 2);
    EXPECT_EQ(bank.patterns[0].stepCount(), 64);
    EXPECT_EQ(bank.patterns[0].shuffle(), 1);
    EXPECT_EQ(bank.patterns[0].steps[63].note, 2);
    EXPECT_EQ(bank.patterns[1].header, 1u);
    EXPECT_EQ(bank.patterns[1].steps[0].note, 7);

    // Without meta lines nothing separates patterns: everything goes to the first.
    PatternBank plain = markedBank();
    EXPECT_EQ(parseBank(plain, stepLines(40)), 1);
    EXPECT_EQ(plain.patterns[0].stepCount(), 40);
    EXPECT_TRUE(sameBytes(plain.patterns[1], markedBank().patterns[1]));
}

TEST(PatternRead, BlocksWithoutStepsAndFilesWithoutBlocks) {
    Pattern p = makePattern(0x0500 | 16);
    parsePattern(p, "; KELO Meta tag: 12\n; a comment\n");
    EXPECT_EQ(p.header, 0x1u | 0u);
    EXPECT_EQ(p.stepCount(), 1);

    Pattern empty = makePattern(0x0500 | 16);
    parsePattern(empty, "");
    EXPECT_EQ(empty.stepCount(), 1);
    EXPECT_EQ(empty.shuffle(), 5);

    // In a bank, trailing comments are not a block: the next pattern keeps its contents.
    PatternBank bank = markedBank();
    EXPECT_EQ(parseBank(bank, "; KELO Meta tag: 1\nc-3 1 0 0\n; the end\n\n"), 1);
    EXPECT_TRUE(sameBytes(bank.patterns[1], markedBank().patterns[1]));
}

TEST(PatternRead, BankStartsAtTheGivenPatternAndIgnoresBlocksPastTheLast) {
    PatternBank source = markedBank();
    for (int i = 0; i < kNumPatterns; ++i) source.patterns[i].header = uint32_t(i % 64 + 1);
    const std::string text = formatBank(source);

    PatternBank bank = markedBank();
    EXPECT_EQ(parseBank(bank, text, 120), 8);
    EXPECT_EQ(bank.patterns[120].stepCount(), 1);
    EXPECT_EQ(bank.patterns[127].stepCount(), 8);
    EXPECT_TRUE(sameBytes(bank.patterns[119], markedBank().patterns[119]));
    EXPECT_EQ(parseBank(bank, text + text, 0), 128);
    EXPECT_EQ(parseBank(bank, text, 500), 0);
}

TEST(PatternFiles, BankRoundTripKeepsHeadersAndSoundingSteps) {
    std::mt19937 rng(7);
    PatternBank bank{};
    for (Pattern& p : bank.patterns) {
        p.header = (rng() & 0x8000FF80u) | uint32_t(rng() % 64 + 1);
        for (PatternStep& s : p.steps) {
            s.note = uint8_t(rng() % 32);
            s.flags = uint8_t(rng() & 0xFF);
            if ((s.flags & StepUp) && (s.flags & StepDown)) s.flags &= uint8_t(~StepDown);
        }
    }
    TempDir dir;
    const std::string path = dir.file("Bank.pat");
    ASSERT_TRUE(writeBank(bank, path));
    PatternBank back = markedBank();
    ASSERT_TRUE(readBank(back, path));
    for (int i = 0; i < kNumPatterns; ++i) {
        const Pattern& a = bank.patterns[i];
        const Pattern& b = back.patterns[i];
        ASSERT_EQ(a.header, b.header) << "pattern " << i;
        for (int k = 0; k < a.stepCount(); ++k) {
            EXPECT_EQ(stepMidiNote(a.steps[k]), stepMidiNote(b.steps[k])) << i << "/" << k;
            EXPECT_EQ(a.steps[k].flags & (StepGate | StepSlide | StepAccent),
                      b.steps[k].flags & ~(StepUp | StepDown));
        }
    }
    // Both octave flags together cancel, and the file keeps the pitch, not the flags.
    Pattern both = makePattern(1);
    both.steps[0] = {5, StepUp | StepDown | StepGate};
    Pattern back1 = makePattern(16);
    parsePattern(back1, formatPattern(both));
    EXPECT_EQ(stepMidiNote(back1.steps[0]), stepMidiNote(both.steps[0]));
}

TEST(PatternFiles, MissingAndUncreatableFiles) {
    TempDir dir;
    PatternBank bank = markedBank();
    EXPECT_FALSE(readBank(bank, dir.file("none.pat")));
    EXPECT_FALSE(readPattern(bank.patterns[0], dir.file("none.pat")));
    EXPECT_TRUE(sameBytes(bank.patterns[0], markedBank().patterns[0]));
    EXPECT_FALSE(writeBank(bank, dir.file("no/dir/b.pat")));
    EXPECT_FALSE(writePattern(bank.patterns[0], dir.file("no/dir/p.pat")));
}

TEST(PatternFiles, SeveralFilesGoToConsecutivePatterns) {
    TempDir dir;
    const std::string a = dir.write("a.pat", "; KELO Meta tag: 1\n; Cutoff: 0.5\nd-3 1 0 0\n");
    const std::string b = dir.write("b.pat", "; KELO Meta tag: 2\n; Cutoff: 0.9\ne-3 1 0 0\ne-3 1 0 0\n");
    PatternBank bank = markedBank();
    ParameterCapture capture;
    EXPECT_EQ(loadPatternFiles(bank, 125, {a, dir.file("missing.pat"), b, a}, &capture), 2);
    EXPECT_EQ(bank.patterns[125].header, 1u);
    EXPECT_TRUE(sameBytes(bank.patterns[126], markedBank().patterns[126]));
    EXPECT_EQ(bank.patterns[127].header, 2u);
    EXPECT_TRUE(sameBytes(bank.patterns[124], markedBank().patterns[124]));
    ASSERT_TRUE(capture.present[CaptureCutoff]);
    EXPECT_EQ(capture.values[CaptureCutoff], 0.5f); // the first file's lines
}

TEST(PatternFiles, CorruptAndTruncatedTextKeepsPatternsValid) {
    PatternBank source{};
    std::mt19937 rng(11);
    for (Pattern& p : source.patterns) {
        p.header = uint32_t(rng() % 64 + 1);
        for (PatternStep& s : p.steps) s = {uint8_t(rng() % 32), uint8_t(rng() % 32)};
    }
    const std::string good = formatBank(source);
    for (int round = 0; round < 200; ++round) {
        std::string text = good.substr(0, rng() % good.size());
        if (round % 2) {
            for (int k = 0; k < 50; ++k) text[rng() % text.size()] = char(rng() % 256);
            text.insert(rng() % text.size(), "; KELO Meta tag: 4294967295999\n; KELO Meta tag: -3\n");
        }
        PatternBank bank = markedBank();
        parseBank(bank, text);
        Pattern single = makePattern(16);
        parsePattern(single, text);
        ASSERT_GE(single.stepCount(), 1);
        ASSERT_LE(single.stepCount(), 64);
        for (const Pattern& p : bank.patterns) {
            ASSERT_GE(p.stepCount(), 1);
            ASSERT_LE(p.stepCount(), 64);
            for (const PatternStep& s : p.steps) {
                // Either untouched (the marked tie) or read: pitch 0..35, no bits beyond accent.
                ASSERT_TRUE(s.flags == StepTie || (s.note <= 35 && (s.flags & 0xE0) == 0));
            }
        }
    }
}

} // namespace
} // namespace kelo
