// Runs of quiet ticks must leave everything as per-sample ticking does: the control record at
// every sample, the MIDI sent with its offsets, the step starts and the exact position.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "SequencerFixture.h"

namespace kelo::test {
namespace {

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
