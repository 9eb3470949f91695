// The sequencer seen from a host: the notes the plug-in sends, with block and offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "host/Plugin.h"
#include "plugin/StateChunk.h"
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
    // Tempo set at 44.1 kHz; at 48 kHz a sixteenth is 6000 samples from the key's own offset.
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

// Suspend and resume, or a chunk switching MIDI mode or output, ends the notes sent at once.
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
        // Key 5, never released, is not held after: a key held for one step plays only that step.
        play(44100, {{0, 0x90, 7, 100}, {1000, 0x80, 7, 0}});
        EXPECT_LE(sent(0x90).size(), 2u) << "key 5 still held";
    }
}

} // namespace
} // namespace kelo::test
