// Two instances in-process, fed the same blocks: one lets the sequencer answer the voice in
// runs, the other has it ticked every sample. What they render and send must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "plugin/Parameters.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"

namespace kelo::test {
namespace {

struct Sent {
    int32_t delta;
    uint8_t b0, b1, b2;
    bool operator==(const Sent& o) const { return delta == o.delta && b0 == o.b0 && b1 == o.b1 && b2 == o.b2; }
};

std::map<AEffect*, std::vector<Sent>>* sentLog = nullptr;

VstIntPtr VSTCALLBACK midiRecordingHost(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    if (opcode == audioMasterProcessEvents && sentLog && ptr) {
        const auto* list = static_cast<const VstEvents*>(ptr);
        for (int i = 0; i < list->numEvents; ++i) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            (*sentLog)[effect].push_back({m->deltaFrames, uint8_t(m->midiData[0]), uint8_t(m->midiData[1]),
                                          uint8_t(m->midiData[2])});
        }
    }
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A few MIDI events for one block, laid out the way processEvents receives them.
struct EventList {
    void add(int32_t delta, uint8_t status, uint8_t key, uint8_t velocity) {
        VstMidiEvent& e = events[count];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = delta;
        e.midiData[0] = char(status), e.midiData[1] = char(key), e.midiData[2] = char(velocity);
        list.pointers[count] = reinterpret_cast<VstEvent*>(&e);
        list.numEvents = ++count;
    }
    struct {
        VstInt32 numEvents = 0;
        VstIntPtr reserved = 0;
        VstEvent* pointers[4] = {};
    } list;
    VstMidiEvent events[4]{};
    int count = 0;
    VstEvents* get() { return reinterpret_cast<VstEvents*>(&list); }
};

class RunRenderTest : public ::testing::TestWithParam<float> {
protected:
    void SetUp() override {
        home.write("Config.ini", "MidiOutput = 1\nMidiOutputChannel = 2\n");
        sentLog = &sent;
        runs = std::make_unique<Vez303>(midiRecordingHost);
        ticks = std::make_unique<Vez303>(midiRecordingHost);
        ticks->sequencer().longestRun = 0;
        std::mt19937 rng(17);
        for (Vez303* p : {runs.get(), ticks.get()}) {
            p->setSampleRate(GetParam());
            p->setBlockSize(2048);
            p->resume();
        }
        for (int index = 0; index < 3; ++index) {
            Pattern pat{};
            pat.header = 0;
            pat.setStepCount(int(8 + rng() % 9));
            pat.setShuffle(index == 1 ? 90 : 0);
            pat.setTriplet(index == 2);
            for (PatternStep& s : pat.steps) {
                s.note = uint8_t(rng() % 13);
                const uint32_t r = rng();
                s.flags = uint8_t((r % 4 ? StepGate : 0) | (r & 16 ? StepAccent : 0) | (r % 5 == 0 ? StepSlide : 0) |
                                  (r % 7 == 0 ? StepTie : 0) | (r % 11 == 0 ? StepUp : 0));
            }
            for (Vez303* p : {runs.get(), ticks.get()}) p->sequencer().bank.patterns[index] = pat;
        }
        both([](Vez303& p) {
            p.setParameter(kCutoff, 0.3f), p.setParameter(kResonance, 0.85f), p.setParameter(kEnvmod, 0.7f);
            p.setParameter(kDecay, 0.35f), p.setParameter(kAccent, 0.8f);
        });
    }
    void TearDown() override { sentLog = nullptr; }

    template <class F> void both(F f) { f(*runs), f(*ticks); }

    // Renders one block on both; false (with a failure) where the outputs part.
    bool block(int frames, EventList& events, int64_t at) {
        std::vector<float> out[2][2];
        for (int i = 0; i < 2; ++i) {
            Vez303& p = i == 0 ? *runs : *ticks;
            out[i][0].assign(size_t(frames), 0.0f), out[i][1].assign(size_t(frames), 0.0f);
            float* outputs[2] = {out[i][0].data(), out[i][1].data()};
            p.processEvents(events.get());
            p.processReplacing(nullptr, outputs, frames);
        }
        for (int s = 0; s < frames; ++s) {
            if (out[0][0][size_t(s)] != out[1][0][size_t(s)]) {
                ADD_FAILURE() << "sample " << at + s << ": " << out[0][0][size_t(s)] << " with runs, "
                              << out[1][0][size_t(s)] << " ticked every sample";
                return false;
            }
            peak = std::max(peak, std::abs(out[0][0][size_t(s)]));
        }
        return true;
    }

    ScratchHome home;
    std::map<AEffect*, std::vector<Sent>> sent;
    std::unique_ptr<Vez303> runs, ticks;
    float peak = 0.0f;
};

TEST_P(RunRenderTest, RendersAndSendsWhatPerSampleTickingDoes) {
    std::mt19937 rng(5);
    int64_t at = 0;
    bool held = false;
    int key = 0;
    int blocksPlaying = 0;
    for (int b = 0; b < 900; ++b) {
        // Between blocks the host and the panel move the tempo, the shuffle and the triplet switch.
        if (b % 97 == 50) both([&](Vez303& p) { p.setParameter(kTempo, float(b % 5) / 5.0f); });
        if (b % 131 == 70) both([&](Vez303& p) { p.sequencer().bank.patterns[0].setShuffle(int(b % 127)); });
        if (b % 173 == 90) both([](Vez303& p) { p.sequencer().bank.patterns[1].setTriplet(true); });
        EventList events;
        const int frames = b % 9 == 0 ? int(1 + rng() % 31) : int(64 + rng() % 1500);
        if (b == 0 || rng() % 12 == 0) {
            const int32_t offset = int32_t(rng() % uint32_t(frames));
            // Keys select patterns 0..2 and start the sequencer; releasing the last one stops it.
            if (!held || rng() % 3) {
                key = int(rng() % 3), held = true;
                events.add(offset, 0x90, uint8_t(key), 100);
            } else {
                held = false;
                events.add(offset, 0x80, uint8_t(key), 0);
            }
        }
        if (!block(frames, events, at)) return;
        at += frames;
        blocksPlaying += runs->sequencer().state.running;
    }
    EXPECT_EQ(sent[runs->getAeffect()], sent[ticks->getAeffect()]);
    EXPECT_GT(sent[runs->getAeffect()].size(), 60u) << "notes were played and sent";
    EXPECT_GT(peak, 0.01f) << "and heard";
    EXPECT_GT(blocksPlaying, 100);
}

INSTANTIATE_TEST_SUITE_P(Rates, RunRenderTest, ::testing::Values(44100.0f, 48000.0f, 96000.0f));

} // namespace
} // namespace kelo::test
