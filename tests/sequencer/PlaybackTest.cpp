// Step timing, swing, triplets, ties, slides and the MIDI notes the sequencer sends.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

using PlaybackTest = SequencerTest;
constexpr double kStep = 5512.5; // 120 BPM at 44.1 kHz

TEST_F(PlaybackTest, StepLengthsCarryTheFractionWithoutDrift) {
    start();
    std::vector<int> got = stepLengths(216);
    EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 6), V(5513, 5513, 5512, 5513, 5512, 5513));
    EXPECT_EQ(std::accumulate(got.begin(), got.begin() + 16, 0), 88201);
    EXPECT_EQ(std::accumulate(got.begin() + 16, got.end(), 0L), 200 * 5512.5);
    host.rate = 48000.0;
    seq.setTempo(150.0);
    for (double bad : {0.0, -3.0, std::nan("")}) seq.setTempo(bad);
    EXPECT_DOUBLE_EQ(seq.state.samplesPerStep, 4800.0);
    seq.refreshStepLength(96000.0); // a new sample rate keeps the tempo
    EXPECT_DOUBLE_EQ(seq.state.samplesPerStep, 9600.0);
    seq.refreshStepLength(48000.0);
    seq.restartTiming();
    EXPECT_EQ(stepLengths(3), V(4801, 4800, 4800)) << "strict comparison, then the carry";
    seq.setTempo(25.0);
    run(20000);
    seq.setTempo(250.0); // mid-step: the step ends at once, the next ones are whole
    for (int len : stepLengths(3)) EXPECT_NEAR(len, 2880, 1) << "no burst of one-sample steps";
}

TEST_F(PlaybackTest, SwingTripletAndClockSyncLengths) {
    // {shuffle, triplet, clock sync, triplet scale, step lengths in sixteenths}
    const std::tuple<int, int, int, double, std::vector<double>> cases[] = {
        {64, 0, 0, 0.75, {1 + 64 / 127.0, 1 - 64 / 127.0, 1 + 64 / 127.0}},
        {127, 0, 0, 0.75, {2.0, 0.0, 2.0}}, // the short step still takes a tick
        {0, 1, 0, 0.75, {4 / 3.0, 4 / 3.0, 4 / 3.0}},
        {127, 1, 0, 0.75, {16 / 9.0, 16 / 9.0, 4 / 9.0, 16 / 9.0}}, // long, long, short
        {0, 1, 1, 0.75, {2 / 3.0, 2 / 3.0}},
        {0, 0, 1, 0.75, {0.5, 0.5}},
        {0, 1, 0, 0.5, {2.0, 2.0}},
        {0, 1, 0, 0.0, {1.0, 1.0}}, // an unusable scale is ignored
    };
    for (const auto& [shuffle, triplet, clockSync, scale, sixteenths] : cases) {
        seq.state.running = 0;
        pat().setShuffle(shuffle), pat().setTriplet(triplet);
        settings.clockSync = clockSync, settings.tripletScale = scale;
        start();
        const std::vector<int> got = stepLengths(int(sixteenths.size()));
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], sixteenths[i] * kStep, 1.5) << shuffle << " " << i;
    }
}

TEST_F(PlaybackTest, SwingShortStepNoteAndSwingPhaseAcrossAWrap) {
    midiOut();
    pat().setShuffle(127);
    setSteps({kGate, PatternStep{2, StepGate}});
    start();
    run(11027);
    EXPECT_EQ(queued(0x90).back(), (Midi{11026, 0x90, 38, 99}));
    EXPECT_EQ(queued(0x80).back(), (Midi{11026, 0x80, 38, 0})) << "a one-tick note is still switched off";
    pat().setStepCount(15), pat().setShuffle(100);
    seq.restartTiming();
    EXPECT_EQ(seq.state.stepIndex, 0);
    const std::vector<int> got = stepLengths(17);
    EXPECT_GT(got[14], 6000) << "15th processed step is long";
    EXPECT_LT(got[15], 5000) << "second pass starts short";
}

TEST_F(PlaybackTest, TiesAndRestsBeforeTies) {
    setSteps({PatternStep{4, StepGate}, kTie, kTie, kGate});
    pat().setShuffle(127);
    start();
    int gateTicks = 0;
    for (tick(); seq.state.samplesInStep != 0; gateTicks += voice.gate) tick();
    EXPECT_NEAR(gateTicks + 1, 2.5 * 2 * kStep, 2.0) << "three long steps less half of one";
    EXPECT_EQ(V(triggers, seq.state.stepIndex), V(1, 3)) << "a tie of three is one note";
    EXPECT_EQ(stepLengths(2).front(), 1) << "the next note takes the short factor";
    // A rest followed by ties lasts as long as the steps it covers.
    setSteps({kRest, kTie, kTie, kGate});
    pat().steps[4] = kTie; // beyond the count: not played
    pat().setShuffle(0);
    seq.state.running = triggers = 0;
    start();
    const std::vector<int> got = stepLengths(3);
    for (int i : {0, 1, 2}) EXPECT_NEAR(got[size_t(i)], (i == 1 ? 1 : 3) * kStep, 1.0) << "each pass is 4 steps";
    EXPECT_EQ(triggers, 2) << "only the gated step of each pass";
}

