// Runs of quiet ticks: a sequencer answered in runs must behave exactly like one ticked every
// sample — same control record at every sample, same MIDI with the same offsets, same steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

double addOneByOne(double x, int64_t k) {
    while (k-- > 0) x += 1.0;
    return x;
}

TEST(AddOnes, MatchesSuccessiveAdditions) {
    // Positions whose low bits are lost when a sum crosses a power of two, where one addition
    // of k would round differently from k additions of 1.
    const double tricky[] = {0.0, 0.3, 1.5 + 0x1p-52, 3.0 - 0x1p-51, 1023.75 + 0x1p-43, 0.999999999999,
                             5512.5 * 3 - 0x1p-40, 0x1p52 - 2.5, 0x1p53 - 3.0, 0x1p53 + 2.0, -7.25};
    for (double x : tricky)
        for (int64_t k : {0, 1, 2, 3, 5, 1000, 70000})
            EXPECT_EQ(addOnes(x, k), addOneByOne(x, k)) << x << " + " << k;

    std::mt19937_64 rng(7);
    int differsFromOneSum = 0;
    for (int i = 0; i < 20000; ++i) {
        const double x = std::ldexp(double(rng() >> 11), -int(rng() % 60)); // 53 random bits, any scale
        const int64_t k = int64_t(rng() % 9000);
        const double got = addOnes(x, k);
        ASSERT_EQ(got, addOneByOne(x, k)) << x << " + " << k;
        differsFromOneSum += got != x + double(k);
    }
    EXPECT_GT(differsFromOneSum, 100) << "the cases exercise the rounding that matters";

    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(addOnes(inf, 5), inf);
    EXPECT_TRUE(std::isnan(addOnes(std::nan(""), 5)));
}

// One sequencer with everything it writes to.
struct Side {
    explicit Side(const TuningTables& t) : seq(voice, settings, ccMap, t, host) {}
    VoiceControl voice;
    EngineSettings settings;
    CcMap ccMap{};
    RecordingHost host;
    Sequencer seq;
    std::vector<int64_t> starts; // samples on which a step started
};

