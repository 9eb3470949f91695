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

class PlaybackTest : public SequencerTest {
protected:
    void start() {
        seq.beginBlock();
        seq.programCommand(14);
        ASSERT_EQ(seq.state.running, 1);
    }
};

TEST_F(PlaybackTest, StraightStepsCarryTheFractionWithoutDrift) {
    start();
    const std::vector<int> got = stepLengths(17);
    const std::vector<int> first{5513, 5513, 5512, 5513, 5512, 5513};
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(got[i], first[i]) << "step " << i;
    EXPECT_EQ(std::accumulate(got.begin(), got.begin() + 16, 0), 88201);
    // Over a long run the fractional remainder keeps the average exact.
    const std::vector<int> more = stepLengths(200);
    const long total = std::accumulate(more.begin(), more.end(), 0L);
    EXPECT_NEAR(double(total) / 200.0, 5512.5, 0.01);
}

TEST_F(PlaybackTest, TempoAndSampleRateSetTheStepLength) {
    host.rate = 48000.0;
    seq.setTempo(150.0);
    EXPECT_DOUBLE_EQ(seq.state.samplesPerStep, 4800.0);
    seq.setTempo(0.0);
    seq.setTempo(-3.0);
    seq.setTempo(std::nan(""));
    EXPECT_DOUBLE_EQ(seq.state.tempoBpm, 150.0);
    start();
    const std::vector<int> got = stepLengths(5);
    // The strict comparison makes the first step one tick longer; the carry evens it out.
    EXPECT_EQ(got[0], 4801);
    for (size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i], 4800) << "step " << i;
}

TEST_F(PlaybackTest, SwingAlternatesLongThenShortAndKeepsTempo) {
    pat().setShuffle(64);
    start();
    const std::vector<int> got = stepLengths(16);
    const double s = 64 / 127.0;
    for (size_t i = 0; i < got.size(); ++i) {
        const double expected = (i % 2 == 0 ? 1.0 + s : 1.0 - s) * 5512.5;
        EXPECT_NEAR(got[i], expected, 1.5) << "step " << i;
    }
    EXPECT_NEAR(got[0] + got[1], 11025, 1);
}

TEST_F(PlaybackTest, FullSwingMakesTheShortStepStartAndEndInOneTick) {
    enableMidiOut();
    pat().setShuffle(127);
    setSteps({kGate, PatternStep{2, StepGate}, kGate, PatternStep{2, StepGate}});
    start();
    const std::vector<int> got = stepLengths(4);
    EXPECT_EQ(got[0], 11026);
    EXPECT_EQ(got[1], 1);
    EXPECT_EQ(got[0] + got[1] + got[2], 11026 + 1 + 11024);
    // The short step still sends its note and releases it on the same sample.
    int onAt = -1, offAt = -1;
    for (const MidiRecord& r : queued()) {
        if (r.b1 != 38) continue;
        if (r.b0 == 0x90 && r.b2 > 0 && onAt < 0) onAt = r.offset;
        if (r.b0 == 0x80 && offAt < 0) offAt = r.offset;
    }
    EXPECT_EQ(onAt, 11026);
    EXPECT_EQ(offAt, 11026);
}

TEST_F(PlaybackTest, TripletClockSyncAndTripletScale) {
    pat().setTriplet(true);
    start();
    std::vector<int> got = stepLengths(4);
    for (int len : got) EXPECT_NEAR(len, 5512.5 * 4.0 / 3.0, 1.0);

    settings.clockSync = 1;
    got = stepLengths(4);
    for (int len : got) EXPECT_NEAR(len, 5512.5 * 2.0 / 3.0, 1.0);

    pat().setTriplet(false);
    got = stepLengths(4);
    for (int len : got) EXPECT_NEAR(len, 5512.5 / 2.0, 1.0);
    EXPECT_DOUBLE_EQ(seq.state.tempoFactor, 2.0);

    settings.clockSync = 0;
    settings.tripletScale = 0.5;
    pat().setTriplet(true);
    got = stepLengths(3);
    for (int len : got) EXPECT_NEAR(len, 5512.5 * 2.0, 1.0);

    settings.tripletScale = 0.0; // unusable scale: steps keep a sane length
    got = stepLengths(3);
    for (int len : got) EXPECT_NEAR(len, 5512.5, 1.0);
}

