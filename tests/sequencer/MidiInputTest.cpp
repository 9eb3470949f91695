// Incoming MIDI: pattern keys, note mode, controllers, learning, all-notes-off.
#include <gtest/gtest.h>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

class MidiInputTest : public SequencerTest {
protected:
    void noteOn(int n, int v = 100) { seq.handleMidiMessage(0x90, n, v); }
    void noteOff(int n) { seq.handleMidiMessage(0x80, n, 0); }
    void cc(int c, int v, int ch = 0) { seq.handleMidiMessage(0xB0 | ch, c, v); }

    int countAllNotesOff(bool immediate) const {
        int n = 0;
        for (const MidiRecord& r : host.midi)
            if (r.immediate == immediate && (r.b0 & 0xF0) == 0xB0 && r.b1 == 123) ++n;
        return n;
    }
};

TEST_F(MidiInputTest, PatternKeysSelectPlayAndStop) {
    enableMidiOut(2);
    seq.bank.patterns[5].setStepCount(16);
    seq.bank.patterns[9].setStepCount(3);
    seq.beginBlock();
    noteOn(5);
    EXPECT_EQ(seq.currentPattern, 5);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.state.stepIndex, 0);
    run(7 * 5513 + 100); // 8 steps processed: next is step 8
    EXPECT_EQ(seq.state.stepIndex, 8);

    noteOn(9);
    EXPECT_EQ(seq.currentPattern, 9);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.state.stepIndex, 8 % 3) << "position kept modulo the new length";
    run(5513); // one more step of pattern 9
    const int position = seq.state.stepIndex;

    noteOff(9);
    EXPECT_EQ(seq.currentPattern, 5) << "falls back to the highest key still held";
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.state.stepIndex, position) << "no reset on the way back";

    host.midi.clear();
    seq.setEventOffset(42);
    noteOff(5);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    EXPECT_EQ(countAllNotesOff(true), 1);
    EXPECT_EQ(countAllNotesOff(false), 1);
    EXPECT_EQ(host.midi[0].b0, 0xB2);
    ASSERT_EQ(host.midi.size(), 2u);
    EXPECT_EQ(host.midi[1].offset, 42) << "queued at the releasing key's own position";
}

TEST_F(MidiInputTest, HighestHeldKeyWinsAndZeroVelocityReleases) {
    noteOn(20);
    noteOn(40);
    noteOn(30);
    EXPECT_EQ(seq.currentPattern, 30) << "the newest key selects";
    seq.handleMidiMessage(0x90, 30, 0);
    EXPECT_EQ(seq.currentPattern, 40);
    noteOff(40);
    EXPECT_EQ(seq.currentPattern, 20);
    EXPECT_EQ(seq.state.running, 1);
}

TEST_F(MidiInputTest, PatternLockKeepsCurrentButFollowsRequests) {
    seq.patternLock = 1;
    seq.currentPattern = 3;
    noteOn(5);
    EXPECT_EQ(seq.currentPattern, 3);
    EXPECT_EQ(seq.requestedPattern, 5);
    EXPECT_EQ(seq.state.running, 1);
    noteOn(9);
    EXPECT_EQ(seq.requestedPattern, 9);
    noteOff(9);
    noteOff(5);
    EXPECT_EQ(seq.currentPattern, 3);
    EXPECT_EQ(seq.state.running, 0);
}

TEST_F(MidiInputTest, StartKeepsSlideFromAsFlag) {
    voice.slideFrom = 5;
    voice.slide = 1;
    noteOn(1);
    EXPECT_EQ(voice.slideFrom, 1);
    EXPECT_EQ(voice.slide, 0);
}

TEST_F(MidiInputTest, NoteModeLegatoAndReleaseOfSoundingKeyOnly) {
    settings.midiMode = 1;
    seq.state.running = 1;
    noteOn(48, 90);
    EXPECT_EQ(seq.state.running, 0) << "notes stop the pattern in note mode";
    EXPECT_EQ(voice.gate, 1);
    EXPECT_EQ(voice.trigger, 1);
    EXPECT_EQ(voice.slideFrom, 0);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[48]);
    voice.trigger = 0;

    noteOn(55, 90);
    EXPECT_EQ(voice.trigger, 0) << "legato: no retrigger";
    EXPECT_EQ(voice.slideFrom, 1);
    EXPECT_EQ(voice.gate, 1);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[55]);

    noteOff(48);
    EXPECT_EQ(voice.gate, 1) << "releasing the older key keeps the sound";
    noteOff(55);
    EXPECT_EQ(voice.gate, 0);
    EXPECT_EQ(voice.slideFrom, 0);
    EXPECT_EQ(seq.noteHeld, 0);

    noteOn(60, 90);
    EXPECT_EQ(voice.trigger, 1) << "after a full release the next note retriggers";
    EXPECT_EQ(voice.slideFrom, 0);
    seq.handleMidiMessage(0x90, 60, 0);
    EXPECT_EQ(voice.gate, 0) << "velocity 0 is a note-off";
}

TEST_F(MidiInputTest, NoteModeFoldsOrCapsHighNotes) {
    settings.midiMode = 1;
    noteOn(100);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[76]);
    noteOff(100);
    settings.capNotes = 1;
    noteOn(100);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[83]);
    noteOn(100); // legato notes always fold
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[76]);
    noteOff(100);
    settings.tuningMode = 1;
    noteOn(40);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.stretched[40]);
}

