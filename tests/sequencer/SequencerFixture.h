#pragma once
// A sequencer wired to a recording host, driven sample by sample as the voice does.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "files/CcMapFile.h"
#include "sequencer/Sequencer.h"

namespace kelo::test {

// Two values compared together, printed readably on failure.
inline std::pair<int, int> P(int a, int b) { return {a, b}; }

struct MidiRecord {
    bool immediate;
    int offset, b0, b1, b2;
};

class RecordingHost : public SequencerHost {
public:
    void setParameter(int index, float value) override { params.push_back({index, value}); }
    bool sendMidiNow(int offset, int b0, int b1, int b2) override {
        midi.push_back({true, offset, b0, b1, b2});
        return true;
    }
    void queueMidiEvent(int offset, int b0, int b1, int b2) override {
        midi.push_back({false, offset, b0, b1, b2});
    }
    double sampleRate() const override { return rate; }

    struct Param {
        int index;
        float value;
    };
    std::vector<MidiRecord> midi;
    std::vector<Param> params;
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
    void noteOn(int n, int v = 100) { seq.handleMidiMessage(0x90, n, v); }
    void noteOff(int n) { seq.handleMidiMessage(0x80, n, 0); }
    void cc(int c, int v, int ch = 0) { seq.handleMidiMessage(0xB0 | ch, c, v); }

    // One sample; true when a step started on it. The voice consumes the trigger.
    bool tick() {
        const bool starts = seq.state.running && seq.state.samplesInStep == 0;
        seq.sequencerTick();
        triggers += voice.trigger;
        voice.trigger = 0;
        return starts;
    }
    void run(int ticks) {
        for (int i = 0; i < ticks; ++i) tick();
    }
    // Lengths in ticks of the next `count` steps.
    std::vector<int> stepLengths(int count) {
        std::vector<int> lengths;
        int since = -1;
        for (int i = 0; i < 2000000 && int(lengths.size()) < count; ++i) {
            if (tick()) {
                if (since >= 0) lengths.push_back(since);
                since = 0;
            }
            if (since >= 0) ++since;
        }
        return lengths;
    }

    Pattern& pat() { return seq.current(); }
    void setSteps(std::initializer_list<PatternStep> steps) {
        int i = 0;
        for (const PatternStep& s : steps) pat().steps[i++] = s;
        pat().setStepCount(i);
    }
    // Queued events whose status (channel removed) is `status`; note-ons split by velocity.
    std::vector<MidiRecord> queued(int status, bool sounding = true) const {
        std::vector<MidiRecord> out;
        for (const MidiRecord& r : host.midi)
            if (!r.immediate && (r.b0 & 0xF0) == status && (status != 0x90 || (r.b2 > 0) == sounding))
                out.push_back(r);
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

} // namespace kelo::test