bool sameRecord(const VoiceControl& a, const VoiceControl& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Drives a per-sample sequencer and a run-answering one side by side through blocks with
// events, edits and tempo changes between them, the way the plug-in and the voice do.
class RunDriver {
public:
    RunDriver(uint32_t seed, double rate) : rng(seed), ref(tuning()), run(tuning()) {
        for (Side* s : {&ref, &run}) {
            s->host.rate = rate;
            s->settings.midiOutput = 1;
            s->settings.midiOutputChannel = 3;
            s->seq.setTempo(120.0);
        }
    }

    static const TuningTables& tuning() {
        static const TuningTables t = [] {
            TuningTables b{};
            b.build();
            return b;
        }();
        return t;
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

    void randomPattern(int index) {
        Pattern p{};
        p.header = 0;
        p.setStepCount(pick(1, 20));
        p.setShuffle(chance(0.5) ? 0 : pick(0, 127));
        p.setTriplet(chance(0.3));
        for (PatternStep& s : p.steps) {
            s.note = uint8_t(pick(0, 12));
            uint8_t f = 0;
            if (chance(0.7)) f |= StepGate;
            if (chance(0.25)) f |= StepAccent;
            if (chance(0.2)) f |= StepSlide;
            if (chance(0.2)) f |= StepTie;
            if (chance(0.15)) f |= chance(0.5) ? StepUp : StepDown;
            s.flags = f;
        }
        both([&](Side& s) { s.seq.bank.patterns[index] = p; });
    }

    template <class F> void both(F f) { f(ref), f(run); }

    // Things the other threads and the host do between blocks.
    void betweenBlocks() {
        if (chance(0.05)) {
            const double bpm = chance(0.3) ? 120.0 : 40.0 + 400.0 * std::uniform_real_distribution<double>(0, 1)(rng);
            both([&](Side& s) { s.seq.setTempo(bpm); });
        }
        if (chance(0.02)) randomPattern(pick(0, 3));
        if (chance(0.02)) {
            const int shuffle = pick(0, 127), pattern = pick(0, 3);
            both([&](Side& s) { s.seq.bank.patterns[pattern].setShuffle(shuffle); });
        }
        if (chance(0.01)) {
            const int sync = pick(0, 1);
            both([&](Side& s) { s.settings.clockSync = sync; });
        }
        if (chance(0.01)) both([](Side& s) { s.seq.restartTiming(); });
        if (chance(0.01)) both([](Side& s) { s.seq.programCommand(14); }); // run/stop from the panel
        if (chance(0.005)) {
            const double rate = chance(0.5) ? 96000.0 : 44100.0;
            both([&](Side& s) { s.host.rate = rate, s.seq.refreshStepLength(rate); });
        }
    }

    // A pattern key pressed or released in the block, at a random offset.
    void randomEvent(Side& s, int key, bool press) {
        s.seq.handleMidiMessage(press ? 0x90 : 0x80, key, press ? 100 : 0);
    }

    // The reference ticks every sample; the other is ticked only where its last run ended.
    void subBlock(int from, int to, int64_t base) {
        int skip = 0;
        for (int i = from; i < to; ++i) {
            if (ref.seq.state.running && ref.seq.state.samplesInStep == 0) ref.starts.push_back(base + i);
            ref.seq.sequencerTick();
            if (skip > 0) {
                --skip;
            } else {
                if (run.seq.state.running && run.seq.state.samplesInStep == 0) run.starts.push_back(base + i);
                const int left = to - i - 1;
                const int limit = chance(0.7) ? left : (chance(0.5) ? 0 : pick(0, left));
                skip = run.seq.sequencerRun(limit);
                ASSERT_GE(skip, 0);
                ASSERT_LE(skip, limit);
                ++runTicks;
            }
            ASSERT_TRUE(sameRecord(ref.voice, run.voice)) << "sample " << base + i;
            both([](Side& s) { s.voice.trigger = 0, s.voice.resetPhase = 0; }); // the voice consumes them
            ++samples;
        }
        ASSERT_EQ(skip, 0) << "a run reached past the samples it was offered";
    }

    void play(int blocks) {
        for (int p = 0; p < 4; ++p) randomPattern(p);
        int64_t base = 0;
        int key = 0;
        bool held = false;
        for (int b = 0; b < blocks; ++b) {
            betweenBlocks();
            const int frames = chance(0.2) ? pick(1, 40) : pick(64, 2048);
            both([](Side& s) { s.seq.beginBlock(); });
            int position = 0;
            if (chance(0.08)) {
                const int offset = pick(0, frames - 1);
                subBlock(position, offset, base);
                if (testing::Test::HasFatalFailure()) return;
                position = offset;
                const bool press = !held || chance(0.5);
                const int k = press ? pick(0, 3) : key;
                both([&](Side& s) { s.seq.setEventOffset(offset), randomEvent(s, k, press); });
                if (press) key = k, held = true;
                else held = false;
            }
            subBlock(position, frames, base);
            if (testing::Test::HasFatalFailure()) return;
            const SequencerState &a = ref.seq.state, &r = run.seq.state;
            ASSERT_EQ(V(a.running, a.stepIndex, a.swingPhase, a.samplesInStep, a.noteLength, a.blockSampleCounter),
                      V(r.running, r.stepIndex, r.swingPhase, r.samplesInStep, r.noteLength, r.blockSampleCounter))
                << "block " << b;
            ASSERT_EQ(a.stepPosition, r.stepPosition) << "block " << b << ": exactly, not within an ulp";
            base += frames;
        }
    }

    std::mt19937 rng;
    Side ref, run;
    int64_t samples = 0, runTicks = 0;
};

void expectSameOutcome(const RunDriver& d) {
    EXPECT_EQ(d.ref.starts, d.run.starts);
    EXPECT_EQ(d.ref.host.queued, d.run.host.queued);
    EXPECT_EQ(d.ref.host.now, d.run.host.now);
    EXPECT_GT(d.ref.starts.size(), 20u) << "the line played";
}

TEST(SequencerRun, MatchesPerSampleTickingOverRandomLinesAndEdits) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        RunDriver d(seed, seed % 3 == 0 ? 96000.0 : (seed % 3 == 1 ? 44100.0 : 48000.0));
        d.both([](Side& s) { s.seq.handleMidiMessage(0x90, 0, 100); }); // start on pattern 0
        if (seed % 4 == 0) d.both([](Side& s) { s.settings.clockSync = 1; });
        if (seed % 5 == 0) d.both([](Side& s) { s.settings.tripletScale = 0.6; });
        d.play(2000);
        if (testing::Test::HasFatalFailure()) return;
        expectSameOutcome(d);
    }
}