TEST_F(MidiInputTest, AccentOnlyAboveAccentVelocity) {
    settings.midiMode = 1;
    settings.accentVelocity = 100;
    noteOn(40, 100);
    EXPECT_EQ(voice.accent, 0);
    EXPECT_EQ(voice.accentStep, 0);
    noteOn(41, 101);
    EXPECT_EQ(voice.accent, 1);
    EXPECT_EQ(voice.accentStep, 1);
}

TEST_F(MidiInputTest, ControllersMoveMappedParameters) {
    cc(7, 127);
    ASSERT_EQ(host.params.size(), 1u);
    EXPECT_EQ(host.params[0].index, 8);
    EXPECT_FLOAT_EQ(host.params[0].value, 1.0f);
    cc(121, 64);
    cc(64, 64);
    EXPECT_EQ(host.params.size(), 1u) << "reset-all and an unmapped sustain do nothing";
    ccMap.entries[64] = 2;
    ccMap.entries[121] = 3;
    cc(64, 127);
    cc(121, 127);
    ASSERT_EQ(host.params.size(), 2u) << "sustain maps like any controller, 121 never";
    EXPECT_EQ(host.params[1].index, 2);
    ccMap.entries[20] = 40; // out-of-range map entries are inert
    cc(20, 1);
    EXPECT_EQ(host.params.size(), 2u);
    seq.handleMidiMessage(0xE0, 0, 127); // pitch bend
    seq.handleMidiMessage(0xC0, 3, 0);   // program change
    seq.handleMidiMessage(0xF0, 0, 0);   // clock / transport
    EXPECT_EQ(host.params.size(), 2u);
    EXPECT_EQ(seq.state.running, 0);
}

TEST_F(MidiInputTest, LearnAssignsControllerToLastMovedParameter) {
    seq.learnMode = 1;
    seq.noteParameterChange(2); // Resonance moved in the editor
    seq.noteParameterChange(200); // an editor-only slot does not disarm it
    EXPECT_EQ(seq.learnParameter, 2);
    cc(30, 127);
    EXPECT_EQ(ccMap.entries[30], 2);
    EXPECT_EQ(ccMap.entries[76], -1) << "the old controller of Resonance is unmapped";
    ASSERT_EQ(host.params.size(), 1u);
    EXPECT_EQ(host.params[0].index, 2);
    EXPECT_EQ(seq.learnParameter, -1);
    cc(74, 0); // nothing armed: acts as a plain controller
    EXPECT_EQ(ccMap.entries[74], 1);
    ASSERT_EQ(host.params.size(), 2u);
    EXPECT_EQ(host.params[1].index, 1);
}

TEST_F(MidiInputTest, ModeTwoIgnoresNotesAndAllNotesOff) {
    settings.midiMode = 2;
    voice.gate = 1;
    noteOn(5);
    noteOff(5);
    cc(123, 0);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(seq.currentPattern, 0);
    EXPECT_EQ(voice.gate, 1);
    cc(7, 0);
    EXPECT_EQ(host.params.size(), 1u) << "controllers still work";
}

TEST_F(MidiInputTest, HostTransportStopOnAllChannelsStopsCleanly) {
    enableMidiOut();
    seq.beginBlock();
    noteOn(5);
    noteOn(6);
    run(3000);
    for (int ch = 0; ch < 16; ++ch) {
        cc(64, 0, ch);
        cc(121, 0, ch);
        cc(123, 0, ch);
    }
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    for (int k = 0; k < 128; ++k) ASSERT_EQ(seq.heldKeys[k], 0);
    EXPECT_EQ(countAllNotesOff(true), 1) << "only the stop that ended playback is forwarded";
    EXPECT_EQ(countAllNotesOff(false), 1);
    EXPECT_TRUE(host.params.empty());
    // The keys released afterwards change nothing; a new key starts from step 0.
    noteOff(5);
    noteOff(6);
    EXPECT_EQ(seq.state.running, 0);
    noteOn(7);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.state.stepIndex, 0);
}

TEST_F(MidiInputTest, NoteModeAllNotesOffSilences) {
    settings.midiMode = 1;
    noteOn(40);
    cc(126, 0);
    EXPECT_EQ(voice.gate, 0);
    EXPECT_EQ(seq.noteHeld, 0);
    noteOn(42);
    EXPECT_EQ(voice.trigger, 1) << "fresh note after all-notes-off";
}

TEST_F(MidiInputTest, SetMidiOutputOffReleasesDownstreamNotes) {
    enableMidiOut(4);
    seq.setMidiOutput(false);
    ASSERT_EQ(host.midi.size(), 1u);
    EXPECT_TRUE(host.midi[0].immediate);
    EXPECT_EQ(host.midi[0].b0, 0xB4);
    EXPECT_EQ(host.midi[0].b1, 123);
    seq.setMidiOutput(false); // already off: nothing more
    seq.setMidiOutput(true);
    settings.midiOutputChannel = -1;
    seq.setMidiOutput(false);
    EXPECT_EQ(host.midi.size(), 1u);
}

} // namespace
} // namespace kelo::test
