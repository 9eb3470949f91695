#pragma once
// A sequencer wired to a recording host, ticked sample by sample as the voice does.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "files/CcMapFile.h"
#include "sequencer/Sequencer.h"

namespace kelo::test {

// Several values compared in one assertion, printed readably on failure.
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

} // namespace kelo::test
