// Step programming from commands and from a MIDI keyboard, and learning command keys.
#include <gtest/gtest.h>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

class ProgrammingTest : public SequencerTest {
protected:
    ProgrammingTest() { settings.midiKeyProgramming = 1; }

    void key(int n, int v = 100) { seq.handleMidiMessage(0x90, n, v); }
    void keyUp(int n) { seq.handleMidiMessage(0x80, n, 0); }
    uint8_t flags(int i) { return pat().steps[i].flags; }
    uint8_t note(int i) { return pat().steps[i].note; }
};

TEST(KeyCommandTableTest, DefaultsAndOneNoteOneSlot) {
    KeyCommandTable t;
    setDefaultKeyCommands(t);
    const int expected[kKeyCommandSlots] = {48, 72, 74, 76, 77, 36, 38, 84, 83, 82, 37, 39, 78};
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(t.slots[i], expected[i]) << "slot " << i;
    assignKeyCommand(t, 3, 72);
    EXPECT_EQ(t.slots[3], 72);
    EXPECT_EQ(t.slots[1], -1);
    assignKeyCommand(t, 3, 72); // reassigning the same slot keeps it
    EXPECT_EQ(t.slots[3], 72);
    assignKeyCommand(t, 13, 50); // no such slot
    assignKeyCommand(t, -1, 50);
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_NE(t.slots[i], 50);
}

TEST_F(ProgrammingTest, ModeZeroNoteKeysAdvanceAndWrap) {
    pat().setStepCount(3);
    seq.programCommand(15);
    EXPECT_EQ(seq.editAdvance, 1);
    seq.programCommand(0);
    seq.programCommand(4);
    seq.programCommand(7);
    EXPECT_EQ(note(0), 0);
    EXPECT_EQ(note(1), 4);
    EXPECT_EQ(note(2), 7);
    EXPECT_EQ(seq.editCursor, 0);
    seq.programCommand(15);
    EXPECT_EQ(seq.editAdvance, 0);
    seq.programCommand(9);
    EXPECT_EQ(seq.editCursor, 0) << "without advance the cursor stays";
    EXPECT_EQ(note(0), 9);
    EXPECT_EQ(flags(0), StepGate) << "note keys keep the flags";
}

TEST_F(ProgrammingTest, ModeZeroFlagTogglesCursorAndLength) {
    pat().setStepCount(4);
    seq.editCursor = 2;
    seq.programCommand(17);
    seq.programCommand(18);
    seq.programCommand(19);
    seq.programCommand(20);
    seq.programCommand(21);
    EXPECT_EQ(flags(2), StepDown | StepUp | StepAccent | StepSlide);
    seq.programCommand(21);
    EXPECT_EQ(flags(2), StepDown | StepUp | StepAccent);
    seq.programCommand(23);
    seq.programCommand(23);
    EXPECT_EQ(seq.editCursor, 0);
    seq.programCommand(22);
    EXPECT_EQ(seq.editCursor, 3);
    seq.programCommand(16);
    EXPECT_EQ(seq.editCursor, 0);
    seq.editCursor = 3;
    seq.programCommand(25);
    EXPECT_EQ(pat().stepCount(), 3);
    EXPECT_EQ(seq.editCursor, 2) << "cursor follows a shortened pattern";
    seq.programCommand(24);
    EXPECT_EQ(pat().stepCount(), 4);
    pat().setStepCount(64);
    seq.programCommand(24);
    EXPECT_EQ(pat().stepCount(), 64);
    pat().setStepCount(1);
    seq.programCommand(25);
    EXPECT_EQ(pat().stepCount(), 1);
    for (int code : {26, 28, 999, 1001, -5}) seq.programCommand(code);
    EXPECT_EQ(pat().stepCount(), 1);
}

TEST_F(ProgrammingTest, ModeZeroClearUsesClearNotesAndFineTuningToggles) {
    pat().steps[1] = PatternStep{5, StepAccent};
    pat().setTriplet(true);
    seq.editCursor = 3;
    settings.clearNotes = 0;
    seq.programCommand(13);
    EXPECT_EQ(flags(1), 0);
    EXPECT_EQ(note(1), 0);
    EXPECT_FALSE(pat().triplet());
    EXPECT_EQ(seq.editCursor, 0);

    EXPECT_TRUE(seq.fineTuning());
    seq.programCommand(1000);
    EXPECT_FALSE(seq.fineTuning());
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0f);
    seq.programCommand(1000);
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f);
}

TEST_F(ProgrammingTest, StrayCursorIsPulledIntoThePattern) {
    pat().setStepCount(4);
    seq.editCursor = 40; // left over from a longer pattern
    seq.programCommand(23);
    EXPECT_EQ(seq.editCursor, 0) << "advance from the last step wraps";
    seq.editCursor = 500;
    seq.programCommand(5);
    EXPECT_EQ(note(3), 5);
    EXPECT_EQ(seq.editCursor, 3);
}