TEST_F(PlaybackTest, TripletSwingIsLongLongShort) {
    pat().setTriplet(true);
    pat().setShuffle(127);
    start();
    const std::vector<int> got = stepLengths(6);
    const double step = 5512.5 * 4.0 / 3.0;
    EXPECT_NEAR(got[0], step * (1 + 1.0 / 3), 1.5);
    EXPECT_NEAR(got[1], step * (1 + 1.0 / 3), 1.5);
    EXPECT_NEAR(got[2], step * (1 - 2.0 / 3), 1.5);
    EXPECT_NEAR(got[3], step * (1 + 1.0 / 3), 1.5);
    EXPECT_NEAR(got[0] + got[1] + got[2], 3 * step, 1.5);
}

TEST_F(PlaybackTest, SwingPhaseRunsOnAcrossAWrap) {
    pat().setStepCount(15);
    pat().setShuffle(100);
    start();
    const std::vector<int> got = stepLengths(17);
    EXPECT_GT(got[14], 5513) << "last step of the first pass is long (15th processed step)";
    EXPECT_LT(got[15], 5512) << "second pass starts with a short step";
    EXPECT_GT(got[16], 5513);
}

TEST_F(PlaybackTest, TieOfThreeSoundsTwoAndAHalfSteps) {
    enableMidiOut();
    setSteps({PatternStep{4, StepGate}, kTie, kTie, PatternStep{7, StepGate}});
    pat().setShuffle(127);
    start();
    int gateTicks = 0;
    int triggers = 0;
    int startsSeen = 0;
    for (int i = 0; i < 200000 && startsSeen < 2; ++i) {
        if (seq.state.running && seq.state.samplesInStep == 0) ++startsSeen;
        if (startsSeen >= 2) break;
        seq.sequencerTick();
        triggers += voice.trigger;
        voice.trigger = 0;
        gateTicks += voice.gate;
    }
    // A tied run takes the first step's (long) swing factor for all its steps.
    const double length = 3 * 2 * 5512.5;
    EXPECT_NEAR(seq.state.stepPosition, 1.0, 1.0);
    EXPECT_NEAR(gateTicks, length - 0.5 * 2 * 5512.5, 2.0);
    EXPECT_EQ(triggers, 1);
    EXPECT_EQ(seq.state.stepIndex, 3) << "next processed step is three later";
    // The following note takes the other (short) factor: with full swing it lasts one tick.
    const std::vector<int> next = stepLengths(2);
    EXPECT_EQ(next[0], 1);
}

TEST_F(PlaybackTest, RestFollowedByTiesLastsAsLongAsTheStepsItCovers) {
    setSteps({kRest, kTie, kTie, kGate});
    start();
    const std::vector<int> got = stepLengths(3);
    EXPECT_NEAR(got[0], 3 * 5512.5, 1.0);
    EXPECT_NEAR(got[1], 5512.5, 1.0);
    EXPECT_NEAR(got[2], 3 * 5512.5, 1.0) << "every pass keeps the pattern's length";
}

