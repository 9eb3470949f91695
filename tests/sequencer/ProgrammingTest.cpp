// Step programming from commands and from a MIDI keyboard, and learning command keys.
#include <gtest/gtest.h>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

class ProgrammingTest : public SequencerTest {
protected:
    ProgrammingTest() { settings.midiKeyProgramming = 1; }
    void commands(std::initializer_list<int> codes) {
        for (int c : codes) seq.programCommand(c);
    }
    void keys(std::initializer_list<int> notes) {
        for (int n : notes) noteOn(n);
    }
    int flags(int i) { return pat().steps[i].flags; }
    int note(int i) { return pat().steps[i].note; }
};

TEST(KeyCommandTableTest, DefaultsAndOneNoteOneSlot) {
    KeyCommandTable t;
    setDefaultKeyCommands(t);
    const int expected[kKeyCommandSlots] = {48, 72, 74, 76, 77, 36, 38, 84, 83, 82, 37, 39, 78};
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(t.slots[i], expected[i]) << "slot " << i;
    assignKeyCommand(t, 3, 72);
    assignKeyCommand(t, 3, 72);
    EXPECT_EQ(P(t.slots[3], t.slots[1]), P(72, -1));
    assignKeyCommand(t, 13, 50);
    assignKeyCommand(t, -1, 50);
    for (int s : t.slots) EXPECT_NE(s, 50);
}

TEST_F(ProgrammingTest, ModeZeroCommands) {
    pat().setStepCount(3);
    commands({15, 0, 4, 7});
    EXPECT_EQ(P(note(1), note(2)), P(4, 7));
    EXPECT_EQ(seq.editCursor, 0) << "advance wraps";
    commands({15, 9});
    EXPECT_EQ(P(seq.editAdvance, seq.editCursor), P(0, 0));
    EXPECT_EQ(note(0), 9);
    EXPECT_EQ(flags(0), StepGate) << "note keys keep the flags";
    commands({23, 23, 17, 18, 19, 20, 21, 21});
    EXPECT_EQ(flags(2), StepDown | StepUp | StepAccent);
    commands({23});
    EXPECT_EQ(seq.editCursor, 0);
    commands({22});
    EXPECT_EQ(seq.editCursor, 2);
    commands({25});
    EXPECT_EQ(P(pat().stepCount(), seq.editCursor), P(2, 1)) << "cursor follows a shortened pattern";
    commands({16, 24, 26, 28, 999, 1001, -5});
    EXPECT_EQ(P(pat().stepCount(), seq.editCursor), P(3, 0));
    pat().setStepCount(64);
    commands({24});
    EXPECT_EQ(pat().stepCount(), 64);

    pat().setTriplet(true);
    settings.clearNotes = 0;
    seq.editCursor = 3;
    commands({13});
    EXPECT_EQ(P(flags(0), seq.editCursor), P(0, 0));
    EXPECT_FALSE(pat().triplet());
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0f);
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f);
}

TEST_F(ProgrammingTest, StrayCursorIsPulledIntoThePattern) {
    pat().setStepCount(4);
    seq.editCursor = 40; // left over from a longer pattern
    commands({23});
    EXPECT_EQ(seq.editCursor, 0);
    seq.editCursor = 500;
    commands({5});
    EXPECT_EQ(P(note(3), seq.editCursor), P(5, 3));
}

TEST_F(ProgrammingTest, ModeOnePitchPhase) {
    settings.programmingMode = 1;
    pat().setStepCount(4);
    commands({15});
    seq.editCursor = 3;
    commands({7});
    EXPECT_EQ(P(note(3), seq.editCursor), P(7, 3)) << "the last step keeps the cursor";
    commands({15, 18, 19, 20, 21});
    EXPECT_EQ(seq.editCursor, 0);
    EXPECT_EQ(flags(0), StepGate | StepDown | StepUp | StepAccent | StepSlide);
    commands({26, 27});
    EXPECT_EQ(flags(0), StepGate | StepDown | StepUp | StepAccent);
    EXPECT_EQ(P(flags(1), seq.editCursor), P(0, 2));
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f) << "mode 1 ignores codes above 28";
}

TEST_F(ProgrammingTest, ModeOneTimePhase) {
    settings.programmingMode = 1;
    pat().setStepCount(5);
    pat().steps[0] = PatternStep{3, StepSlide | StepUp | StepTie | StepRestMark};
    pat().steps[1] = PatternStep{0, StepGate | StepAccent | StepNoteMark};
    pat().steps[2] = PatternStep{0, StepGate | StepSlide | StepTie | StepDown | StepAccent | StepNoteMark};
    commands({17, 18, 19, 20});
    EXPECT_EQ(flags(0), StepNoteMark | StepGate | StepSlide | StepUp);
    EXPECT_EQ(flags(1), StepTie | StepGate | StepAccent);
    EXPECT_EQ(flags(2), StepRestMark | StepDown | StepAccent);
    EXPECT_EQ(seq.editCursor, 3);
    commands({6, 21});
    EXPECT_EQ(P(note(3), seq.editCursor), P(6, 3)) << "note keys do not move";
    EXPECT_EQ(flags(3), StepGate) << "slide does nothing here";
    commands({17});
    EXPECT_EQ(seq.editCursor, 0);
    pat().steps[0].flags = StepGate | StepSlide | StepAccent;
    commands({28});
    EXPECT_EQ(flags(4), StepGate | StepSlide) << "cursor 0: the last step gets the slide";
    EXPECT_EQ(P(flags(0), seq.editCursor), P(StepAccent, 0));
    settings.clearNotes = 0;
    commands({13});
    for (int i = 0; i < 5; ++i) EXPECT_EQ(flags(i), StepGate) << "mode 1 clear always gates";
}