TEST_F(ProgrammingTest, ModeOnePitchPhaseStopsAtTheLastStep) {
    settings.programmingMode = 1;
    pat().setStepCount(4);
    seq.programCommand(15); // enter pitch phase
    EXPECT_EQ(seq.editAdvance, 1);
    seq.editCursor = 3;
    seq.programCommand(7);
    EXPECT_EQ(note(3), 7);
    EXPECT_EQ(seq.editCursor, 3);
    seq.programCommand(15); // already in pitch phase: back to the start
    EXPECT_EQ(seq.editCursor, 0);
    seq.programCommand(18);
    seq.programCommand(19);
    seq.programCommand(20);
    seq.programCommand(21);
    EXPECT_EQ(flags(0), StepGate | StepDown | StepUp | StepAccent | StepSlide);
    EXPECT_EQ(seq.editCursor, 0);
    seq.programCommand(26);
    EXPECT_EQ(flags(0), StepGate | StepDown | StepUp | StepAccent);
    EXPECT_EQ(seq.editCursor, 1);
    seq.programCommand(27);
    EXPECT_EQ(flags(1), 0);
    EXPECT_EQ(seq.editCursor, 2);
    seq.programCommand(1000);
    EXPECT_TRUE(seq.fineTuning()) << "mode 1 ignores codes above 28";
}

TEST_F(ProgrammingTest, ModeOneTimePhaseWritesNoteTieRestMarks) {
    settings.programmingMode = 1;
    pat().steps[0] = PatternStep{3, StepSlide | StepUp | StepTie | StepRestMark};
    pat().steps[1] = PatternStep{0, StepGate | StepAccent | StepNoteMark};
    pat().steps[2] = PatternStep{0, StepGate | StepSlide | StepTie | StepDown | StepAccent | StepNoteMark};
    seq.programCommand(17); // enter time phase (editAdvance is already 0)
    EXPECT_EQ(seq.editCursor, 0);
    seq.programCommand(18);
    seq.programCommand(19);
    seq.programCommand(20);
    EXPECT_EQ(flags(0), StepNoteMark | StepGate | StepSlide | StepUp);
    EXPECT_EQ(flags(1), StepTie | StepGate | StepAccent);
    EXPECT_EQ(flags(2), StepRestMark | StepDown | StepAccent);
    EXPECT_EQ(seq.editCursor, 3);
    seq.programCommand(6);
    EXPECT_EQ(note(3), 6);
    EXPECT_EQ(seq.editCursor, 3) << "time phase: note keys do not move";
    seq.programCommand(21);
    EXPECT_EQ(flags(3), StepGate) << "slide does nothing in time phase";
    seq.programCommand(17);
    EXPECT_EQ(seq.editCursor, 0);
}

TEST_F(ProgrammingTest, ModeOneSlideToAndClear) {
    settings.programmingMode = 1;
    pat().setStepCount(5);
    pat().steps[0].flags = StepGate | StepSlide | StepAccent;
    seq.programCommand(28);
    EXPECT_EQ(flags(4) & StepSlide, StepSlide) << "cursor 0: the last step gets the slide";
    EXPECT_EQ(flags(0), StepAccent);
    EXPECT_EQ(seq.editCursor, 0) << "time phase: cursor stays";
    seq.editAdvance = 1;
    seq.editCursor = 2;
    seq.programCommand(28);
    EXPECT_EQ(flags(1) & StepSlide, StepSlide);
    EXPECT_EQ(seq.editCursor, 3);

    settings.clearNotes = 0;
    pat().setTriplet(true);
    pat().steps[7] = PatternStep{9, StepAccent};
    seq.programCommand(13);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(flags(i), StepGate) << "mode 1 clear always gates";
    EXPECT_EQ(note(7), 9);
    EXPECT_FALSE(pat().triplet());
    EXPECT_EQ(seq.editCursor, 0);
}

TEST_F(ProgrammingTest, RunStopCommandToggles) {
    enableMidiOut();
    seq.programCommand(14);
    EXPECT_EQ(seq.state.running, 1);
    run(100);
    seq.programCommand(14);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    settings.programmingMode = 1;
    seq.programCommand(14);
    EXPECT_EQ(seq.state.running, 1);
}

