// Block processing through the host: event order and timing, block shapes, host tempo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "host/Plugin.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::Block;
using kelo::host::MidiIn;
using kelo::host::Plugin;
using kelo::host::SentMidi;
using kelo::test::ScratchHome;

// With knob transmission on, every controller the plug-in handles is echoed at once, so the
// echoes show the order in which events were handled.
constexpr const char* kEchoSettings = "MidiOutput = 1\nMidiOutputChannel = 0\nMidiTransmitKnobs = 1\n";

class Processing : public ::testing::Test {
protected:
    void load(const std::string& userIni = "", int blockSize = 512) {
        if (!userIni.empty()) home.write("User.ini", userIni);
        ASSERT_TRUE(plugin.load()) << plugin.error();
        plugin.start(44100.0f, blockSize);
        plugin.clearLogs();
    }
    // Controller values echoed for `controller`, in the order they were sent.
    std::vector<int> echoes(int controller) const {
        std::vector<int> v;
        for (const SentMidi& m : plugin.sentMidi())
            if (m.bytes[0] == 0xB0 && m.bytes[1] == controller) v.push_back(m.bytes[2]);
        return v;
    }
    static bool identical(const Block& b) {
        return b.left.size() == b.right.size() &&
               std::memcmp(b.left.data(), b.right.data(), b.left.size() * sizeof(float)) == 0;
    }
    ScratchHome home;
    Plugin plugin;
};

TEST_F(Processing, EventsAreHandledByOffsetKeepingTheHostOrderForTies) {
    load(kEchoSettings);
    plugin.render(512, {{10, 0xB0, 74, 10}, {5, 0xB0, 74, 20}, {5, 0xB0, 74, 30}});
    EXPECT_EQ(echoes(74), (std::vector<int>{20, 30, 10}));
    EXPECT_FLOAT_EQ(plugin.getParameter(1), 10.0f / 127.0f);
}

TEST_F(Processing, ChannelBitsAreIgnoredAndDataBytesMasked) {
    load(kEchoSettings);
    plugin.render(64, {{0, 0xB5, 0x80 | 74, 0xFF}});
    EXPECT_EQ(echoes(74), (std::vector<int>{127}));
    EXPECT_FLOAT_EQ(plugin.getParameter(1), 1.0f);
}

TEST_F(Processing, OffsetsOutsideTheBlockAreClampedIntoIt) {
    load(kEchoSettings);
    plugin.render(256, {{100000, 0xB0, 74, 1}, {-40, 0xB0, 74, 2}, {255, 0xB0, 74, 3}});
    // Sorted by the offsets as given, then -40 handled at 0 and 100000 at the last frame.
    EXPECT_EQ(echoes(74), (std::vector<int>{2, 3, 1}));
    for (const SentMidi& m : plugin.sentMidi()) EXPECT_EQ(m.block, 1);
}

TEST_F(Processing, OnlyTheFirst64EventsOfAListAreKept) {
    load(kEchoSettings);
    std::vector<MidiIn> many;
    for (int i = 0; i < 70; ++i) many.push_back({i, 0xB0, 74, uint8_t(i)});
    plugin.render(512, many);
    const auto got = echoes(74);
    ASSERT_EQ(got.size(), 64u);
    EXPECT_EQ(got.back(), 63);
}

TEST_F(Processing, StoredEventsAreConsumedByOneBlockAndReplacedByANewList) {
    load(kEchoSettings);
    plugin.sendEvents({{0, 0xB0, 74, 1}});
    plugin.sendEvents({{0, 0xB0, 74, 2}});
    plugin.render(64);
    plugin.render(64);
    EXPECT_EQ(echoes(74), (std::vector<int>{2}));
    // A null list is an empty one.
    plugin.sendEvents({{0, 0xB0, 74, 3}});
    EXPECT_EQ(plugin.dispatcher(effProcessEvents, 0, 0, nullptr), 1);
    plugin.render(64);
    EXPECT_EQ(echoes(74), (std::vector<int>{2}));
}

