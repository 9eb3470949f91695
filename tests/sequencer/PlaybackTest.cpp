// Step timing, swing, triplets, ties, slides and the MIDI notes the sequencer sends.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

constexpr PatternStep kGate{0, StepGate};
constexpr PatternStep kRest{0, 0};
constexpr PatternStep kTie{0, StepTie};
constexpr double kStep = 5512.5; // 120 BPM at 44.1 kHz

class PlaybackTest : public SequencerTest {
protected:
    void start() {
        if (!seq.state.running) seq.programCommand(14);
    }
};

TEST_F(PlaybackTest, StepLengthsCarryTheFractionWithoutDrift) {
    start();
    std::vector<int> got = stepLengths(216);
    EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 6),
              (std::vector<int>{5513, 5513, 5512, 5513, 5512, 5513}));
    EXPECT_EQ(std::accumulate(got.begin(), got.begin() + 16, 0), 88201);
    EXPECT_EQ(std::accumulate(got.begin() + 16, got.end(), 0L), 200 * 5512.5);

    host.rate = 48000.0;
    seq.setTempo(150.0);
    for (double bad : {0.0, -3.0, std::nan("")}) seq.setTempo(bad);
    EXPECT_DOUBLE_EQ(seq.state.samplesPerStep, 4800.0);
    seq.restartTiming();
    got = stepLengths(3);
    EXPECT_EQ(got, (std::vector<int>{4801, 4800, 4800})) << "strict comparison, then the carry";

    seq.setTempo(25.0);
    run(20000);
    seq.setTempo(250.0); // mid-step: the step ends at once, the next ones are whole
    got = stepLengths(3);
    for (int len : got) EXPECT_NEAR(len, 2880, 1) << "no burst of one-sample steps";
}

TEST_F(PlaybackTest, SwingTripletAndClockSyncLengths) {
    struct Case {
        int shuffle;
        bool triplet;
        int clockSync;
        double scale;
        std::vector<double> factors; // expected step lengths in sixteenths
    };
    const Case cases[] = {
        {64, false, 0, 0.75, {1 + 64 / 127.0, 1 - 64 / 127.0, 1 + 64 / 127.0}},
        {0, true, 0, 0.75, {4 / 3.0, 4 / 3.0, 4 / 3.0}},
        {127, true, 0, 0.75, {16 / 9.0, 16 / 9.0, 4 / 9.0, 16 / 9.0}}, // long, long, short
        {0, true, 1, 0.75, {2 / 3.0, 2 / 3.0}},
        {0, false, 1, 0.75, {0.5, 0.5}},
        {0, true, 0, 0.5, {2.0, 2.0}},
        {0, true, 0, 0.0, {1.0, 1.0}}, // an unusable scale is ignored
    };
    for (const Case& c : cases) {
        seq.state.running = 0;
        pat().setShuffle(c.shuffle);
        pat().setTriplet(c.triplet);
        settings.clockSync = c.clockSync;
        settings.tripletScale = c.scale;
        start();
        const std::vector<int> got = stepLengths(int(c.factors.size()));
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], c.factors[i] * kStep, 1.5) << "shuffle " << c.shuffle << " step " << i;
    }
}

TEST_F(PlaybackTest, FullSwingShortStepStartsAndEndsInOneTick) {
    enableMidiOut();
    pat().setShuffle(127);
    setSteps({kGate, PatternStep{2, StepGate}});
    start();
    EXPECT_EQ(stepLengths(3), (std::vector<int>{11026, 1, 11024}));
    const std::vector<MidiRecord> ons = queued(0x90), offs = queued(0x80);
    ASSERT_GE(ons.size(), 2u);
    EXPECT_EQ(ons[1].b1, 38);
    EXPECT_EQ(ons[1].offset, 11026);
    EXPECT_EQ(offs[1].b1, 38);
    EXPECT_EQ(offs[1].offset, 11026) << "the short note is still switched off";
}

TEST_F(PlaybackTest, SwingPhaseRunsOnAcrossAWrap) {
    pat().setStepCount(15);
    pat().setShuffle(100);
    start();
    const std::vector<int> got = stepLengths(17);
    EXPECT_GT(got[14], 6000) << "15th processed step is long";
    EXPECT_LT(got[15], 5000) << "second pass starts short";
}

TEST_F(PlaybackTest, TieOfThreeIsOneNoteAndOneSwingPhase) {
    setSteps({PatternStep{4, StepGate}, kTie, kTie, kGate});
    pat().setShuffle(127);
    start();
    int gateTicks = 0;
    tick();
    while (!(seq.state.samplesInStep == 0)) {
        tick();
        gateTicks += voice.gate;
    }
    EXPECT_NEAR(gateTicks + 1, 2.5 * 2 * kStep, 2.0) << "three long steps less half of one";
    EXPECT_EQ(triggers, 1);
    EXPECT_EQ(seq.state.stepIndex, 3);
    EXPECT_EQ(stepLengths(1 + 1).front(), 1) << "the next note takes the short factor";
}

TEST_F(PlaybackTest, RestBeforeTiesLastsAsLongAsTheStepsItCovers) {
    setSteps({kRest, kTie, kTie, kGate});
    start();
    const std::vector<int> got = stepLengths(3);
    EXPECT_NEAR(got[0], 3 * kStep, 1.0);
    EXPECT_NEAR(got[2], 3 * kStep, 1.0) << "every pass keeps the pattern's length";
    EXPECT_EQ(triggers, 2) << "only the gated step of each pass";
}

