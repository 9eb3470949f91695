// Incoming MIDI: pattern keys, note mode, controllers, learning, all-notes-off.
#include <gtest/gtest.h>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

using MidiInputTest = SequencerTest;

int allNotesOff(const std::vector<MidiRecord>& midi, bool immediate) {
    int n = 0;
    for (const MidiRecord& r : midi) n += r.immediate == immediate && (r.b0 & 0xF0) == 0xB0 && r.b1 == 123;
    return n;
}

TEST_F(MidiInputTest, PatternKeysSelectPlayAndStop) {
    enableMidiOut(2);
    seq.bank.patterns[9].setStepCount(3);
    noteOn(5);
    EXPECT_EQ(P(seq.currentPattern, seq.state.running), P(5, 1));
    run(7 * 5513 + 100);
    EXPECT_EQ(seq.state.stepIndex, 8);
    noteOn(9);
    EXPECT_EQ(seq.currentPattern, 9);
    EXPECT_EQ(seq.state.stepIndex, 8 % 3) << "position kept modulo the new length";
    run(5513);
    const int position = seq.state.stepIndex;
    noteOff(9);
    EXPECT_EQ(seq.currentPattern, 5) << "back to the highest key still held";
    EXPECT_EQ(seq.state.stepIndex, position) << "without a reset";
    EXPECT_EQ(seq.state.running, 1);

    host.midi.clear();
    seq.setEventOffset(42);
    noteOff(5);
    EXPECT_EQ(P(seq.state.running, voice.gate), P(0, 0));
    ASSERT_EQ(host.midi.size(), 2u);
    EXPECT_EQ(allNotesOff(host.midi, true), 1);
    EXPECT_EQ(host.midi[0].b0, 0xB2);
    EXPECT_EQ(allNotesOff(host.midi, false), 1);
    EXPECT_EQ(host.midi[1].offset, 42) << "queued copy at the releasing key's own position";

    noteOn(20);
    noteOn(40);
    noteOn(30);
    EXPECT_EQ(seq.currentPattern, 30) << "the newest key selects";
    seq.handleMidiMessage(0x90, 30, 0);
    EXPECT_EQ(seq.currentPattern, 40) << "velocity 0 releases";
}

TEST_F(MidiInputTest, PatternLockKeepsCurrentButFollowsRequests) {
    seq.patternLock = 1;
    seq.currentPattern = 3;
    voice.slideFrom = 5;
    noteOn(5);
    noteOn(9);
    EXPECT_EQ(seq.currentPattern, 3);
    EXPECT_EQ(seq.requestedPattern, 9);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(voice.slideFrom, 1) << "a MIDI start keeps slideFrom as a flag";
    noteOff(9);
    noteOff(5);
    EXPECT_EQ(seq.state.running, 0);
}

TEST_F(MidiInputTest, NoteModeLegatoReleaseAndPitch) {
    settings.midiMode = 1;
    seq.state.running = 1;
    noteOn(48, 100);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(P(voice.gate, voice.trigger), P(1, 1));
    EXPECT_EQ(voice.accent, 0) << "velocity equal to AccentVelocity is plain";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[48]);
    voice.trigger = 0;
    noteOn(55, 101);
    EXPECT_EQ(voice.trigger, 0) << "legato: no retrigger";
    EXPECT_EQ(voice.slideFrom, 1);
    EXPECT_EQ(P(voice.accent, voice.accentStep), P(1, 1)) << "one above AccentVelocity accents";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[55]);
    noteOff(48);
    EXPECT_EQ(voice.gate, 1) << "releasing the older key keeps the sound";
    noteOff(55);
    EXPECT_EQ(voice.gate + voice.slideFrom + seq.noteHeld, 0);

    noteOn(100);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[76]) << "folded";
    seq.handleMidiMessage(0x90, 100, 0);
    EXPECT_EQ(voice.gate, 0) << "velocity 0 is a note-off";
    settings.capNotes = 1;
    noteOn(100);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[83]) << "capped";
    noteOn(100);
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[76]) << "legato notes always fold";
    cc(126, 0);
    EXPECT_EQ(P(voice.gate, seq.noteHeld), P(0, 0));
    settings.tuningMode = 1;
    noteOn(40);
    EXPECT_EQ(voice.trigger, 1) << "fresh note after all-notes-off";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.stretched[40]);
}