TEST_F(Processing, NonMidiEventsAreNotReadAsMidi) {
    load(kEchoSettings);
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof sysex;
    // Bytes where a MIDI event keeps its data: would read as "controller 7 to 0".
    const unsigned char fake[4] = {0xB0, 7, 0, 0};
    std::memcpy(reinterpret_cast<char*>(&sysex) + offsetof(VstMidiEvent, midiData), fake, 4);
    char dump[4] = {char(0xF0), 0x7E, 0x00, char(0xF7)};
    sysex.sysexDump = dump;
    sysex.dumpBytes = 4;
    VstEvent* list[1] = {reinterpret_cast<VstEvent*>(&sysex)};
    plugin.sendRawEvents(list, 1);
    plugin.render(64);
    EXPECT_FLOAT_EQ(plugin.getParameter(8), 1.0f);
    EXPECT_TRUE(echoes(7).empty());
}

TEST_F(Processing, BothOutputsCarryTheSameSamples) {
    load();
    Block b = plugin.render(512, {{0, 0x90, 0, 127}});
    for (int i = 0; i < 20; ++i) {
        b = plugin.render(512);
        ASSERT_TRUE(identical(b)) << "block " << i;
        for (float s : b.left) ASSERT_TRUE(std::isfinite(s));
    }
}

TEST_F(Processing, IdenticalInstancesRenderIdenticalAudio) {
    load();
    Plugin second;
    ASSERT_TRUE(second.load()) << second.error();
    second.start(44100.0f, 512);
    for (int i = 0; i < 10; ++i) {
        const std::vector<MidiIn> ev = i == 0 ? std::vector<MidiIn>{{17, 0x90, 3, 120}} : std::vector<MidiIn>{};
        const Block a = plugin.render(512, ev);
        const Block b = second.render(512, ev);
        ASSERT_EQ(0, std::memcmp(a.left.data(), b.left.data(), 512 * sizeof(float))) << "block " << i;
    }
}

TEST_F(Processing, EmptyAndOversizedBlocksAreHandled) {
    load(kEchoSettings);
    // Nothing to render, but the events are still handled.
    plugin.render(0, {{0, 0xB0, 74, 5}});
    plugin.process(-7, nullptr, nullptr);
    EXPECT_EQ(echoes(74), (std::vector<int>{5}));

    // Longer than the render buffer: rendered in pieces, events anywhere in it.
    const Block big = plugin.render(100000, {{0, 0x90, 0, 100}, {99999, 0xB0, 74, 9}});
    EXPECT_TRUE(identical(big));
    for (float s : big.left) ASSERT_TRUE(std::isfinite(s));
    EXPECT_EQ(echoes(74), (std::vector<int>{5, 9}));
}

TEST_F(Processing, AMissingOutputChannelIsSkipped) {
    load();
    std::vector<float> left(256, 7.0f);
    plugin.process(256, left.data(), nullptr);
    for (float s : left) ASSERT_NE(s, 7.0f);
}

TEST_F(Processing, AsksForTheTempoEveryBlock) {
    load();
    for (int i = 0; i < 3; ++i) plugin.render(128);
    EXPECT_EQ(plugin.callbackCount(audioMasterGetTime), 3);
    EXPECT_EQ(plugin.lastTimeFilter(), kVstTempoValid);
}

// Sample positions of the note-ons the sequencer sends while pattern 0 plays.
// `everyBlock` goes into each block after the first.
std::vector<int64_t> playPattern(Plugin& plugin, int blocks, int blockSize,
                                 const std::vector<MidiIn>& everyBlock = {}) {
    std::vector<int64_t> at;
    plugin.clearLogs();
    const int64_t first = plugin.blockNumber() + 1;
    plugin.render(blockSize, {{0, 0x90, 0, 100}});
    for (int i = 1; i < blocks; ++i) plugin.render(blockSize, everyBlock);
    for (const SentMidi& m : plugin.sentMidi())
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) at.push_back((m.block - first) * blockSize + m.deltaFrames);
    return at;
}

