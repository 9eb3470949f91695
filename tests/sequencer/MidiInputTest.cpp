// Incoming MIDI: pattern keys, note mode, controllers, learning, all-notes-off.
#include <gtest/gtest.h>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

using MidiInputTest = SequencerTest;

TEST_F(MidiInputTest, PatternKeysSelectPlayAndStop) {
    midiOut(2);
    seq.bank.patterns[9].setStepCount(3);
    noteOn(5);
    EXPECT_EQ(V(seq.currentPattern, seq.state.running), V(5, 1));
    run(7 * 5513 + 100);
    EXPECT_EQ(seq.state.stepIndex, 8);
    noteOn(9);
    EXPECT_EQ(V(seq.currentPattern, seq.state.stepIndex), V(9, 8 % 3)) << "position kept modulo the new length";
    run(5513);
    const int position = seq.state.stepIndex;
    noteOff(9);
    EXPECT_EQ(V(seq.currentPattern, seq.state.stepIndex, seq.state.running), V(5, position, 1))
        << "back to the highest key still held, without a reset";
    clearMidi();
    seq.setEventOffset(42);
    noteOff(5);
    EXPECT_EQ(V(seq.state.running, voice.gate), V(0, 0));
    EXPECT_EQ(host.now, (MidiLog{{0, 0xB2, 123, 0}}));
    EXPECT_EQ(host.queued, (MidiLog{{42, 0x82, 36, 0}, {42, 0x92, 36, 0}, {42, 0xB2, 123, 0}}))
        << "the sounding note switched off, then all-notes-off, at the releasing key's own position";
    for (int n : {20, 40, 30}) noteOn(n);
    EXPECT_EQ(seq.currentPattern, 30) << "the newest key selects";
    seq.handleMidiMessage(0x90, 30, 0);
    EXPECT_EQ(seq.currentPattern, 40) << "velocity 0 releases";
    cc(123, 0, 9); // all-notes-off on any channel stops and forgets the held keys
    noteOff(40);
    EXPECT_EQ(V(seq.state.running, seq.currentPattern, host.params.size()), V(0, 40, 0)) << "20 is not selected";
    seq.patternLock = 1;
    voice.slideFrom = 5;
    noteOn(7);
    EXPECT_EQ(V(seq.state.running, seq.state.stepIndex, seq.currentPattern, seq.requestedPattern), V(1, 0, 40, 7));
    EXPECT_EQ(voice.slideFrom, 1) << "a MIDI start keeps slideFrom as a flag";
}

TEST_F(MidiInputTest, NoteModeLegatoReleaseAndPitch) {
    noteOn(5), noteOff(5); // a pattern key's release stopped the line
    settings.midiMode = 1;
    seq.state.running = voice.slide = voice.slideFrom = 1; // the sequencer was sliding
    noteOn(48, 100);
    EXPECT_EQ(V(seq.state.running, voice.gate, voice.trigger, voice.slide, voice.slideFrom), V(0, 1, 1, 0, 0));
    EXPECT_EQ(voice.accent, 0) << "velocity equal to AccentVelocity is plain";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[48]);
    voice.trigger = 0;
    noteOn(55, 101);
    EXPECT_EQ(V(voice.trigger, voice.slideFrom), V(0, 1)) << "legato: no retrigger";
    EXPECT_EQ(V(voice.accent, voice.accentStep), V(1, 1)) << "one above AccentVelocity accents";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.equal[55]);
    noteOff(48);
    EXPECT_EQ(voice.gate, 1) << "releasing the older key keeps the sound";
    noteOff(55);
    EXPECT_EQ(V(voice.gate, voice.slideFrom, seq.noteHeld), V(0, 0, 0));
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
    EXPECT_EQ(V(voice.gate, seq.noteHeld), V(0, 0));
    settings.tuningMode = 1;
    noteOn(40);
    EXPECT_EQ(voice.trigger, 1) << "fresh note after all-notes-off";
    EXPECT_FLOAT_EQ(voice.pitchHz, tuning.stretched[40]);
    seq.resume(); // the key's release may never come
    voice.trigger = 0;
    noteOn(41);
    EXPECT_EQ(V(voice.trigger, voice.slideFrom), V(1, 0)) << "fresh note after a resume";
}

TEST_F(MidiInputTest, ControllersAndLearning) {
    using Params = std::vector<std::pair<int, float>>;
    cc(7, 127);
    cc(121, 64);
    cc(64, 64);
    ccMap.entries[20] = 40; // out-of-range entries are inert
    cc(20, 1);
    for (int status : {0xE0, 0xC0, 0xF0}) seq.handleMidiMessage(status, 3, 127);
    EXPECT_EQ(host.params, (Params{{8, 1.0f}}));
    ccMap.entries[64] = 3;
    ccMap.entries[121] = 4;
    cc(64, 127);
    cc(121, 127);
    EXPECT_EQ(host.params, (Params{{8, 1.0f}, {3, 1.0f}})) << "sustain maps like any controller, 121 never";
    seq.learnMode = 1;
    seq.noteParameterChange(2);
    seq.noteParameterChange(200); // an editor-only slot does not disarm it
    cc(30, 127);
    EXPECT_EQ(V(ccMap.entries[30], ccMap.entries[76], seq.learnParameter), V(2, -1, -1))
        << "assigned; Resonance's old controller unmapped; disarmed";
    cc(74, 0); // nothing armed: a plain controller
    EXPECT_EQ(ccMap.entries[74], 1);
    EXPECT_EQ(host.params, (Params{{8, 1.0f}, {3, 1.0f}, {2, 1.0f}, {1, 0.0f}}));
    settings.midiMode = 2; // notes and all-notes-off ignored
    voice.gate = 1;
    noteOn(5), noteOff(5), cc(123, 0);
    EXPECT_EQ(V(seq.state.running, seq.currentPattern, voice.gate), V(0, 0, 1));
}

} // namespace
} // namespace kelo::test
