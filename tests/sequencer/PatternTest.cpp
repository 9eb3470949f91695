// Whole-pattern operations, selection and the random generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

PatternStep step(int note, int flags) { return PatternStep{uint8_t(note), uint8_t(flags)}; }

Pattern filled(int count) {
    Pattern p;
    p.header = 0;
    for (int i = 0; i < kMaxSteps; ++i) p.steps[i] = step(i % 13, (i * 7) & 0x3F);
    p.setStepCount(count);
    return p;
}

TEST_F(SequencerTest, NewBankHoldsSixteenGatedCs) {
    for (const Pattern& p : seq.bank.patterns) {
        EXPECT_EQ(p.header, 16u);
        for (int i = 0; i < kMaxSteps; ++i) {
            EXPECT_EQ(p.steps[i].note, 0);
            EXPECT_EQ(p.steps[i].flags, i < 16 ? StepGate : 0) << "step " << i;
        }
    }
    EXPECT_EQ(seq.currentPattern, 0);
    EXPECT_EQ(seq.keyCommands.slots[0], 48);
}

TEST(PatternOps, ClearKeepsStepsBeyondCountAndShuffle) {
    Pattern p = filled(5);
    p.setShuffle(40);
    p.setTriplet(true);
    p.header |= 0x00AB0080u; // uninterpreted bits survive
    const Pattern before = p;
    clearPattern(p, false);
    EXPECT_FALSE(p.triplet());
    EXPECT_EQ(p.shuffle(), 40);
    EXPECT_EQ(p.stepCount(), 5);
    EXPECT_EQ(p.header & 0x7FFF0080u, before.header & 0x7FFF0080u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.steps[i].flags | p.steps[i].note, 0);
    EXPECT_EQ(std::memcmp(p.steps + 5, before.steps + 5, sizeof(PatternStep) * 59), 0);
    clearPattern(p, true);
    EXPECT_EQ(p.steps[4].flags, StepGate);
}

TEST(PatternOps, LengthAdjustStaysWithinOneToSixtyFour) {
    Pattern p = filled(64);
    lengthenPattern(p);
    EXPECT_EQ(p.stepCount(), 64);
    p.setStepCount(1);
    shortenPattern(p);
    EXPECT_EQ(p.stepCount(), 1);
    p.setShuffle(9);
    p.setTriplet(true);
    lengthenPattern(p);
    EXPECT_EQ(p.stepCount(), 2);
    EXPECT_EQ(p.shuffle(), 9);
    EXPECT_TRUE(p.triplet());
    // A corrupt stored count of 0 or above 64 is treated as its clamped value.
    p.header = (p.header & ~0x7Fu) | 0u;
    lengthenPattern(p);
    EXPECT_EQ(p.stepCount(), 2);
    p.header = (p.header & ~0x7Fu) | 100u;
    shortenPattern(p);
    EXPECT_EQ(p.stepCount(), 63);
}

TEST(PatternOps, RotateShiftsOnlyPlayedSteps) {
    Pattern p = filled(8);
    const Pattern before = p;
    rotatePattern(p, 1);
    EXPECT_EQ(std::memcmp(&p.steps[0], &before.steps[7], 2), 0);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(std::memcmp(&p.steps[i], &before.steps[i - 1], 2), 0);
    EXPECT_EQ(std::memcmp(p.steps + 8, before.steps + 8, 2 * 56), 0);
    rotatePattern(p, -1);
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
    rotatePattern(p, 8);
    rotatePattern(p, 0);
    rotatePattern(p, -8);
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
}