TEST_F(PlaybackTest, SlideChainOverlapsNotesAndReleasesThemTogether) {
    enableMidiOut(3);
    setSteps({PatternStep{0, StepGate | StepSlide | StepAccent}, PatternStep{5, StepGate | StepSlide},
              PatternStep{7, StepGate}, kRest});
    start();
    std::vector<int> slideFrom, accent, accentStep;
    for (int i = 0; i < 22050; ++i) { // exactly four steps
        tick();
        if (seq.state.samplesInStep == 2) {
            slideFrom.push_back(voice.slideFrom);
            accent.push_back(voice.accent);
            accentStep.push_back(voice.accentStep);
        }
        if (i < 11026 + 2700) {
            EXPECT_EQ(voice.gate, 1) << "gate open through the chain, tick " << i;
        }
    }
    ASSERT_EQ(slideFrom.size(), 4u);
    EXPECT_EQ(slideFrom[0], 0);
    EXPECT_EQ(slideFrom[1], 1);
    EXPECT_EQ(slideFrom[2], 1);
    EXPECT_EQ(accent[1], 1) << "accent carried over the slide";
    EXPECT_EQ(accentStep[1], 0);
    EXPECT_EQ(accent[2], 1) << "carried along the whole chain";
    EXPECT_EQ(accent[3], 0) << "carry ends after the chain";
    EXPECT_EQ(slideFrom[3], 0);

    const std::vector<MidiRecord> q = queued();
    ASSERT_EQ(q.size(), 3u + 6u);
    EXPECT_EQ(q[0].b0, 0x93);
    EXPECT_EQ(q[0].b1, 36);
    EXPECT_EQ(q[0].b2, 127);
    EXPECT_EQ(q[0].offset, 0);
    EXPECT_EQ(q[1].b1, 41);
    EXPECT_EQ(q[1].offset, 5513);
    EXPECT_EQ(q[1].b2, 127) << "accent carried into the slid-to note";
    EXPECT_EQ(q[2].b1, 43);
    EXPECT_EQ(q[2].offset, 11026);
    EXPECT_EQ(q[2].b2, 127);
    // Release of the chain's last note: every sent note off at one offset.
    const int releaseAt = q[3].offset;
    EXPECT_NEAR(releaseAt, 11026 + 2756, 1);
    std::vector<int> offNotes;
    for (size_t i = 3; i < q.size(); i += 2) {
        EXPECT_EQ(q[i].b0, 0x83);
        EXPECT_EQ(q[i + 1].b0, 0x93);
        EXPECT_EQ(q[i + 1].b2, 0);
        EXPECT_EQ(q[i].b1, q[i + 1].b1);
        EXPECT_EQ(q[i].offset, releaseAt);
        offNotes.push_back(q[i].b1);
    }
    EXPECT_EQ(offNotes, (std::vector<int>{36, 41, 43}));
}

TEST_F(PlaybackTest, SlideIntoRestHoldsGateUntilHalfWayThroughTheRest) {
    setSteps({PatternStep{0, StepGate | StepSlide}, kRest, kGate});
    start();
    int lastGateTick = -1;
    int triggers = 0;
    for (int i = 0; i < 2 * 5513 + 10; ++i) {
        seq.sequencerTick();
        triggers += voice.trigger;
        voice.trigger = 0;
        if (voice.gate && i < 11026) lastGateTick = i;
    }
    EXPECT_NEAR(lastGateTick + 1, 5512.5 * 1.5, 1.0) << "closes half-way through the rest";
    EXPECT_EQ(triggers, 2) << "first note and the note after the rest";
}

TEST_F(PlaybackTest, OneStepPatternRetriggersEveryStep) {
    enableMidiOut();
    setSteps({PatternStep{12, StepGate | StepUp}});
    start();
    int triggers = 0;
    for (int i = 0; i < 22050; ++i) { // four steps: 5513 + 5513 + 5512 + 5512 ticks
        seq.sequencerTick();
        triggers += voice.trigger;
        voice.trigger = 0;
    }
    EXPECT_EQ(triggers, 4);
    int ons = 0;
    for (const MidiRecord& r : queued())
        if (r.b0 == 0x90 && r.b2 > 0) {
            ++ons;
            EXPECT_EQ(r.b1, 60);
        }
    EXPECT_EQ(ons, 4);
}

TEST_F(PlaybackTest, PitchFollowsVcoTuningAndOctaveFlags) {
    setSteps({kGate, PatternStep{9, StepGate | StepUp}, PatternStep{0, StepGate | StepUp | StepDown}});
    start();
    tick();
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001);
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 220.0, 0.001);
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001);
    settings.vcoTuning = 0.6f; // stretched octave: ratio 2.1
    run(5513);
    EXPECT_NEAR(voice.pitchHz, 6.875 * std::pow(2.1, 39 / 12.0), 0.01);
}

TEST_F(PlaybackTest, ResetOscillatorRequestsPhaseResetAtEveryStepStart) {
    setSteps({kGate, kRest});
    start();
    tick();
    EXPECT_EQ(voice.resetPhase, 0);
    settings.resetOscillator = 1;
    run(5513);
    EXPECT_EQ(voice.resetPhase, 1) << "a rest is a step start too";
}

