// The sequencer on a recording host, ticked per sample as the voice does: pattern operations,
// programming, timing and the MIDI it sends and takes, and runs against per-sample ticking.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "files/CcMapFile.h"
#include "sequencer/Sequencer.h"

namespace kelo::test {
namespace {

template <class... T> std::vector<int> V(const T&... v) { return {int(v)...}; }

using Midi = std::array<int, 4>; // offset, status, data1, data2
using MidiLog = std::vector<Midi>;

struct RecordingHost : SequencerHost {
    void setParameter(int index, float value) override { params.push_back({index, value}); }
    bool sendMidiNow(int at, int b0, int b1, int b2) override { return now.push_back({at, b0, b1, b2}), true; }
    void queueMidiEvent(int at, int b0, int b1, int b2) override { queued.push_back({at, b0, b1, b2}); }
    double sampleRate() const override { return rate; }
    std::vector<std::pair<int, float>> params;
    MidiLog now, queued;
    double rate = 44100.0;
};

constexpr PatternStep kGate{0, StepGate}, kRest{0, 0}, kTie{0, StepTie};

class SequencerTest : public ::testing::Test {
protected:
    SequencerTest() : seq(voice, settings, ccMap, tuning, host) { tuning.build(), setDefaultCcMap(ccMap); }
    void midiOut(int ch = 0) { settings.midiOutput = 1, settings.midiOutputChannel = ch; }
    void clearMidi() { host.now.clear(), host.queued.clear(); }
    void noteOn(int n, int v = 100) { seq.handleMidiMessage(0x90, n, v); }
    void noteOff(int n) { seq.handleMidiMessage(0x80, n, 0); }
    void cc(int c, int v, int ch = 0) { seq.handleMidiMessage(0xB0 | ch, c, v); }
    void start() { if (!seq.state.running) seq.programCommand(14); }
    // One sample; true when a step started on it. The voice consumes the trigger.
    bool tick() {
        const bool starts = seq.state.running && seq.state.samplesInStep == 0;
        seq.sequencerTick();
        triggers += voice.trigger, voice.trigger = 0;
        return starts;
    }
    void run(int ticks) { while (ticks-- > 0) tick(); }
    // Lengths in ticks of the next `count` steps.
    std::vector<int> stepLengths(int count) {
        std::vector<int> starts, out;
        for (int i = 0; i < 2000000 && int(starts.size()) <= count; ++i)
            if (tick()) starts.push_back(i);
        for (size_t k = 1; k < starts.size(); ++k) out.push_back(starts[k] - starts[k - 1]);
        return out;
    }
    Pattern& pat() { return seq.current(); }
    void setSteps(std::initializer_list<PatternStep> steps) {
        std::copy(steps.begin(), steps.end(), pat().steps);
        pat().setStepCount(int(steps.size()));
    }
    // Queued events of one status (channel removed); note-ons split into sounding and velocity 0.
    MidiLog queued(int status, bool sounding = true) const {
        MidiLog out;
        for (const Midi& m : host.queued)
            if ((m[1] & 0xF0) == status && (status != 0x90 || (m[3] > 0) == sounding)) out.push_back(m);
        return out;
    }
    VoiceControl voice;
    EngineSettings settings;
    CcMap ccMap{};
    TuningTables tuning{};
    RecordingHost host;
    Sequencer seq;
    int triggers = 0;
};

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

constexpr double kStep = 5512.5; // 120 BPM at 44.1 kHz

TEST_F(SequencerTest, StepLengthsCarryTheFractionWithoutDrift) {
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

TEST_F(SequencerTest, SwingTripletAndClockSyncLengths) {
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

TEST_F(SequencerTest, SwingShortStepNoteAndSwingPhaseAcrossAWrap) {
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

TEST_F(SequencerTest, TiesAndRestsBeforeTies) {
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

TEST_F(SequencerTest, PitchVelocityAndPhaseReset) {
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

TEST_F(SequencerTest, StopAndRestart) {
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

TEST_F(SequencerTest, PatternShrunkUnderThePlayheadWrapsSafely) {
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

TEST_F(SequencerTest, PatternKeysSelectPlayAndStop) {
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

TEST_F(SequencerTest, NoteModeLegatoReleaseAndPitch) {
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

TEST_F(SequencerTest, ControllersAndLearning) {
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

// Runs of quiet ticks leave the control record, MIDI, step starts and position as ticks do.
struct Side {
    explicit Side(const TuningTables& t) : seq(voice, settings, ccMap, t, host) {
        settings.midiOutput = 1, settings.midiOutputChannel = 3;
    }
    void noteStart(int64_t at) {
        if (seq.state.running && seq.state.samplesInStep == 0) starts.push_back(at);
    }
    VoiceControl voice;
    EngineSettings settings;
    CcMap ccMap{};
    RecordingHost host;
    Sequencer seq;
    std::vector<int64_t> starts;
};

TEST(SequencerRun, MatchesPerSampleTickingThroughBlocksEventsAndEdits) {
    TuningTables tuning{};
    tuning.build();
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
        Side ref(tuning), run(tuning); // ticked every sample / answered in runs, as the voice asks
        auto both = [&](auto f) { f(ref), f(run); };
        const double rate = seed % 3 == 0 ? 96000.0 : (seed % 3 == 1 ? 44100.0 : 48000.0);
        both([&](Side& s) {
            s.host.rate = rate, s.seq.setTempo(120.0);
            s.settings.clockSync = seed % 4 == 0, s.settings.tripletScale = seed % 5 ? 0.75 : 0.6;
        });
        int64_t at = 0, ticks = 0;
        auto play = [&](int from, int to) {
            for (int i = from, skip = 0; i < to; ++i, ++at) {
                ref.noteStart(at), ref.seq.sequencerTick();
                if (skip > 0) {
                    --skip;
                } else {
                    run.noteStart(at), ++ticks;
                    const int left = to - i - 1, limit = pick(3) ? left : pick(left + 1);
                    skip = run.seq.sequencerRun(limit);
                    ASSERT_TRUE(skip >= 0 && skip <= limit) << skip;
                }
                ASSERT_EQ(std::memcmp(&ref.voice, &run.voice, sizeof ref.voice), 0) << "sample " << at;
                both([](Side& s) { s.voice.trigger = 0, s.voice.resetPhase = 0; }); // the voice takes them
            }
        };
        for (int block = 0; block < 2000; ++block) {
            // Between blocks the host and the panel change tempo, patterns and switches.
            const int what = block < 4 ? 0 : pick(200), index = block < 4 ? block : pick(4);
            Pattern p = ref.seq.bank.patterns[index];
            if (what < 4) {
                p.header = 0, p.setStepCount(1 + pick(20)), p.setTriplet(pick(3) == 0);
                p.setShuffle(pick(2) ? 0 : (pick(2) ? 127 : pick(128)));
                for (PatternStep& s : p.steps) s.note = uint8_t(pick(13)), s.flags = uint8_t(pick(64));
            }
            const double bpm = pick(20) == 0 ? 4000.0 : 7.0 + pick(400) + pick(1000) / 1000.0;
            both([&](Side& s) {
                s.seq.bank.patterns[index] = p;
                if (what >= 4 && what < 12) s.seq.setTempo(bpm);
                if (what == 12) s.settings.clockSync ^= 1;
                if (what == 13) s.seq.restartTiming();
                if (what == 14) s.seq.programCommand(14); // run/stop
                if (what == 15) s.host.rate = 140000.0 - s.host.rate, s.seq.refreshStepLength(s.host.rate);
                s.seq.beginBlock();
            });
            const int frames = pick(5) ? 64 + pick(2000) : 1 + pick(40);
            int from = 0;
            if (block == 0 || pick(12) == 0) { // a pattern key pressed or released inside the block
                from = pick(frames);
                play(0, from);
                if (HasFatalFailure()) return;
                const int key = pick(4), status = block == 0 || pick(2) ? 0x90 : 0x80;
                both([&](Side& s) { s.seq.setEventOffset(from), s.seq.handleMidiMessage(status, key, 100); });
            }
            play(from, frames);
            if (HasFatalFailure()) return;
            const SequencerState &a = ref.seq.state, &r = run.seq.state;
            ASSERT_EQ(V(a.running, a.stepIndex, a.swingPhase, a.samplesInStep, a.noteLength, a.blockSampleCounter),
                      V(r.running, r.stepIndex, r.swingPhase, r.samplesInStep, r.noteLength, r.blockSampleCounter));
            ASSERT_EQ(a.stepPosition, r.stepPosition) << "exactly, not within an ulp";
        }
        EXPECT_EQ(ref.starts, run.starts);
        EXPECT_EQ(ref.host.queued, run.host.queued);
        EXPECT_EQ(ref.host.now, run.host.now);
        EXPECT_GT(ref.starts.size(), 100u) << "the line played";
        EXPECT_LT(ticks * 10, at) << "most samples need no tick of their own";
    }
}

} // namespace
} // namespace kelo::test