TEST_F(PlaybackTest, SlideChainOverlapsNotesAndReleasesThemTogether) {
    enableMidiOut(3);
    setSteps({PatternStep{0, StepGate | StepSlide | StepAccent}, PatternStep{5, StepGate | StepSlide},
              PatternStep{7, StepGate}, kRest});
    start();
    std::vector<int> slideFrom, accent;
    for (int i = 0; i < 22050; ++i) { // exactly four steps
        if (tick()) {
            slideFrom.push_back(voice.slideFrom);
            accent.push_back(voice.accent * 2 + voice.accentStep);
        }
        if (i < 11026 + 2755) {
            ASSERT_EQ(voice.gate, 1) << "gate open through the chain, tick " << i;
        }
    }
    EXPECT_EQ(slideFrom, (std::vector<int>{0, 1, 1, 0}));
    EXPECT_EQ(accent, (std::vector<int>{3, 2, 2, 0})) << "accent carried, not re-struck";
    EXPECT_EQ(triggers, 1);

    const std::vector<MidiRecord> ons = queued(0x90), offs = queued(0x80), zeros = queued(0x90, false);
    ASSERT_EQ(ons.size(), 3u);
    const int notes[] = {36, 41, 43}, at[] = {0, 5513, 11026};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ons[i].b0, 0x93);
        EXPECT_EQ(ons[i].b1, notes[i]);
        EXPECT_EQ(ons[i].b2, 127);
        EXPECT_EQ(ons[i].offset, at[i]);
    }
    ASSERT_EQ(offs.size(), 3u);
    ASSERT_EQ(zeros.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(offs[i].b1, ons[i].b1);
        EXPECT_EQ(offs[i].offset, 11026 + 2755);
        EXPECT_EQ(zeros[i].offset, offs[i].offset);
    }
}

TEST_F(PlaybackTest, SlideIntoRestClosesHalfWayThroughTheRest) {
    setSteps({PatternStep{0, StepGate | StepSlide}, kRest, kGate});
    start();
    int closedAt = -1;
    for (int i = 0; i < 11026 && closedAt < 0; ++i) {
        tick();
        if (!voice.gate) closedAt = i;
    }
    EXPECT_NEAR(closedAt, 1.5 * kStep, 1.0);
    run(3000);
    EXPECT_EQ(triggers, 2) << "the note after the rest starts afresh";
}

TEST_F(PlaybackTest, OneStepPatternRetriggersEveryStep) {
    enableMidiOut();
    setSteps({PatternStep{12, StepGate | StepUp}});
    start();
    run(22050);
    EXPECT_EQ(triggers, 4);
    ASSERT_EQ(queued(0x90).size(), 4u);
    EXPECT_EQ(queued(0x90)[3].b1, 60);
    EXPECT_EQ(queued(0x80).size(), 4u);
}

TEST_F(PlaybackTest, PitchVelocityAndPhaseReset) {
    enableMidiOut();
    setSteps({kGate, PatternStep{9, StepGate | StepUp | StepAccent}, PatternStep{0, StepGate | StepUp | StepDown}});
    settings.accentVelocity = 0; // plain notes must not go out as velocity 0 (a note-off)
    settings.resetOscillator = 1;
    start();
    tick();
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001);
    EXPECT_EQ(voice.resetPhase, 1);
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 220.0, 0.001);
    settings.vcoTuning = 0.6f; // octave ratio 2.1
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 6.875 * std::pow(2.1, 39 / 12.0), 0.01);
    const std::vector<MidiRecord> ons = queued(0x90);
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].b2, 1);
    EXPECT_EQ(ons[1].b2, 127);
    settings.accentVelocity = 100;
    run(5512);
    EXPECT_EQ(queued(0x90).back().b2, 99);
}

TEST_F(PlaybackTest, StopStartAndOffsetsWithinTheBlock) {
    enableMidiOut(1);
    setSteps({kGate, PatternStep{3, StepGate}, kGate});
    seq.beginBlock();
    run(100); // stopped: the block position still advances
    start();
    run(5513 + 10);
    EXPECT_EQ(seq.state.stepIndex, 2);
    EXPECT_EQ(queued(0x90).front().offset, 100);
    host.midi.clear();
    seq.setEventOffset(300);
    seq.programCommand(14);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    ASSERT_EQ(host.midi.size(), 2u);
    EXPECT_TRUE(host.midi[0].immediate);
    EXPECT_EQ(P(host.midi[0].b0, host.midi[0].b1), P(0x81, 39));
    EXPECT_EQ(P(host.midi[1].b0, host.midi[1].b1), P(0xB1, 123));
    run(1000);
    EXPECT_EQ(seq.state.stepIndex, 2) << "nothing advances while stopped";
    seq.setEventOffset(300);
    start();
    tick();
    EXPECT_EQ(seq.state.stepIndex, 1) << "restarts from step 0";
    EXPECT_EQ(queued(0x90).back().offset, 300);

    settings.midiOutputChannel = -1; // a negative channel silences everything
    host.midi.clear();
    run(3 * 5513);
    seq.programCommand(14);
    EXPECT_TRUE(host.midi.empty());
}

TEST_F(PlaybackTest, PatternShrunkUnderThePlayheadWrapsSafely) {
    start();
    run(10 * 5513);
    pat().setStepCount(4);
    run(5513);
    EXPECT_LT(seq.state.stepIndex, 4);
    pat().header &= ~0x7Fu; // a stored count of 0 plays as one step
    for (int len : stepLengths(3)) EXPECT_NEAR(len, kStep, 1.0);
    EXPECT_EQ(seq.state.stepIndex, 0);
    voice.slideFrom = 1;
    seq.resume();
    EXPECT_EQ(seq.state.running + voice.gate + voice.slideFrom, 0);
}

} // namespace
} // namespace kelo::test
