// Pattern operations and selection, step programming from commands and from a MIDI
// keyboard, and learning command keys.
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

bool sameStepsFrom(int from, const Pattern& a, const Pattern& b) {
    return std::memcmp(a.steps + from, b.steps + from, sizeof(PatternStep) * size_t(kMaxSteps - from)) == 0;
}

TEST(PatternOps, ClearRotateAndLengthTouchOnlyWhatTheyShould) {
    Pattern p = numbered(5);
    p.header |= 0x80AB2880u; // triplet, shuffle 40 and uninterpreted bits
    const Pattern before = p;
    clearPattern(p, true);
    EXPECT_EQ(p.header, before.header & 0x7FFFFFFFu) << "only the triplet bit is cleared";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(V(p.steps[i].note, p.steps[i].flags), V(0, StepGate));
    EXPECT_TRUE(sameStepsFrom(5, p, before));
    clearPattern(p, false);
    EXPECT_EQ(p.steps[4].flags, 0);
    p = numbered(5);
    keepStepFlags(p, StepGate | StepAccent);
    EXPECT_EQ(V(p.steps[3].flags, p.steps[4].flags, p.steps[5].flags), V(StepGate, 0, 5));
    const Pattern eight = numbered(8);
    p = eight;
    rotatePattern(p, 1);
    EXPECT_EQ(V(p.steps[0].note, p.steps[1].note), V(7, 0));
    EXPECT_TRUE(sameStepsFrom(8, p, eight));
    for (int n : {-1, 8, 0, -8, 17, -9}) rotatePattern(p, n); // with the first: 8, a whole turn
    EXPECT_EQ(std::memcmp(&p, &eight, sizeof p), 0);
    // {stored count, lengthen (else shorten), count after}; 0 and 100 are corrupt counts.
    for (const auto& c : {V(64, 1, 64), V(1, 0, 1), V(1, 1, 2), V(0, 1, 2), V(100, 0, 63), V(9, 0, 8)}) {
        p.header = 0x80000900u | uint32_t(c[0]); // triplet and shuffle must survive
        c[1] ? lengthenPattern(p) : shortenPattern(p);
        EXPECT_EQ(p.header, 0x80000900u | uint32_t(c[2])) << "from " << c[0];
    }
}

TEST(PatternOps, TransposeFoldsIntoOneOctaveWithFlags) {
    // {note, flags, by, note after, flags after}
    const int cases[][5] = {
        {0, StepGate, -1, 11, StepGate | StepDown},     // C -> B below
        {0, StepGate | StepUp, 1, 1, StepGate | StepUp}, // C up -> C# up
        {0, StepAccent, 13, 1, StepAccent | StepUp},     // +13 -> C# up
        {12, StepUp, 13, 25, StepUp},                    // above 12 after one fold: kept
        {0, StepGate, 12, 12, StepGate},                 // the octave's top C is a key of its own
        {1, StepGate, -1, 0, StepGate},                  // and so is its bottom C
        {5, StepDown, -20, 0, StepDown},                 // still negative after one fold: 0
        {7, StepUp | StepDown, 1, 8, 0},                 // up and down cancel
    };
    for (const auto& c : cases) {
        Pattern p = numbered(1);
        p.steps[0] = PatternStep{uint8_t(c[0]), uint8_t(c[1])};
        transposePattern(p, c[2]);
        EXPECT_EQ(V(p.steps[0].note, p.steps[0].flags, p.steps[1].note), V(c[3], c[4], 1)) << c[0] << " by " << c[2];
    }
}

// A seed gives the same pattern on every build: the results are pinned, not just their ranges.
TEST(PatternOps, RandomOperationsFollowTheSeedAndKeepTheStepsBeyondTheCount) {
    EXPECT_EQ(PatternRandom(0).next(), 38);
    auto played = [](const Pattern& p, bool withFlags) {
        std::vector<int> out;
        for (int i = 0; i < 7; ++i) out.push_back(withFlags ? p.steps[i].note << 8 | p.steps[i].flags : p.steps[i].note);
        return out;
    };
    Pattern p = numbered(7);
    PatternRandom rng(4242);
    scrambleSteps(p, rng);
    EXPECT_EQ(played(p, true), V(0x303, 0x202, 0x101, 0, 0x505, 0x404, 0x606));
    randomizePattern(p, rng);
    EXPECT_EQ(played(p, true), V(0xA05, 0x515, 0xB12, 0x81D, 0x40C, 0x40D, 0x409));
    randomizePitches(p, rng);
    EXPECT_EQ(played(p, false), V(8, 7, 8, 2, 9, 3, 11));
    EXPECT_TRUE(sameStepsFrom(7, p, numbered(7)));
    p = numbered(64);
    scrambleSteps(p, rng);
    std::vector<int> notes;
    for (const PatternStep& s : p.steps) notes.push_back(s.note);
    std::sort(notes.begin(), notes.end());
    for (int i = 0; i < kMaxSteps; ++i) ASSERT_EQ(notes[size_t(i)], i) << "a permutation";
}

