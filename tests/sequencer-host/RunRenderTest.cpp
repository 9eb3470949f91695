// Two instances in-process, fed the same blocks: one lets the sequencer answer the voice in
// runs, the other has it ticked every sample. They must render the same samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "plugin/Parameters.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"

namespace kelo::test {
namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(RunRenderTest, RendersWhatPerSampleTickingRenders) {
    ScratchHome home;
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        std::mt19937 rng{uint32_t(rate)};
        Vez303 runs(quietHost), ticks(quietHost);
        ticks.sequencer().longestRun = 0;
        for (int index = 0; index < 3; ++index) {
            Pattern p{};
            p.setStepCount(8 + int(rng() % 9)), p.setShuffle(index == 1 ? 90 : 0), p.setTriplet(index == 2);
            for (PatternStep& s : p.steps) s.note = uint8_t(rng() % 13), s.flags = uint8_t(rng() % 64);
            runs.sequencer().bank.patterns[index] = ticks.sequencer().bank.patterns[index] = p;
        }
        for (Vez303* p : {&runs, &ticks}) {
            p->setSampleRate(rate), p->setBlockSize(2048), p->resume();
            p->setParameter(kCutoff, 0.3f), p->setParameter(kResonance, 0.85f), p->setParameter(kDecay, 0.35f);
        }
        float peak = 0.0f;
        for (int block = 0, key = 0; block < 900; ++block) {
            // Keys at random offsets select patterns 0..2 and start or stop the line; the tempo
            // moves between blocks.
            VstMidiEvent e{};
            e.type = kVstMidiType, e.byteSize = sizeof e;
            struct { VstInt32 count; VstIntPtr reserved; VstEvent* events[2]; } list{0, 0, {&reinterpret_cast<VstEvent&>(e)}};
            const int frames = block % 9 == 0 ? 1 + int(rng() % 31) : 64 + int(rng() % 1500);
            if (block == 0 || rng() % 12 == 0) {
                const bool press = block == 0 || rng() % 3;
                key = press ? int(rng() % 3) : key;
                e.deltaFrames = int32_t(rng() % uint32_t(frames));
                e.midiData[0] = char(press ? 0x90 : 0x80), e.midiData[1] = char(key), e.midiData[2] = 100;
                list.count = 1;
            }
            std::vector<float> out[2];
            for (int i = 0; i < 2; ++i) {
                Vez303& p = i == 0 ? runs : ticks;
                if (block % 97 == 50) p.setParameter(kTempo, float(block % 5) / 5.0f);
                out[i].assign(size_t(frames) * 2, 0.0f);
                float* outputs[2] = {out[i].data(), out[i].data() + frames};
                p.processEvents(reinterpret_cast<VstEvents*>(&list));
                p.processReplacing(nullptr, outputs, frames);
            }
            const auto differ = std::mismatch(out[0].begin(), out[0].end(), out[1].begin());
            ASSERT_TRUE(differ.first == out[0].end())
                << "block " << block << " sample " << (differ.first - out[0].begin()) % frames << ": " << *differ.first
                << " with runs, " << *differ.second << " ticked every sample";
            for (float s : out[0]) peak = std::max(peak, std::fabs(s));
        }
        EXPECT_GT(peak, 0.01f) << "the line was heard";
    }
}

} // namespace
} // namespace kelo::test