TEST_F(PlaybackTest, NoteOffsetsAddEventOffsetAndBlockCounter) {
    enableMidiOut();
    seq.beginBlock();
    run(100); // stopped: the counter still tracks the block position
    seq.programCommand(14);
    tick();
    seq.setEventOffset(300);
    seq.programCommand(14);
    seq.programCommand(14);
    run(7);
    const std::vector<MidiRecord> q = queued();
    ASSERT_GE(q.size(), 2u);
    EXPECT_EQ(q[0].offset, 100);
    EXPECT_EQ(q[0].b0, 0x90);
    // After stop/start: CC 123 at 0, then the new first note at the event's offset.
    EXPECT_EQ(q.back().offset, 300);
    EXPECT_EQ(q.back().b0, 0x90);
}

TEST_F(PlaybackTest, VelocityOfPlainNotesIsNeverZero) {
    enableMidiOut();
    setSteps({kGate, PatternStep{0, StepGate | StepAccent}});
    for (int accentVelocity : {0, 1, 64, 127}) {
        host.midi.clear();
        settings.accentVelocity = accentVelocity;
        start();
        run(2 * 5513);
        seq.programCommand(14);
        std::vector<int> velocities;
        for (const MidiRecord& r : queued())
            if (r.b0 == 0x90 && r.b2 > 0) velocities.push_back(r.b2);
        ASSERT_EQ(velocities.size(), 2u);
        EXPECT_EQ(velocities[0], std::max(1, accentVelocity - 1));
        EXPECT_EQ(velocities[1], 127);
    }
}

TEST_F(PlaybackTest, NoOutputWithoutChannelOrSwitch) {
    settings.midiOutput = 1;
    settings.midiOutputChannel = -1;
    start();
    run(3 * 5513);
    seq.programCommand(14);
    settings.midiOutput = 0;
    settings.midiOutputChannel = 2;
    start();
    run(3 * 5513);
    seq.programCommand(14);
    EXPECT_TRUE(host.midi.empty());
}

TEST_F(PlaybackTest, StopSendsNoteOffAndAllNotesOffThenRestartsFromStepZero) {
    enableMidiOut(1);
    setSteps({kGate, PatternStep{3, StepGate}, kGate});
    start();
    run(5513 + 10);
    EXPECT_EQ(seq.state.stepIndex, 2);
    host.midi.clear();
    seq.programCommand(14);
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    ASSERT_EQ(host.midi.size(), 2u);
    EXPECT_TRUE(host.midi[0].immediate);
    EXPECT_EQ(host.midi[0].b0, 0x81);
    EXPECT_EQ(host.midi[0].b1, 39);
    EXPECT_FALSE(host.midi[1].immediate);
    EXPECT_EQ(host.midi[1].b0, 0xB1);
    EXPECT_EQ(host.midi[1].b1, 123);
    run(1000); // stopped: nothing advances
    EXPECT_EQ(seq.state.stepIndex, 2);
    seq.programCommand(14);
    tick();
    EXPECT_EQ(seq.state.stepIndex, 1);
    EXPECT_NEAR(voice.pitchHz, 65.406, 0.001);
}

TEST_F(PlaybackTest, ShortenedPatternUnderThePlayheadWrapsSafely) {
    pat().setStepCount(16);
    start();
    run(10 * 5513);
    EXPECT_GT(seq.state.stepIndex, 4);
    pat().setStepCount(4);
    run(5513);
    EXPECT_LT(seq.state.stepIndex, 4);
    pat().header &= ~0x7Fu; // a stored count of 0 plays as one step
    const std::vector<int> got = stepLengths(3);
    ASSERT_EQ(got.size(), 3u);
    for (int len : got) EXPECT_NEAR(len, 5512.5, 1.0);
    EXPECT_EQ(seq.state.stepIndex, 0);
}

TEST_F(PlaybackTest, RestartTimingAndResume) {
    start();
    run(3 * 5513 + 7);
    seq.restartTiming();
    EXPECT_TRUE(tick());
    EXPECT_EQ(seq.state.stepIndex, 1);
    voice.slideFrom = 1;
    seq.resume();
    EXPECT_EQ(seq.state.running, 0);
    EXPECT_EQ(voice.gate, 0);
    EXPECT_EQ(voice.slideFrom, 0);
}

} // namespace
} // namespace kelo::test