TEST_F(MidiInputTest, ControllersMoveMappedParameters) {
    cc(7, 127);
    ASSERT_EQ(host.params.size(), 1u);
    EXPECT_EQ(host.params[0].index, 8);
    EXPECT_FLOAT_EQ(host.params[0].value, 1.0f);
    cc(121, 64);
    cc(64, 64);
    ccMap.entries[20] = 40; // out-of-range entries are inert
    cc(20, 1);
    seq.handleMidiMessage(0xE0, 0, 127);
    seq.handleMidiMessage(0xC0, 3, 0);
    seq.handleMidiMessage(0xF0, 0, 0);
    EXPECT_EQ(host.params.size(), 1u);
    ccMap.entries[64] = 2;
    ccMap.entries[121] = 3;
    cc(64, 127);
    cc(121, 127);
    ASSERT_EQ(host.params.size(), 2u) << "sustain maps like any controller, 121 never";
    EXPECT_EQ(host.params[1].index, 2);
}

TEST_F(MidiInputTest, LearnAssignsControllerToLastMovedParameter) {
    seq.learnMode = 1;
    seq.noteParameterChange(2);
    seq.noteParameterChange(200); // an editor-only slot does not disarm it
    cc(30, 127);
    EXPECT_EQ(ccMap.entries[30], 2);
    EXPECT_EQ(ccMap.entries[76], -1) << "the old controller of Resonance is unmapped";
    ASSERT_EQ(host.params.size(), 1u);
    EXPECT_EQ(host.params[0].index, 2);
    EXPECT_EQ(seq.learnParameter, -1);
    cc(74, 0); // nothing armed: a plain controller
    EXPECT_EQ(ccMap.entries[74], 1);
    EXPECT_EQ(host.params.size(), 2u);
}

TEST_F(MidiInputTest, ModeTwoIgnoresNotesAndAllNotesOff) {
    settings.midiMode = 2;
    voice.gate = 1;
    noteOn(5);
    noteOff(5);
    cc(123, 0);
    EXPECT_EQ(P(seq.state.running, seq.currentPattern), P(0, 0));
    EXPECT_EQ(voice.gate, 1);
}

TEST_F(MidiInputTest, HostTransportStopOnAllChannelsStopsCleanly) {
    enableMidiOut();
    noteOn(5);
    noteOn(6);
    run(3000);
    host.midi.clear();
    for (int ch = 0; ch < 16; ++ch)
        for (int c : {64, 121, 123}) cc(c, 0, ch);
    EXPECT_EQ(P(seq.state.running, voice.gate), P(0, 0));
    for (uint8_t k : seq.heldKeys) ASSERT_EQ(k, 0);
    EXPECT_EQ(host.midi.size(), 2u) << "only the stop that ended playback is forwarded";
    EXPECT_TRUE(host.params.empty());
    noteOff(5);
    noteOff(6);
    noteOn(7);
    EXPECT_EQ(seq.state.running, 1);
    EXPECT_EQ(seq.state.stepIndex, 0);
}

TEST_F(MidiInputTest, SwitchingMidiOutputOffReleasesDownstreamNotes) {
    enableMidiOut(4);
    seq.setMidiOutput(false);
    seq.setMidiOutput(false); // already off: nothing more
    seq.setMidiOutput(true);
    settings.midiOutputChannel = -1;
    seq.setMidiOutput(false);
    ASSERT_EQ(host.midi.size(), 1u);
    EXPECT_TRUE(host.midi[0].immediate);
    EXPECT_EQ(P(host.midi[0].b0, host.midi[0].b1), P(0xB4, 123));
}

} // namespace
} // namespace kelo::test

namespace kelo::test {
namespace {

// Arbitrary input and corrupt pattern data never push indexes out of their ranges.
TEST_F(MidiInputTest, RandomInputKeepsStateInRange) {
    enableMidiOut();
    settings.midiKeyProgramming = 1;
    PatternRandom r(99);
    for (Pattern& p : seq.bank.patterns) {
        p.header = uint32_t(r.next()) << 16 | uint32_t(r.next());
        for (PatternStep& s : p.steps) s = PatternStep{uint8_t(r.next()), uint8_t(r.next())};
    }
    for (int i = 0; i < 20000; ++i) {
        const int what = r.next() % 8;
        if (what < 3) seq.handleMidiMessage(0x80 + 16 * (r.next() % 8), r.next(), r.next());
        if (what == 3) seq.programCommand(r.next() % 40);
        if (what == 4) settings.programmingMode = r.next() % 2;
        if (what == 5) settings.midiMode = r.next() % 3;
        run(r.next() % 300);
        ASSERT_GE(seq.editCursor, 0);
        ASSERT_LT(seq.editCursor, kMaxSteps);
        ASSERT_GE(seq.state.stepIndex, 0);
        ASSERT_LT(seq.state.stepIndex, kMaxSteps);
        ASSERT_GE(seq.currentPattern, 0);
        ASSERT_LT(seq.currentPattern, kNumPatterns);
    }
    for (const MidiRecord& m : host.midi) {
        ASSERT_LT(m.b1, 128);
        ASSERT_LT(m.b2, 128);
        ASSERT_GE(m.offset, 0);
    }
}

} // namespace
} // namespace kelo::test
