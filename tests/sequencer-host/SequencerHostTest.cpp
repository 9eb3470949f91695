// The sequencer seen from a host: the notes the plug-in sends, with block and offset.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/Plugin.h"
#include "tests/plugin/ScratchHome.h"

namespace kelo::test {
namespace {

constexpr int kBlock = 512;

struct Note {
    int64_t sample; // absolute position: (block - 1) * block size + offset
    int status, data1, data2;
};

class SequencerHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("Config.ini", "MidiOutput = 1\nMidiOutputChannel = 0\nMidiKeyProgramming = 1\n");
        ASSERT_TRUE(plugin.load()) << plugin.error();
        plugin.setTimeInfoEnabled(false);
        plugin.start(44100.0f, kBlock);
    }

    // Runs blocks until `samples` have been rendered; events are absolute sample positions.
    void play(long samples, std::vector<host::MidiIn> events = {}) {
        while (samples > 0) {
            const int n = samples < kBlock ? int(samples) : kBlock;
            std::vector<host::MidiIn> now;
            for (const host::MidiIn& e : events) {
                const long at = e.offset - rendered;
                if (at >= 0 && at < n) now.push_back({int32_t(at), e.status, e.data1, e.data2});
            }
            const host::Block out = plugin.render(n, now);
            for (float s : out.left) peak = std::max(peak, std::fabs(s));
            lastBlockPeak = 0.0f;
            for (float s : out.left) lastBlockPeak = std::max(lastBlockPeak, std::fabs(s));
            rendered += n;
            samples -= n;
        }
    }

    // Queued notes and controllers sent during processing, as absolute sample positions.
    std::vector<Note> sent() const {
        std::vector<Note> out;
        for (const host::SentMidi& m : plugin.sentMidi()) {
            if (m.block <= 0) continue;
            out.push_back({(m.block - 1 - firstBlock) * kBlock + m.deltaFrames, m.bytes[0], m.bytes[1],
                           m.bytes[2]});
        }
        return out;
    }

    static std::vector<Note> only(const std::vector<Note>& notes, int status, bool sounding) {
        std::vector<Note> out;
        for (const Note& n : notes)
            if (n.status == status && (status != 0x90 || (n.data2 > 0) == sounding)) out.push_back(n);
        return out;
    }

    // Starts a fresh log; sample positions count from here.
    void restartLog() {
        plugin.clearLogs();
        firstBlock = plugin.blockNumber();
        rendered = 0;
    }

    ScratchHome home;
    int64_t firstBlock = 0;
    host::Plugin plugin;
    long rendered = 0;
    float peak = 0.0f;
    float lastBlockPeak = 0.0f;
};

TEST_F(SequencerHostTest, StepTimingIsSampleAccurateAcrossBlocks) {
    play(100 + 22050, {{100, 0x90, 5, 100}}); // exactly four steps after the key
    const std::vector<Note> notes = sent();
    for (const host::SentMidi& m : plugin.sentMidi()) {
        EXPECT_EQ(m.type, 1);
        EXPECT_EQ(m.byteSize, 32);
        EXPECT_GE(m.deltaFrames, 0);
        EXPECT_LT(m.deltaFrames, kBlock);
    }
    const std::vector<Note> ons = only(notes, 0x90, true);
    ASSERT_EQ(ons.size(), 4u);
    // Steps of 5513, 5513, 5512 samples from the key's own offset.
    EXPECT_EQ(ons[0].sample, 100);
    EXPECT_EQ(ons[1].sample, 100 + 5513);
    EXPECT_EQ(ons[2].sample, 100 + 11026);
    EXPECT_EQ(ons[3].sample, 100 + 16538);
    for (const Note& n : ons) {
        EXPECT_EQ(n.data1, 36);
        EXPECT_EQ(n.data2, 99);
    }
    // Released half a step in: a note-off and a zero-velocity note-on at the same sample.
    const std::vector<Note> offs = only(notes, 0x80, false);
    const std::vector<Note> zeros = only(notes, 0x90, false);
    ASSERT_EQ(offs.size(), 4u);
    ASSERT_EQ(zeros.size(), 4u);
    EXPECT_EQ(offs[0].sample, 100 + 2756);
    EXPECT_EQ(zeros[0].sample, offs[0].sample);
    // The second step starts with half a sample carried over, so it releases a sample sooner.
    EXPECT_EQ(offs[1].sample, 100 + 5513 + 2755);
    EXPECT_GT(peak, 0.01f) << "the notes are heard";
}