TEST_F(ProgrammingTest, KeyboardProgrammingInBothModes) {
    pat().setStepCount(8);
    keys({48 + 7, 74, 76, 78, 84, 84, 83});
    EXPECT_EQ(note(0), 7);
    EXPECT_EQ(flags(0), StepUp | StepAccent);
    EXPECT_EQ(seq.editCursor, 1);
    EXPECT_EQ(seq.patternChanged, 1);
    EXPECT_EQ(P(seq.currentPattern, seq.state.running), P(0, 0)) << "programming keys select nothing";
    keys({82, 38, 48, 50});
    EXPECT_EQ(P(note(1), seq.editCursor), P(2, 2));
    keys({39});
    EXPECT_EQ(P(note(1), flags(0)), P(0, StepGate));
    noteOn(20);
    EXPECT_EQ(seq.currentPattern, 20) << "other notes still select patterns";
    noteOff(20);

    settings.programmingMode = 1;
    keys({78, 72, 74, 76}); // gate, down, up, accent slots: time phase, note, tie, rest
    EXPECT_EQ(flags(0) & 0x81, 0x81);
    EXPECT_EQ(flags(1) & StepTie, StepTie);
    EXPECT_EQ(flags(2) & StepRestMark, StepRestMark);
    keys({38});
    EXPECT_EQ(seq.editAdvance, 1);
}

TEST_F(ProgrammingTest, ConsumedKeysDoNotStopTheSequencer) {
    keys({36});
    noteOff(36);
    keys({48 + 3});
    noteOff(48 + 3);
    EXPECT_EQ(seq.state.running, 1) << "the run/stop key leaves it running";
    keys({10, 72});
    noteOff(72);
    EXPECT_EQ(P(seq.currentPattern, seq.state.running), P(10, 1));
    noteOff(10);
    EXPECT_EQ(seq.state.running, 0);
    seq.keyCommands.slots[0] = -1; // an unassigned base makes no note keys
    keys({5});
    EXPECT_EQ(seq.currentPattern, 5);
    EXPECT_EQ(seq.keyForCommand(14), -1);
}

TEST_F(ProgrammingTest, LearningACommandKey) {
    seq.learnMode = 1;
    seq.noteParameterChange(4);
    commands({20}); // accent
    EXPECT_EQ(P(seq.learnCommand, seq.learnParameter), P(33, -1));
    EXPECT_EQ(flags(0), StepGate) << "learning performs nothing";
    keys({84}); // the cursor-forward key becomes the accent key
    EXPECT_EQ(P(seq.keyCommands.slots[3], seq.keyCommands.slots[7]), P(84, -1));
    EXPECT_EQ(seq.learnCommand, -1);
    EXPECT_EQ(P(seq.keyForCommand(33), seq.keyForCommand(36)), P(84, -1));
    EXPECT_EQ(seq.currentPattern, 0);
    keys({60});
    EXPECT_EQ(seq.currentPattern, 60) << "nothing armed: the note selects its pattern";

    const KeyCommandTable before = seq.keyCommands;
    commands({24}); // lengthen has no key
    keys({90});
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(seq.keyCommands.slots[i], before.slots[i]);
    EXPECT_EQ(seq.keyForCommand(37), 37) << "still reports the leave key";
    commands({0});
    keys({60});
    EXPECT_EQ(P(seq.keyForCommand(13), seq.keyForCommand(25)), P(60, 72));
    EXPECT_EQ(P(seq.keyForCommand(12), seq.keyForCommand(38)), P(-1, -1));
    seq.learnMode = 0;
    keys({62});
    EXPECT_EQ(seq.bank.patterns[60].steps[0].note, 2);
}

TEST_F(ProgrammingTest, LeavingKeyboardProgrammingIsPermanent) {
    keys({37});
    EXPECT_TRUE(seq.keyboardProgrammingLeft());
    EXPECT_EQ(P(seq.currentPattern, seq.state.running), P(37, 1)) << "the leave key plays its pattern";
    keys({48 + 5});
    EXPECT_EQ(seq.currentPattern, 53);
    commands({5}); // the editor's buttons still program
    EXPECT_EQ(seq.bank.patterns[53].steps[0].note, 5);
}

} // namespace
} // namespace kelo::test