TEST_F(ProgrammingTest, KeyboardProgrammingModeZero) {
    pat().setStepCount(8);
    key(48 + 7); // G
    EXPECT_EQ(note(0), 7);
    EXPECT_EQ(seq.patternChanged, 1);
    EXPECT_EQ(seq.currentPattern, 0) << "programming keys do not select patterns";
    EXPECT_EQ(seq.state.running, 0);
    key(74); // up
    key(76); // accent
    key(78); // gate off
    EXPECT_EQ(flags(0), StepUp | StepAccent);
    key(84); // forward
    key(84);
    EXPECT_EQ(seq.editCursor, 2);
    key(83); // back
    EXPECT_EQ(seq.editCursor, 1);
    key(82); // home
    EXPECT_EQ(seq.editCursor, 0);
    key(38); // advance on
    EXPECT_EQ(seq.editAdvance, 1);
    key(48);
    key(50);
    EXPECT_EQ(note(1), 2);
    EXPECT_EQ(seq.editCursor, 2);
    key(39); // clear
    EXPECT_EQ(flags(0), StepGate);
    EXPECT_EQ(note(1), 0);
    key(20);
    EXPECT_EQ(seq.currentPattern, 20) << "other notes still select patterns";
}

TEST_F(ProgrammingTest, KeyboardProgrammingModeOneSendsModeOneCommands) {
    settings.programmingMode = 1;
    key(78); // gate slot -> time phase; already there: cursor home
    key(72); // down slot -> time-phase note
    key(74); // up slot -> tie
    key(76); // accent slot -> rest
    EXPECT_EQ(flags(0) & (StepNoteMark | StepGate), StepNoteMark | StepGate);
    EXPECT_EQ(flags(1) & StepTie, StepTie);
    EXPECT_EQ(flags(2) & StepRestMark, StepRestMark);
    EXPECT_EQ(seq.editCursor, 3);
    key(38); // pitch phase
    EXPECT_EQ(seq.editAdvance, 1);
}

TEST_F(ProgrammingTest, RunStopKeyKeepsTheSequencerRunningAfterRelease) {
    key(36);
    EXPECT_EQ(seq.state.running, 1);
    keyUp(36);
    EXPECT_EQ(seq.state.running, 1) << "a consumed key is not a pattern key";
    key(48 + 3);
    keyUp(48 + 3);
    EXPECT_EQ(seq.state.running, 1);
    // A held pattern key keeps playing through programming keys too.
    key(10);
    key(72);
    keyUp(72);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.currentPattern, 10);
    keyUp(10);
    EXPECT_EQ(seq.state.running, 0);
}

TEST_F(ProgrammingTest, LearningACommandKey) {
    seq.learnMode = 1;
    seq.noteParameterChange(4);
    seq.programCommand(20); // accent
    EXPECT_EQ(seq.learnCommand, 33);
    EXPECT_EQ(seq.learnParameter, -1);
    EXPECT_EQ(flags(0), StepGate) << "learning performs nothing";
    seq.patternChanged = 0;
    key(84); // the cursor-forward key becomes the accent key
    EXPECT_EQ(seq.keyCommands.slots[3], 84);
    EXPECT_EQ(seq.keyCommands.slots[7], -1);
    EXPECT_EQ(seq.learnCommand, -1);
    EXPECT_EQ(seq.patternChanged, 1);
    EXPECT_EQ(seq.currentPattern, 0);
    EXPECT_EQ(seq.keyForCommand(33), 84);
    EXPECT_EQ(seq.keyForCommand(36), -1);

    key(60); // nothing armed: the note selects its pattern
    EXPECT_EQ(seq.currentPattern, 60);

    seq.programCommand(24); // lengthen has no key slot
    const KeyCommandTable before = seq.keyCommands;
    key(90);
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(seq.keyCommands.slots[i], before.slots[i]);
    EXPECT_EQ(seq.keyForCommand(37), 37) << "reports the leave key for that target";

    seq.programCommand(0); // the note keys move as a block with the base
    key(60);
    EXPECT_EQ(seq.keyCommands.slots[0], 60);
    EXPECT_EQ(seq.keyForCommand(13), 60);
    EXPECT_EQ(seq.keyForCommand(25), 72);
    EXPECT_EQ(seq.keyForCommand(12), -1);
    EXPECT_EQ(seq.keyForCommand(38), -1);

    seq.learnMode = 0;
    key(62);
    EXPECT_EQ(note(0), 2);
}

TEST_F(ProgrammingTest, UnassignedBaseLeavesLowNotesAlone) {
    seq.keyCommands.slots[0] = -1;
    key(5);
    EXPECT_EQ(seq.currentPattern, 5);
    EXPECT_EQ(note(0), 0);
    EXPECT_EQ(seq.keyForCommand(14), -1);
}

TEST_F(ProgrammingTest, LeavingKeyboardProgrammingIsPermanent) {
    key(37);
    EXPECT_TRUE(seq.keyboardProgrammingLeft());
    EXPECT_EQ(seq.currentPattern, 37) << "the leave key also selects its pattern";
    EXPECT_EQ(seq.state.running, 1);
    keyUp(37);
    key(48 + 5);
    EXPECT_EQ(seq.currentPattern, 53);
    EXPECT_EQ(note(0), 0);
    seq.programCommand(5); // the editor's buttons still program
    EXPECT_EQ(seq.bank.patterns[53].steps[0].note, 5);
}

} // namespace
} // namespace kelo::test