TEST_F(Processing, HostTempoIsFollowedOnlyInSyncMode) {
    load("MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 0\n");
    plugin.setTempo(240.0);
    auto own = playPattern(plugin, 60, 512);
    ASSERT_GE(own.size(), 3u);
    // 120 BPM of its own: a sixteenth is 5512.5 samples.
    EXPECT_NEAR(double(own[2] - own[0]), 11025.0, 2.0);

    ScratchHome synced;
    synced.write("User.ini", "MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 1\n");
    Plugin p;
    ASSERT_TRUE(p.load()) << p.error();
    p.start(44100.0f, 512);
    p.setTempo(240.0);
    auto host = playPattern(p, 60, 512);
    ASSERT_GE(host.size(), 3u);
    EXPECT_NEAR(double(host[2] - host[0]), 5512.5, 2.0);

    // No usable answer from the host: the last tempo stays.
    p.setTimeInfoEnabled(false);
    auto kept = playPattern(p, 60, 512);
    ASSERT_GE(kept.size(), 3u);
    EXPECT_NEAR(double(kept[2] - kept[0]), 5512.5, 2.0);
    p.close();
}

TEST_F(Processing, QueuedMidiIsStampedWithItsPositionInTheBlock) {
    load("MidiOutput = 1\nMidiOutputChannel = 2\n");
    // An event late in every block splits it; notes the sequencer starts before the split
    // must still be stamped where they sound.
    auto at = playPattern(plugin, 60, 300, {{250, 0xB0, 74, 0}});
    ASSERT_GE(at.size(), 4u);
    for (size_t i = 1; i < at.size(); ++i) EXPECT_NEAR(double(at[i] - at[0]), 5512.5 * double(i), 1.0) << i;
    for (const SentMidi& m : plugin.sentMidi()) {
        EXPECT_GE(m.deltaFrames, 0);
        EXPECT_LT(m.deltaFrames, 300);
    }
}

TEST_F(Processing, VolumeChangesFadeAcrossTheNextSubBlock) {
    // Note mode: the held note sounds steadily, so a twin instance gives the unfaded signal.
    load("MidiMode = 1\n");
    Plugin twin;
    ASSERT_TRUE(twin.load()) << twin.error();
    twin.start(44100.0f, 512);
    for (Plugin* p : {&plugin, &twin}) {
        p->render(512, {{0, 0x90, 45, 100}});
        for (int i = 0; i < 4; ++i) p->render(512);
    }
    // Controller 7 at 64 sets Volume to 64/127, a gain of its square. (At exactly 0 the voice
    // itself falls silent, so a fade to zero cannot be observed.)
    const Block faded = plugin.render(512, {{256, 0xB0, 7, 64}});
    const Block plain = twin.render(512);
    const float target = (64.0f / 127.0f) * (64.0f / 127.0f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(faded.left[size_t(i)], plain.left[size_t(i)]) << i;
    int checked = 0;
    for (int i = 256; i < 512; ++i) {
        const float ref = plain.left[size_t(i)];
        if (std::fabs(ref) < 1e-2f) continue;
        const float expected = 1.0f + (target - 1.0f) * float(i - 256) / 256.0f;
        EXPECT_NEAR(faded.left[size_t(i)] / ref, expected, 1e-3f) << i;
        ++checked;
    }
    EXPECT_GT(checked, 100);
    // The next block stays at the new gain.
    const Block after = plugin.render(512);
    const Block plainAfter = twin.render(512);
    for (size_t i = 0; i < 512; ++i) ASSERT_NEAR(after.left[i], plainAfter.left[i] * target, 1e-5f) << i;
}

} // namespace