class ProgrammingTest : public SequencerTest {
protected:
    ProgrammingTest() { settings.midiKeyProgramming = 1; }
    void commands(std::initializer_list<int> codes) { for (int c : codes) seq.programCommand(c); }
    void keys(std::initializer_list<int> notes) { for (int n : notes) noteOn(n); }
    int flags(int i) { return pat().steps[i].flags; }
    // Each row: command codes (or keyboard notes), then the cursor, the step count and one step.
    struct Row {
        std::vector<int> input;
        int cursor, count, step, note, flags;
    };
    void script(const std::vector<Row>& rows, bool viaKeys = false) {
        for (const Row& r : rows) {
            for (int c : r.input) viaKeys ? noteOn(c) : seq.programCommand(c);
            const PatternStep& s = pat().steps[r.step];
            EXPECT_EQ(V(seq.editCursor, pat().stepCount(), s.note, s.flags), V(r.cursor, r.count, r.note, r.flags))
                << "after " << ::testing::PrintToString(r.input);
        }
    }
};

TEST_F(ProgrammingTest, ModeZeroCommands) {
    pat().setStepCount(3);
    script({{{15, 0, 4}, 2, 3, 1, 4, StepGate},
            {{7}, 0, 3, 2, 7, StepGate}, // advance wraps
            {{15, 9}, 0, 3, 0, 9, StepGate}, // advance off: the cursor stays, note keys keep the flags
            {{23, 23, 17, 18, 19, 20, 21, 21}, 2, 3, 2, 7, StepDown | StepUp | StepAccent},
            {{23}, 0, 3, 0, 9, StepGate},
            {{22}, 2, 3, 0, 9, StepGate},
            {{25}, 1, 2, 0, 9, StepGate}, // the cursor follows a shortened pattern
            {{16, 24, 26, 28, 999, 1001, -5}, 0, 3, 0, 9, StepGate}});
    pat().setTriplet(true);
    settings.clearNotes = 0;
    seq.editCursor = 3;
    commands({13});
    EXPECT_EQ(V(flags(0), seq.editCursor, pat().triplet()), V(0, 0, 0));
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0f);
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f);
    pat().setStepCount(4);
    seq.editCursor = 40; // left over from a longer pattern
    script({{{23}, 0, 4, 0, 0, 0}});
    seq.editCursor = 500;
    script({{{5}, 3, 4, 3, 5, StepGate}});
}

TEST_F(ProgrammingTest, ModeOnePitchAndTimePhases) {
    settings.programmingMode = 1;
    pat().setStepCount(5);
    script({{{15, 22, 7}, 4, 5, 4, 7, StepGate}, // the last step keeps the cursor
            {{15, 18, 19, 20, 21}, 0, 5, 0, 0, StepGate | StepDown | StepUp | StepAccent | StepSlide},
            {{26}, 1, 5, 0, 0, StepGate | StepDown | StepUp | StepAccent},
            {{27}, 2, 5, 1, 0, 0},
            {{1000}, 2, 5, 1, 0, 0}}); // codes above 28 do nothing
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f);
    pat().steps[0] = PatternStep{3, StepSlide | StepUp | StepTie | StepRestMark};
    script({{{16, 17, 18}, 1, 5, 0, 3, StepNoteMark | StepGate | StepSlide | StepUp}, // time phase: note
            {{6, 21}, 1, 5, 1, 6, 0}, // note keys do not move, slide is inert
            {{17, 28}, 0, 5, 4, 7, StepGate | StepSlide}}); // at step 0 the last step gets the slide
    settings.clearNotes = 0;
    commands({13});
    for (int i = 0; i < 5; ++i) EXPECT_EQ(flags(i), StepGate) << "mode 1 clear always gates";
    EXPECT_EQ(seq.editCursor, 0);
}