TEST_F(PlaybackTest, SlideChainOverlapsNotesAndReleasesThemTogether) {
    midiOut(3);
    setSteps({PatternStep{0, StepGate | StepSlide | StepAccent}, PatternStep{5, StepGate | StepSlide},
              PatternStep{7, StepGate}, kRest});
    start();
    const int end = 11026 + 2755;
    std::vector<int> slideFrom, accent;
    for (int i = 0; i < 22050; ++i) { // exactly four steps
        if (tick()) slideFrom.push_back(voice.slideFrom), accent.push_back(voice.accent * 2 + voice.accentStep);
        if (i < end && voice.gate != 1) FAIL() << "gate closed inside the chain, tick " << i;
    }
    EXPECT_EQ(slideFrom, V(0, 1, 1, 0));
    EXPECT_EQ(accent, V(3, 2, 2, 0)) << "accent carried, not re-struck";
    EXPECT_EQ(triggers, 1);
    EXPECT_EQ(queued(0x90), (MidiLog{{0, 0x93, 36, 127}, {5513, 0x93, 41, 127}, {11026, 0x93, 43, 127}}));
    EXPECT_EQ(queued(0x80), (MidiLog{{end, 0x83, 36, 0}, {end, 0x83, 41, 0}, {end, 0x83, 43, 0}}));
    EXPECT_EQ(queued(0x90, false), (MidiLog{{end, 0x93, 36, 0}, {end, 0x93, 41, 0}, {end, 0x93, 43, 0}}));
}

TEST_F(PlaybackTest, PitchVelocityAndPhaseReset) {
    midiOut();
    setSteps({kGate, PatternStep{9, StepGate | StepUp | StepAccent}, PatternStep{0, StepGate | StepUp | StepDown}});
    settings.accentVelocity = 0; // plain notes must not go out as velocity 0 (a note-off)
    settings.resetOscillator = 1;
    start();
    tick();
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001);
    EXPECT_EQ(voice.resetPhase, 1);
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 220.0, 0.001);
    run(5513);
    settings.accentVelocity = 100;
    run(5512);
    std::vector<int> velocities;
    for (const Midi& m : queued(0x90)) velocities.push_back(m[3]);
    EXPECT_EQ(velocities, V(1, 127, 1, 99));
}

TEST_F(PlaybackTest, StopAndRestart) {
    midiOut(1);
    setSteps({kGate, PatternStep{3, StepGate}, kGate});
    start();
    run(5513 + 10);
    clearMidi();
    seq.setEventOffset(77); // the run/stop key played at offset 77 of a block
    run(3);
    seq.programCommand(14);
    EXPECT_EQ(V(seq.state.running, voice.gate), V(0, 0));
    EXPECT_TRUE(host.now.empty());
    EXPECT_EQ(host.queued, (MidiLog{{80, 0x81, 39, 0}, {80, 0x91, 39, 0}, {80, 0xB1, 123, 0}}))
        << "stamped where the key was played, after the note it ends";
    run(1000);
    EXPECT_EQ(seq.state.stepIndex, 2) << "nothing advances while stopped";
    start();
    tick();
    EXPECT_EQ(seq.state.stepIndex, 1) << "restarts from step 0";
    run(5513);
    seq.beginBlock(); // positions count from the new block's start
    run(4);
    clearMidi();
    seq.programCommand(14);
    EXPECT_EQ(host.queued.front(), (Midi{4, 0x81, 39, 0}));
    start();
    settings.midiOutputChannel = -1; // a negative channel silences everything
    clearMidi();
    run(3 * 5513);
    seq.programCommand(14);
    EXPECT_TRUE(host.now.empty() && host.queued.empty());
    // Switching the output off releases what sounds downstream, once.
    midiOut(4);
    start();
    run(10);
    clearMidi();
    seq.setMidiOutput(false);
    seq.setMidiOutput(false);
    seq.setMidiOutput(true);
    seq.setMidiOutput(false);
    EXPECT_EQ(host.now, (MidiLog{{0, 0x84, 36, 0}, {0, 0xB4, 123, 0}, {0, 0xB4, 123, 0}}));
}

TEST_F(PlaybackTest, PatternShrunkUnderThePlayheadWrapsSafely) {
    start();
    run(10 * 5513);
    pat().setStepCount(4);
    pat().steps[seq.state.stepIndex].note = 5; // where the playhead was heading
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001) << "step 0 plays, nothing beyond the count";
    EXPECT_LT(seq.state.stepIndex, 4);
    pat().header &= ~0x7Fu; // a stored count of 0 plays as one step
    for (int len : stepLengths(3)) EXPECT_NEAR(len, kStep, 1.0);
    EXPECT_EQ(seq.state.stepIndex, 0);
    voice.slideFrom = 1;
    seq.resume();
    EXPECT_EQ(seq.state.running + voice.gate + voice.slideFrom, 0);
    midiOut();
    seq.state.sentNotes[40] = 1; // still on downstream though nothing plays
    seq.resume();
    EXPECT_EQ(host.queued, (MidiLog{{0, 0x80, 40, 0}, {0, 0x90, 40, 0}, {0, 0xB0, 123, 0}}));
}

} // namespace
} // namespace kelo::test
