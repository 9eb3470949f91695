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

bool sameSteps(const Pattern& a, const Pattern& b, int from, int to) {
    return std::memcmp(a.steps + from, b.steps + from, sizeof(PatternStep) * size_t(to - from)) == 0;
}

TEST(PatternOps, ClearTouchesOnlyPlayedStepsAndTheTripletBit) {
    Pattern p = numbered(5);
    p.setShuffle(40);
    p.setTriplet(true);
    p.header |= 0x00AB0080u; // uninterpreted bits survive
    const Pattern before = p;
    clearPattern(p, true);
    EXPECT_EQ(p.header, before.header & 0x7FFFFFFFu);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(P(p.steps[i].note, p.steps[i].flags), P(0, StepGate));
    EXPECT_TRUE(sameSteps(p, before, 5, kMaxSteps));
    clearPattern(p, false);
    EXPECT_EQ(p.steps[4].flags, 0);
}

TEST(PatternOps, LengthStaysWithinOneToSixtyFourEvenFromCorruptCounts) {
    Pattern p = numbered(64);
    lengthenPattern(p);
    EXPECT_EQ(p.stepCount(), 64);
    p.setStepCount(1);
    shortenPattern(p);
    EXPECT_EQ(p.stepCount(), 1);
    p.header |= 0x80000000u | (9u << 8);
    lengthenPattern(p);
    EXPECT_EQ(p.header, 0x80000000u | (9u << 8) | 2u);
    p.header &= ~0x7Fu; // stored count 0
    lengthenPattern(p);
    EXPECT_EQ(p.stepCount(), 2);
    p.header |= 100u; // stored count above 64
    shortenPattern(p);
    EXPECT_EQ(p.stepCount(), 63);
}

TEST(PatternOps, RotateShiftsOnlyPlayedSteps) {
    Pattern p = numbered(8);
    const Pattern before = p;
    rotatePattern(p, 1);
    EXPECT_EQ(p.steps[0].note, 7);
    EXPECT_EQ(p.steps[1].note, 0);
    EXPECT_TRUE(sameSteps(p, before, 8, kMaxSteps));
    for (int n : {-1, 8, 0, -8, 17, -9}) rotatePattern(p, n); // with the first: 8, a whole turn
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
}

TEST(PatternOps, TransposeFoldsIntoOneOctaveWithFlags) {
    struct Case {
        int note, flags, by, note2, flags2;
    };
    const Case cases[] = {
        {0, StepGate, -1, 11, StepGate | StepDown},       // C -> B below
        {0, StepGate | StepUp, 1, 1, StepGate | StepUp},   // C up -> C# up
        {0, StepAccent, 13, 1, StepAccent | StepUp},       // +13 -> C# up
        {12, StepUp, 13, 25, StepUp},                      // above 12 after one fold: kept
        {5, StepDown, -20, 0, StepDown},                   // still negative after one fold: 0
        {7, StepUp | StepDown, 1, 8, 0},                   // up and down cancel
        {12, StepSlide, 0, 12, StepSlide},
    };
    for (const Case& c : cases) {
        Pattern p = numbered(1);
        p.steps[0] = PatternStep{uint8_t(c.note), uint8_t(c.flags)};
        transposePattern(p, c.by);
        EXPECT_EQ(p.steps[0].note, c.note2) << c.note << " by " << c.by;
        EXPECT_EQ(p.steps[0].flags, c.flags2) << c.note << " by " << c.by;
        EXPECT_EQ(p.steps[1].note, 1) << "unplayed step untouched";
    }
}

TEST(PatternOps, RandomOperationsAreSeededAndStayInRange) {
    PatternRandom r(0);
    EXPECT_EQ(r.next(), 38); // (2531011 >> 16) & 0x7FFF
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
        for (int i = 0; i < count; ++i) {
            EXPECT_LE(p.steps[i].note, 13);
            EXPECT_EQ(p.steps[i].flags & (StepTie | StepRestMark | StepNoteMark), 0);
        }
        EXPECT_TRUE(sameSteps(p, numbered(count), count, kMaxSteps));
    }
}

TEST_F(SequencerTest, NewBankSelectionAndCursor) {
    for (const Pattern& p : seq.bank.patterns) {
        ASSERT_EQ(p.header, 16u);
        ASSERT_EQ(p.steps[15].flags, StepGate);
        ASSERT_EQ(p.steps[16].flags, 0);
    }
    seq.selectPattern(200);
    EXPECT_EQ(seq.currentPattern, 127);
    EXPECT_EQ(seq.patternChanged, 1);
    seq.patternChanged = 0;
    seq.selectPattern(127);
    EXPECT_EQ(seq.patternChanged, 0) << "same pattern is no change";
    seq.patternLock = 1;
    seq.selectPattern(-4);
    EXPECT_EQ(seq.currentPattern, 127);
    EXPECT_EQ(seq.requestedPattern, 0);
    pat().setStepCount(5);
    seq.setEditCursor(9);
    EXPECT_EQ(seq.editCursor, 4);
    seq.setEditCursor(-1);
    EXPECT_EQ(seq.editCursor, 0);
}

} // namespace
} // namespace kelo::test
