// Step programming from commands and from a MIDI keyboard, and learning command keys.
#include <gtest/gtest.h>

#include <cstring>

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

TEST(KeyCommandTableTest, OneNoteOneSlot) {
    KeyCommandTable t;
    setDefaultKeyCommands(t);
    assignKeyCommand(t, 3, 72);
    assignKeyCommand(t, 3, 72);
    EXPECT_EQ(V(t.slots[3], t.slots[1]), V(72, -1));
    assignKeyCommand(t, 13, 50);
    assignKeyCommand(t, -1, 50);
    for (int s : t.slots) EXPECT_NE(s, 50);
}

TEST_F(ProgrammingTest, ModeZeroCommands) {
    pat().setStepCount(3);
    commands({15, 0, 4, 7});
    EXPECT_EQ(V(note(1), note(2), seq.editCursor), V(4, 7, 0)) << "advance wraps";
    commands({15, 9});
    EXPECT_EQ(V(seq.editAdvance, seq.editCursor, note(0), flags(0)), V(0, 0, 9, StepGate)) << "note keys keep flags";
    commands({23, 23, 17, 18, 19, 20, 21, 21});
    EXPECT_EQ(flags(2), StepDown | StepUp | StepAccent);
    commands({23});
    EXPECT_EQ(seq.editCursor, 0);
    commands({22});
    EXPECT_EQ(seq.editCursor, 2);
    commands({25});
    EXPECT_EQ(V(pat().stepCount(), seq.editCursor), V(2, 1)) << "cursor follows a shortened pattern";
    commands({16, 24, 26, 28, 999, 1001, -5});
    EXPECT_EQ(V(pat().stepCount(), seq.editCursor), V(3, 0));

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
    commands({23});
    EXPECT_EQ(seq.editCursor, 0);
    seq.editCursor = 500;
    commands({5});
    EXPECT_EQ(V(note(3), seq.editCursor), V(5, 3));
}

TEST_F(ProgrammingTest, ModeOnePitchPhase) {
    settings.programmingMode = 1;
    pat().setStepCount(4);
    commands({15});
    seq.editCursor = 3;
    commands({7});
    EXPECT_EQ(V(note(3), seq.editCursor), V(7, 3)) << "the last step keeps the cursor";
    commands({15, 18, 19, 20, 21});
    EXPECT_EQ(V(flags(0), seq.editCursor), V(StepGate | StepDown | StepUp | StepAccent | StepSlide, 0));
    commands({26, 27});
    EXPECT_EQ(V(flags(0), flags(1), seq.editCursor), V(StepGate | StepDown | StepUp | StepAccent, 0, 2));
    commands({1000});
    EXPECT_FLOAT_EQ(settings.relativeTuning, 1.0015f) << "mode 1 ignores codes above 28";
}

TEST_F(ProgrammingTest, ModeOneTimePhase) {
    settings.programmingMode = 1;
    pat().setStepCount(5);
    pat().steps[0] = PatternStep{3, StepSlide | StepUp | StepTie | StepRestMark};
    pat().steps[1] = PatternStep{0, StepGate | StepAccent | StepNoteMark};
    pat().steps[2] = PatternStep{0, StepGate | StepSlide | StepTie | StepDown | StepAccent | StepNoteMark};
    commands({17, 18, 19, 20}); // note, tie, rest
    EXPECT_EQ(V(flags(0), flags(1), flags(2), seq.editCursor),
              V(StepNoteMark | StepGate | StepSlide | StepUp, StepTie | StepGate | StepAccent,
                StepRestMark | StepDown | StepAccent, 3));
    commands({6, 21});
    EXPECT_EQ(V(note(3), seq.editCursor, flags(3)), V(6, 3, StepGate)) << "note keys do not move, slide is inert";
    commands({17});
    EXPECT_EQ(seq.editCursor, 0);
    pat().steps[0].flags = StepGate | StepSlide | StepAccent;
    commands({28});
    EXPECT_EQ(V(flags(4), flags(0), seq.editCursor), V(StepGate | StepSlide, StepAccent, 0))
        << "cursor 0: the last step gets the slide";
    settings.clearNotes = 0;
    commands({13});
    for (int i = 0; i < 5; ++i) EXPECT_EQ(flags(i), StepGate) << "mode 1 clear always gates";
}

TEST_F(ProgrammingTest, KeyboardProgrammingInBothModes) {
    pat().setStepCount(8);
    keys({48 + 7, 74, 76, 77, 78, 84, 84, 83}); // note, up, accent, slide, gate, forward x2, back
    EXPECT_EQ(V(note(0), flags(0), seq.editCursor, seq.patternChanged),
              V(7, StepUp | StepAccent | StepSlide, 1, 1));
    EXPECT_EQ(V(seq.currentPattern, seq.state.running), V(0, 0)) << "programming keys select nothing";
    keys({82, 38, 48, 50});
    EXPECT_EQ(V(note(1), seq.editCursor), V(2, 2));
    keys({39});
    EXPECT_EQ(V(note(1), flags(0)), V(0, StepGate));
    noteOn(20);
    EXPECT_EQ(seq.currentPattern, 20) << "other notes still select patterns";
    noteOff(20);

    settings.programmingMode = 1;
    keys({78, 72, 74, 76}); // gate, down, up, accent slots: time phase, note, tie, rest
    EXPECT_EQ(V(flags(0) & 0x81, flags(1) & StepTie, flags(2) & StepRestMark), V(0x81, StepTie, StepRestMark));
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
    EXPECT_EQ(V(seq.currentPattern, seq.state.running), V(10, 1));
    noteOff(10);
    EXPECT_EQ(seq.state.running, 0);
    seq.keyCommands.slots[0] = -1; // an unassigned base makes no note keys
    keys({5});
    EXPECT_EQ(V(seq.currentPattern, seq.keyForCommand(14)), V(5, -1));
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
    EXPECT_EQ(std::memcmp(&before, &seq.keyCommands, sizeof before), 0);
    EXPECT_EQ(seq.keyForCommand(37), 37) << "still reports the leave key";
    commands({0});
    keys({60});
    EXPECT_EQ(V(seq.keyForCommand(13), seq.keyForCommand(25), seq.keyForCommand(12), seq.keyForCommand(38)),
              V(60, 72, -1, -1));
    seq.learnMode = 0;
    keys({62});
    EXPECT_EQ(seq.bank.patterns[60].steps[0].note, 2);
}

TEST_F(ProgrammingTest, LeavingKeyboardProgrammingIsPermanent) {
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