TEST_F(SequencerHostTest, StepLengthFollowsTheHostRate) {
    // The tempo was set while the instance still ran at its initial 44100 Hz; at 48 kHz a
    // sixteenth at 120 BPM must still be 6000 samples.
    plugin.dispatcher(effMainsChanged, 0, 0);
    plugin.start(48000.0f, kBlock);
    restartLog();
    play(3 * 6000 + 10, {{0, 0x90, 5, 100}});
    const std::vector<Note> ons = only(sent(), 0x90, true);
    ASSERT_EQ(ons.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ons[size_t(i)].sample, int64_t(i) * 6000 + (i > 0 ? 1 : 0));
}

TEST_F(SequencerHostTest, SlideChainProgrammedFromTheKeyboard) {
    // Pattern 0, cursor on step 0: slide is key 77, cursor forward 84, note keys from 48.
    const uint8_t on = 0x90;
    play(kBlock, {{0, on, 77, 100}, {1, on, 84, 100}, {2, on, 48 + 5, 100}, {3, on, 77, 100},
                  {4, on, 84, 100}, {5, on, 48 + 7, 100}});
    restartLog();
    play(22050, {{0, 0x90, 0, 100}});
    const std::vector<Note> notes = sent();
    const std::vector<Note> ons = only(notes, 0x90, true);
    ASSERT_GE(ons.size(), 3u);
    EXPECT_EQ(ons[0].data1, 36);
    EXPECT_EQ(ons[1].data1, 36 + 5);
    EXPECT_EQ(ons[2].data1, 36 + 7);
    EXPECT_EQ(ons[1].sample, 5513);
    EXPECT_EQ(ons[2].sample, 11026);
    // No note is released inside the chain; all three end together half-way into step 2.
    const std::vector<Note> offs = only(notes, 0x80, false);
    ASSERT_GE(offs.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(offs[i].sample, 11026 + 2755) << "note-off " << i;
    EXPECT_EQ(offs[0].data1, 36);
    EXPECT_EQ(offs[1].data1, 41);
    EXPECT_EQ(offs[2].data1, 43);
}

TEST_F(SequencerHostTest, TransportStopFromTheHostEndsEverything) {
    play(6 * kBlock, {{10, 0x90, 5, 100}});
    restartLog();
    // What a host sends when its transport stops, in the middle of a block.
    std::vector<host::MidiIn> stop;
    for (uint8_t ch = 0; ch < 16; ++ch)
        for (uint8_t c : {64, 121, 123}) stop.push_back({7, uint8_t(0xB0 | ch), c, 0});
    play(44100, stop);
    const std::vector<Note> notes = sent();
    ASSERT_EQ(notes.size(), 2u) << "one forwarded stop, no note after it";
    EXPECT_EQ(notes[0].status, 0xB0);
    EXPECT_EQ(notes[0].data1, 123);
    EXPECT_EQ(notes[0].sample, 0) << "immediate copy";
    EXPECT_EQ(notes[1].status, 0xB0);
    EXPECT_EQ(notes[1].data1, 123);
    EXPECT_EQ(notes[1].sample, 7) << "queued copy, after anything sent earlier in the block";
    EXPECT_LT(lastBlockPeak, 1e-3f) << "the voice has died away a second later";
}

} // namespace
} // namespace kelo::test
