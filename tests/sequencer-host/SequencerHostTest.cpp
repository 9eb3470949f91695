// The sequencer seen from a host: the notes the plug-in sends, with block and offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "host/Plugin.h"
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
    // Renders `samples` block by block; events are at sample positions from the first block.
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

TEST_F(SequencerHostTest, StepTimingIsSampleAccurateAcrossBlocks) {
    play(100 + 22050, {{100, 0x90, 5, 100}}); // four steps of 5513, 5513, 5512 samples from the key
    EXPECT_EQ(sent(0x90), (std::vector<Sent>{{100, 0x90, 36, 99}, {5613, 0x90, 36, 99}, {11126, 0x90, 36, 99},
                                             {16638, 0x90, 36, 99}}));
    // Released half a step in; the second step starts with half a sample carried, so a sample sooner.
    const std::vector<Sent> offs = sent(0x80), zeros = sent(0x90, false);
    ASSERT_TRUE(offs.size() == 4 && zeros.size() == 4);
    EXPECT_EQ(std::vector<int64_t>({offs[0][0], offs[1][0], zeros[0][0], zeros[1][0]}),
              std::vector<int64_t>({2856, 8368, 2856, 8368}));
    for (const host::SentMidi& m : plugin.sentMidi())
        EXPECT_TRUE(m.type == 1 && m.byteSize == 32 && m.deltaFrames >= 0 && m.deltaFrames < kBlock);
    EXPECT_GT(peak, 0.01f) << "the notes are heard";
}

TEST_F(SequencerHostTest, StepLengthFollowsTheHostRate) {
    // The tempo was set at the initial 44100 Hz; at 48 kHz a sixteenth at 120 BPM is 6000 samples.
    plugin.dispatcher(effMainsChanged, 0, 0);
    plugin.start(48000.0f, kBlock);
    restartLog();
    play(3 * 6000 + 10, {{0, 0x90, 5, 100}});
    std::vector<int64_t> at;
    for (const Sent& s : sent(0x90)) at.push_back(s[0]);
    EXPECT_EQ(at, (std::vector<int64_t>{0, 6001, 12001, 18001}));
}

TEST_F(SequencerHostTest, TransportStopFromTheHostEndsEverything) {
    play(6 * kBlock, {{10, 0x90, 5, 100}});
    restartLog();
    std::vector<host::MidiIn> stop; // what a host sends when its transport stops, mid-block
    for (uint8_t ch = 0; ch < 16; ++ch)
        for (uint8_t c : {64, 121, 123}) stop.push_back({7, uint8_t(0xB0 | ch), c, 0});
    play(44100, stop);
    // One forwarded stop: the immediate copy, then the queued one at the event's own offset.
    EXPECT_EQ(sent(0xB0), (std::vector<Sent>{{0, 0xB0, 123, 0}, {7, 0xB0, 123, 0}}));
    EXPECT_EQ(plugin.sentMidi().size(), 2u) << "no note after the stop";
    EXPECT_LT(lastPeak, 1e-3f) << "the voice has died away a second later";
}

} // namespace
} // namespace kelo::test
