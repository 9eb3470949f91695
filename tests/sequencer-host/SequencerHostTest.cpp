// The sequencer seen from a host: the notes the plug-in sends, with block and offset; and two
// instances in-process, one ticking the sequencer every sample, which must render alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "host/Plugin.h"
#include "plugin/Parameters.h"
#include "plugin/StateChunk.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"

namespace kelo::test {
namespace {

constexpr int kBlock = 512;
using Sent = std::array<int64_t, 4>; // sample from the log's start, status, data1, data2

class SequencerHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("Config.ini", "MidiOutput = 1\nMidiOutputChannel = 0\n");
        ASSERT_TRUE(plugin.load()) << plugin.error();
        plugin.setTimeInfoEnabled(false);
        plugin.start(44100.0f, kBlock);
    }
    void restartLog() { plugin.clearLogs(), firstBlock = plugin.blockNumber(); }
    // Renders block by block; events are at sample positions from the first block.
    void play(int samples, const std::vector<host::MidiIn>& events) {
        for (int done = 0, n = 0; done < samples; done += n) {
            n = std::min(kBlock, samples - done);
            std::vector<host::MidiIn> now;
            for (host::MidiIn e : events)
                if (e.offset >= done && e.offset < done + n) e.offset -= done, now.push_back(e);
            lastPeak = 0.0f;
            for (float s : plugin.render(n, now).left) lastPeak = std::max(lastPeak, std::fabs(s));
            peak = std::max(peak, lastPeak);
        }
    }
    // What the plug-in sent while processing, of one status; note-ons split by velocity.
    std::vector<Sent> sent(int status, bool sounding = true) const {
        std::vector<Sent> out;
        for (const host::SentMidi& m : plugin.sentMidi())
            if (m.block > 0 && m.bytes[0] == status && (status != 0x90 || (m.bytes[2] > 0) == sounding))
                out.push_back({(m.block - 1 - firstBlock) * kBlock + m.deltaFrames, m.bytes[0], m.bytes[1], m.bytes[2]});
        return out;
    }
    ScratchHome home;
    host::Plugin plugin;
    int64_t firstBlock = 0;
    float peak = 0.0f, lastPeak = 0.0f;
};

TEST_F(SequencerHostTest, StepLengthFollowsTheHostRateAndATransportStopEndsEverything) {
    // The tempo was set at 44.1 kHz; at 48 kHz a sixteenth at 120 BPM is 6000 samples, counted
    // from the key's own offset and stamped exactly across block boundaries.
    plugin.dispatcher(effMainsChanged, 0, 0);
    plugin.start(48000.0f, kBlock);
    restartLog();
    play(100 + 3 * 6000 + 3500, {{100, 0x90, 5, 100}}); // ends with the fourth note released
    EXPECT_EQ(sent(0x90), (std::vector<Sent>{{100, 0x90, 36, 99}, {6101, 0x90, 36, 99}, {12101, 0x90, 36, 99},
                                             {18101, 0x90, 36, 99}}));
    EXPECT_GT(peak, 0.01f) << "the notes are heard";
    restartLog();
    std::vector<host::MidiIn> stop; // what a host sends when its transport stops, mid-block
    for (uint8_t ch = 0; ch < 16; ++ch)
        for (uint8_t c : {64, 121, 123}) stop.push_back({7, uint8_t(0xB0 | ch), c, 0});
    play(48000, stop);
    // One forwarded stop: the immediate copy, then the queued one at the event's own offset.
    EXPECT_EQ(sent(0xB0), (std::vector<Sent>{{0, 0xB0, 123, 0}, {7, 0xB0, 123, 0}}));
    EXPECT_EQ(plugin.sentMidi().size(), 2u) << "no note after the stop";
    EXPECT_LT(lastPeak, 1e-3f) << "the voice has died away a second later";
}

// A note sounding downstream when the host suspends and resumes, or when a chunk switches the
// MIDI mode or output, is switched off at once, and nothing keeps playing.
TEST_F(SequencerHostTest, ResumeAndModeChangesEndTheNotesSent) {
    const auto chunkWith = [this](int word, uint32_t value, uint32_t clearFlags) {
        void* data = nullptr;
        const VstIntPtr size = plugin.dispatcher(effGetChunk, 0, 0, &data);
        std::vector<uint8_t> c(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        uint32_t* words = reinterpret_cast<uint32_t*>(c.data() + kChunkSettingsOffset);
        if (word >= 0) words[word] = value;
        words[kChunkWordFlags] &= ~clearFlags;
        plugin.dispatcher(effSetChunk, 0, VstIntPtr(c.size()), c.data());
    };
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"suspend and resume", [&] { plugin.suspend(), plugin.resume(); }},
        {"note mode", [&] { chunkWith(kChunkWordMidiMode, 1, 0); }},
        {"notes ignored", [&] { chunkWith(kChunkWordMidiMode, 2, 0); }},
        {"output off", [&] { chunkWith(-1, 0, kChunkFlagMidiOutput); }}};
    for (const auto& [what, disrupt] : cases) {
        SCOPED_TRACE(what);
        chunkWith(kChunkWordMidiMode, 0, 0);
        restartLog();
        play(2 * kBlock, {{10, 0x90, 5, 100}}); // note 36 on at 10, released near 2766
        ASSERT_EQ(sent(0x90).size(), 1u);
        disrupt();
        play(44100, {});
        EXPECT_EQ(sent(0x80), (std::vector<Sent>{{2 * kBlock, 0x80, 36, 0}}));
        EXPECT_EQ(sent(0xB0).size(), 1u);
        EXPECT_EQ(sent(0x90).size(), 1u) << "nothing plays on";
        EXPECT_LT(lastPeak, 1e-3f);
        // Key 5 was never released, yet is not held after: a new key held for one step plays
        // that step and nothing more.
        play(44100, {{0, 0x90, 7, 100}, {1000, 0x80, 7, 0}});
        EXPECT_LE(sent(0x90).size(), 2u) << "key 5 still held";
    }
}

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
            ASSERT_TRUE(differ.first == out[0].end()) << "block " << block << " sample "
                                                      << (differ.first - out[0].begin()) % frames;
            for (float s : out[0]) peak = std::max(peak, std::fabs(s));
        }
        EXPECT_GT(peak, 0.01f) << "the line was heard";
    }
}

} // namespace
} // namespace kelo::test
