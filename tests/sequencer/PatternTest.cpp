// Whole-pattern operations and pattern selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

Pattern numbered(int count) {
    Pattern p{};
    for (int i = 0; i < kMaxSteps; ++i) p.steps[i] = PatternStep{uint8_t(i), uint8_t(i & 0x3F)};
    p.setStepCount(count);
    return p;
}

bool sameSteps(const Pattern& a, const Pattern& b, int from) {
    return std::memcmp(a.steps + from, b.steps + from, sizeof(PatternStep) * size_t(kMaxSteps - from)) == 0;
}

TEST(PatternOps, ClearTouchesOnlyPlayedStepsAndTheTripletBit) {
    Pattern p = numbered(5);
    p.header |= 0x80AB2880u; // triplet, shuffle 40 and uninterpreted bits
    const Pattern before = p;
    clearPattern(p, true);
    EXPECT_EQ(p.header, before.header & 0x7FFFFFFFu);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(V(p.steps[i].note, p.steps[i].flags), V(0, StepGate));
    EXPECT_TRUE(sameSteps(p, before, 5));
    clearPattern(p, false);
    EXPECT_EQ(p.steps[4].flags, 0);
}

TEST(PatternOps, LengthStaysWithinOneToSixtyFourEvenFromCorruptCounts) {
    // {stored count, lengthen (else shorten), count after}; 0 and 100 are corrupt counts.
    const int cases[][3] = {{64, 1, 64}, {1, 0, 1}, {1, 1, 2}, {0, 1, 2}, {100, 0, 63}, {9, 0, 8}};
    for (const auto& c : cases) {
        Pattern p = numbered(1);
        p.header = 0x80000900u | uint32_t(c[0]); // triplet and shuffle must survive
        c[1] ? lengthenPattern(p) : shortenPattern(p);
        EXPECT_EQ(p.header, 0x80000900u | uint32_t(c[2])) << "from " << c[0];
    }
}

TEST(PatternOps, RotateShiftsOnlyPlayedSteps) {
    Pattern p = numbered(8);
    const Pattern before = p;
    rotatePattern(p, 1);
    EXPECT_EQ(V(p.steps[0].note, p.steps[1].note), V(7, 0));
    EXPECT_TRUE(sameSteps(p, before, 8));
    for (int n : {-1, 8, 0, -8, 17, -9}) rotatePattern(p, n); // with the first: 8, a whole turn
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
}

TEST(PatternOps, TransposeFoldsIntoOneOctaveWithFlags) {
    // {note, flags, by, note after, flags after}
    const int cases[][5] = {
        {0, StepGate, -1, 11, StepGate | StepDown},     // C -> B below
        {0, StepGate | StepUp, 1, 1, StepGate | StepUp}, // C up -> C# up
        {0, StepAccent, 13, 1, StepAccent | StepUp},     // +13 -> C# up
        {12, StepUp, 13, 25, StepUp},                    // above 12 after one fold: kept
        {5, StepDown, -20, 0, StepDown},                 // still negative after one fold: 0
        {7, StepUp | StepDown, 1, 8, 0},                 // up and down cancel
        {12, StepSlide, 0, 12, StepSlide},
    };
    for (const auto& c : cases) {
        Pattern p = numbered(1);
        p.steps[0] = PatternStep{uint8_t(c[0]), uint8_t(c[1])};
        transposePattern(p, c[2]);
        EXPECT_EQ(V(p.steps[0].note, p.steps[0].flags, p.steps[1].note), V(c[3], c[4], 1)) << c[0] << " by " << c[2];
    }
}

TEST(PatternOps, RandomOperationsAreSeededPermutationsAndStayInRange) {
    EXPECT_EQ(PatternRandom(0).next(), 38);
    for (int count : {1, 7, 64}) {
        Pattern p = numbered(count), q = numbered(count);
        PatternRandom a(4242), b(4242);
        scrambleSteps(p, a);
        scrambleSteps(q, b);
        EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0) << "same seed, same result";
        std::vector<int> notes;
        for (int i = 0; i < count; ++i) notes.push_back(p.steps[i].note);
        std::sort(notes.begin(), notes.end());
        for (int i = 0; i < count; ++i) EXPECT_EQ(notes[i], i) << "a permutation, count " << count;
        randomizePattern(p, a);
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(p.steps[i].note <= 13 && !(p.steps[i].flags & (StepTie | StepRestMark | StepNoteMark)));
        EXPECT_TRUE(sameSteps(p, numbered(count), count));
    }
}

TEST_F(SequencerTest, NewBankSelectionAndCursor) {
    for (const Pattern& p : seq.bank.patterns)
        ASSERT_EQ(V(p.header, p.steps[15].flags, p.steps[16].flags), V(16, StepGate, 0));
    seq.selectPattern(200);
    EXPECT_EQ(V(seq.currentPattern, seq.patternChanged), V(127, 1));
    seq.patternChanged = 0;
    seq.selectPattern(127);
    EXPECT_EQ(seq.patternChanged, 0) << "same pattern is no change";
    seq.patternLock = 1;
    seq.selectPattern(-4);
    EXPECT_EQ(V(seq.currentPattern, seq.requestedPattern), V(127, 0));
    pat().setStepCount(5);
    seq.setEditCursor(9);
    EXPECT_EQ(seq.editCursor, 4);
    seq.setEditCursor(-1);
    EXPECT_EQ(seq.editCursor, 0);
}

} // namespace
} // namespace kelo::test