TEST(PatternOps, TransposeFoldsIntoOneOctaveWithFlags) {
    Pattern p = filled(6);
    p.steps[0] = step(0, StepGate);               // C -1 -> B down
    p.steps[1] = step(0, StepGate | StepUp);      // C up +1 -> C# up
    p.steps[2] = step(0, StepAccent);             // C +13 -> C# up, accent kept
    p.steps[3] = step(12, StepUp);                // 24 + 13 = 37 -> 25 up (kept above 12)
    p.steps[4] = step(5, StepDown);               // -12 + 5 - 20 -> still negative -> 0 down
    p.steps[5] = step(7, StepUp | StepDown);      // up and down cancel: 7 + 1 = 8, no flags
    const PatternStep beyond = p.steps[6];
    Pattern q = p;
    transposePattern(q, -1);
    EXPECT_EQ(q.steps[0].note, 11);
    EXPECT_EQ(q.steps[0].flags, StepGate | StepDown);
    q = p;
    transposePattern(q, 1);
    EXPECT_EQ(q.steps[1].note, 1);
    EXPECT_EQ(q.steps[1].flags, StepGate | StepUp);
    EXPECT_EQ(q.steps[5].note, 8);
    EXPECT_EQ(q.steps[5].flags, 0);
    q = p;
    transposePattern(q, 13);
    EXPECT_EQ(q.steps[2].note, 1);
    EXPECT_EQ(q.steps[2].flags, StepAccent | StepUp);
    EXPECT_EQ(q.steps[3].note, 25);
    EXPECT_EQ(q.steps[3].flags, StepUp);
    q = p;
    transposePattern(q, -20);
    EXPECT_EQ(q.steps[4].note, 0);
    EXPECT_EQ(q.steps[4].flags, StepDown);
    EXPECT_EQ(std::memcmp(&q.steps[6], &beyond, 2), 0);
}

TEST(PatternOps, RandomGeneratorFollowsTheLcg) {
    PatternRandom r(0);
    // seed 0 -> 2531011 -> (2531011 >> 16) & 0x7FFF = 38
    EXPECT_EQ(r.next(), 38);
    PatternRandom a(12345), b(12345);
    for (int i = 0; i < 100; ++i) {
        const int v = a.next();
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 32767);
        EXPECT_EQ(v, b.next());
    }
}

TEST(PatternOps, RandomizeBuildsStepsFromSixDraws) {
    Pattern p = filled(16);
    p.setShuffle(33);
    const uint32_t header = p.header;
    PatternRandom rng(777), mirror(777);
    randomizePattern(p, rng);
    EXPECT_EQ(p.header, header);
    for (int i = 0; i < 16; ++i) {
        int r[6];
        for (int& v : r) v = mirror.next();
        int flags = 0;
        if (r[0] & 1) flags |= StepAccent;
        if (r[1] & 3) flags |= StepGate;
        if (r[2] % 3 == 0) flags |= StepSlide;
        if (r[3] & 1) flags |= StepUp;
        if (r[4] & 1) flags |= StepDown;
        EXPECT_EQ(p.steps[i].flags, flags) << "step " << i;
        EXPECT_EQ(p.steps[i].note, r[5] % 14) << "step " << i;
    }
    EXPECT_EQ(p.steps[16].note, filled(16).steps[16].note);
}

TEST(PatternOps, ScrambleIsAPermutationOfPlayedSteps) {
    for (int count : {1, 2, 7, 64}) {
        Pattern p = filled(count);
        for (int i = 0; i < kMaxSteps; ++i) p.steps[i] = step(i, 0); // all distinct
        PatternRandom rng(4242);
        scrambleSteps(p, rng);
        std::vector<int> notes;
        for (int i = 0; i < count; ++i) notes.push_back(p.steps[i].note);
        std::sort(notes.begin(), notes.end());
        for (int i = 0; i < count; ++i) EXPECT_EQ(notes[i], i) << "count " << count;
        for (int i = count; i < kMaxSteps; ++i) EXPECT_EQ(p.steps[i].note, i);
    }
}

TEST_F(SequencerTest, SelectionClampsAndHonoursLock) {
    seq.selectPattern(200);
    EXPECT_EQ(seq.currentPattern, 127);
    EXPECT_EQ(seq.requestedPattern, 127);
    EXPECT_EQ(seq.patternChanged, 1);
    seq.patternChanged = 0;
    seq.selectPattern(127);
    EXPECT_EQ(seq.patternChanged, 0) << "same pattern is no change";
    seq.selectPattern(-4);
    EXPECT_EQ(seq.currentPattern, 0);
    seq.patternLock = 1;
    seq.patternChanged = 0;
    seq.selectPattern(9);
    EXPECT_EQ(seq.currentPattern, 0);
    EXPECT_EQ(seq.requestedPattern, 9);
    EXPECT_EQ(seq.patternChanged, 0);
}

TEST_F(SequencerTest, EditCursorClampsToPattern) {
    pat().setStepCount(5);
    seq.setEditCursor(9);
    EXPECT_EQ(seq.editCursor, 4);
    seq.setEditCursor(-1);
    EXPECT_EQ(seq.editCursor, 0);
    seq.setEditCursor(3);
    EXPECT_EQ(seq.editCursor, 3);
}

} // namespace
} // namespace kelo::test