TEST_F(ProgrammingTest, KeyboardProgrammingInBothModes) {
    pat().setStepCount(8);
    script({{{48 + 7, 74, 76, 77, 78, 84, 84, 83}, 1, 8, 0, 7, StepUp | StepAccent | StepSlide},
            {{82, 38, 48, 50}, 2, 8, 1, 2, StepGate}, // home, advance on, two notes
            {{39}, 0, 8, 1, 0, StepGate}},
           true);
    EXPECT_EQ(V(seq.currentPattern, seq.state.running, seq.patternChanged), V(0, 0, 1)) << "programming keys select nothing";
    noteOn(20);
    EXPECT_EQ(seq.currentPattern, 20) << "other notes still select patterns";
    noteOff(20);
    seq.currentPattern = 0;
    settings.programmingMode = 1;
    script({{{78, 72}, 1, 8, 0, 0, StepNoteMark | StepGate}, {{74}, 2, 8, 1, 0, StepTie | StepGate},
            {{76}, 3, 8, 2, 0, StepRestMark}},
           true);
    keys({38});
    EXPECT_EQ(seq.editAdvance, 1);
}

TEST_F(ProgrammingTest, ConsumedKeysDoNotStopTheSequencer) {
    seq.selectPattern(200);
    EXPECT_EQ(V(seq.currentPattern, seq.patternChanged, seq.bank.patterns[127].header), V(127, 1, 16));
    seq.currentPattern = 0;
    for (int k : {36, 48 + 3}) noteOn(k), noteOff(k);
    EXPECT_EQ(seq.state.running, 1) << "the run/stop key leaves it running";
    keys({10, 72});
    noteOff(72);
    EXPECT_EQ(V(seq.currentPattern, seq.state.running), V(10, 1));
    noteOff(10);
    EXPECT_EQ(seq.state.running, 0);
    seq.keyCommands.slots[0] = -1; // an unassigned base makes no note keys
    keys({5});
    EXPECT_EQ(V(seq.currentPattern, seq.keyForCommand(14)), V(5, -1));
    seq.keyCommands.slots[0] = 0; // key 0 is a base like any other
    keys({2});
    EXPECT_EQ(seq.currentPattern, 5);
}

TEST_F(ProgrammingTest, LearningACommandKey) {
    seq.learnMode = 1;
    seq.noteParameterChange(4);
    commands({20}); // accent
    EXPECT_EQ(V(seq.learnCommand, seq.learnParameter, flags(0)), V(33, -1, StepGate)) << "learning performs nothing";
    keys({84}); // the cursor-forward key becomes the accent key
    EXPECT_EQ(V(seq.keyCommands.slots[3], seq.keyCommands.slots[7], seq.learnCommand), V(84, -1, -1));
    EXPECT_EQ(V(seq.keyForCommand(33), seq.keyForCommand(36), seq.currentPattern), V(84, -1, 0));
    keys({60});
    EXPECT_EQ(seq.currentPattern, 60) << "nothing armed: the note selects its pattern";
    const KeyCommandTable before = seq.keyCommands;
    commands({24}); // lengthen has no key
    keys({90});
    assignKeyCommand(seq.keyCommands, 13, 50);
    assignKeyCommand(seq.keyCommands, -1, 50);
    EXPECT_EQ(std::memcmp(&before, &seq.keyCommands, sizeof before), 0);
    EXPECT_EQ(seq.keyForCommand(37), 37) << "still reports the leave key";
    std::vector<int> learned;
    for (int code = 13; code <= 23; ++code) {
        seq.patternChanged = 0;
        commands({code});
        keys({code + 77});
        learned.push_back(seq.keyForCommand(code + 13) - 77 + 10 * seq.patternChanged);
    }
    EXPECT_EQ(learned, V(23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33)) << "each command its own key, the editor told";
    commands({0});
    keys({60});
    EXPECT_EQ(V(seq.keyForCommand(13), seq.keyForCommand(25), seq.keyForCommand(12), seq.keyForCommand(38)),
              V(60, 72, -1, -1));
    seq.learnMode = 0;
    keys({62});
    EXPECT_EQ(seq.bank.patterns[60].steps[0].note, 2);
}

TEST_F(ProgrammingTest, LeavingKeyboardProgrammingIsPermanent) {
    assignKeyCommand(seq.keyCommands, 5, seq.keyCommands.slots[0]);
    EXPECT_EQ(V(seq.keyCommands.slots[0], seq.keyCommands.slots[5]), V(-1, 48)) << "a key serves one command";
    keys({37});
    EXPECT_TRUE(seq.keyboardProgrammingLeft());
    EXPECT_EQ(V(seq.currentPattern, seq.state.running), V(37, 1)) << "the leave key plays its pattern";
    keys({48 + 5});
    EXPECT_EQ(seq.currentPattern, 53);
    commands({5}); // the editor's buttons still program
    EXPECT_EQ(seq.bank.patterns[53].steps[0].note, 5);
}

} // namespace
} // namespace kelo::test