TEST(SequencerRun, UnusualTempiAndStepsMatchToo) {
    // Fractional step lengths whose positions pick up low bits; a tempo rise that leaves a carry;
    // zero-length swing steps; single-step ties across the wrap.
    struct Case {
        double rate, bpm, scale;
        int shuffle;
        bool triplet;
    };
    const Case cases[] = {{44100, 137.31, 0.75, 0, false}, {48000, 93.7, 0.75, 127, false},
                          {96000, 211.113, 0.7071, 127, true}, {44100, 4000.0, 0.75, 100, true},
                          {44100, 7.3, 0.75, 33, false}};
    uint32_t seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpm);
        RunDriver d(++seed, c.rate);
        d.both([&](Side& s) {
            s.settings.tripletScale = c.scale;
            s.seq.setTempo(c.bpm);
        });
        for (int p = 0; p < 4; ++p) d.randomPattern(p);
        d.both([&](Side& s) {
            Pattern& p = s.seq.bank.patterns[0];
            p.setShuffle(c.shuffle), p.setTriplet(c.triplet);
            p.steps[0].flags |= StepTie; // a tie at the first step continues the last one
            s.seq.handleMidiMessage(0x90, 0, 100);
        });
        for (int block = 0; block < 300; ++block) {
            d.both([](Side& s) { s.seq.beginBlock(); });
            d.subBlock(0, 1024, int64_t(block) * 1024);
            if (testing::Test::HasFatalFailure()) return;
        }
        EXPECT_EQ(d.ref.starts, d.run.starts);
        EXPECT_EQ(d.ref.host.queued, d.run.host.queued);
        EXPECT_EQ(d.ref.seq.state.stepPosition, d.run.seq.state.stepPosition);
    }
}

TEST(SequencerRun, AnswersLongRunsAndAStoppedSequencerIsAllQuiet) {
    RunDriver d(5, 44100.0);
    d.both([](Side& s) { s.seq.beginBlock(); });
    // Stopped: every offered tick is quiet, and the block position keeps counting for the
    // note-on that a later start stamps.
    EXPECT_EQ(d.run.seq.sequencerRun(500), 500);
    EXPECT_EQ(d.run.seq.state.blockSampleCounter, 501);
    EXPECT_EQ(d.run.seq.sequencerRun(0), 0);

    RunDriver line(6, 44100.0);
    line.both([](Side& s) { s.seq.handleMidiMessage(0x90, 0, 100); });
    line.play(400);
    if (testing::Test::HasFatalFailure()) return;
    expectSameOutcome(line);
    EXPECT_LT(line.runTicks * 10, line.samples) << "most samples need no tick of their own";

    // The test hook: runs switched off, the caller ticks every sample.
    line.run.seq.longestRun = 0;
    EXPECT_EQ(line.run.seq.sequencerRun(1000), 0);
}

} // namespace
} // namespace kelo::test
