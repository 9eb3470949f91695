#pragma once
// A sequencer wired to a recording host, for driving it sample by sample.
#include <gtest/gtest.h>

#include <vector>

#include "files/CcMapFile.h"
#include "sequencer/Sequencer.h"

namespace kelo::test {

struct MidiRecord {
    bool immediate;
    int offset;
    int b0, b1, b2;
};

class RecordingHost : public SequencerHost {
public:
    struct ParamChange {
        int index;
        float value;
    };

    void setParameter(int index, float value) override { params.push_back({index, value}); }
    bool sendMidiNow(int offset, int b0, int b1, int b2) override {
        midi.push_back({true, offset, b0, b1, b2});
        return true;
    }
    void queueMidiEvent(int offset, int b0, int b1, int b2) override {
        midi.push_back({false, offset, b0, b1, b2});
    }
    double sampleRate() const override { return rate; }

    std::vector<MidiRecord> midi;
    std::vector<ParamChange> params;
    double rate = 44100.0;
};

class SequencerTest : public ::testing::Test {
protected:
    SequencerTest() : seq(voice, settings, ccMap, tuning, host) {
        tuning.build();
        setDefaultCcMap(ccMap);
    }

    void enableMidiOut(int ch = 0) {
        settings.midiOutput = 1;
        settings.midiOutputChannel = ch;
    }

    // Advances one sample the way the voice does; true when a step started on it.
    bool tick() {
        const bool starts = seq.state.running && seq.state.samplesInStep == 0;
        seq.sequencerTick();
        voice.trigger = 0; // the voice consumes it every sample
        return starts;
    }

    // Lengths in ticks of the next `count` steps (the first must start on the next tick).
    std::vector<int> stepLengths(int count, int limit = 2000000) {
        std::vector<int> lengths;
        int since = -1;
        for (int i = 0; i < limit && int(lengths.size()) < count; ++i) {
            if (tick()) {
                if (since >= 0) lengths.push_back(since);
                since = 0;
            }
            if (since >= 0) ++since;
        }
        return lengths;
    }

    void run(int ticks) {
        for (int i = 0; i < ticks; ++i) tick();
    }

    Pattern& pat() { return seq.current(); }

    void setSteps(std::initializer_list<PatternStep> steps) {
        int i = 0;
        for (const PatternStep& s : steps) pat().steps[i++] = s;
        pat().setStepCount(i);
    }

    std::vector<MidiRecord> queued() const {
        std::vector<MidiRecord> out;
        for (const MidiRecord& r : host.midi)
            if (!r.immediate) out.push_back(r);
        return out;
    }

    VoiceControl voice;
    EngineSettings settings;
    CcMap ccMap{};
    TuningTables tuning{};
    RecordingHost host;
    Sequencer seq;
};

} // namespace kelo::test
