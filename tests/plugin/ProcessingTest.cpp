// Block processing through the host: event order and timing, block shapes, host tempo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "plugin/OutgoingMidiQueue.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::Block;
using kelo::host::MidiIn;
using kelo::host::Plugin;
using kelo::host::SentMidi;
using kelo::test::Kelo;

// With knob transmission on, every controller the plug-in handles is echoed at once, so the
// echoes show the order in which events were handled.
constexpr const char* kEcho = "MidiOutput = 1\nMidiOutputChannel = 0\nMidiTransmitKnobs = 1\n";

// Values echoed for `controller` since the last call, in the order they were sent.
std::vector<int> echoes(Kelo& k, int controller = 74) {
    std::vector<int> v;
    for (const SentMidi& m : k->sentMidi())
        if (m.bytes[0] == 0xB0 && m.bytes[1] == controller) v.push_back(m.bytes[2]);
    k->clearLogs();
    return v;
}

TEST(Events, AreSortedStablyClampedCappedUsedOnceAndOnlyMidi) {
    Kelo k(kEcho);
    const struct {
        int frames;
        std::vector<MidiIn> events;
        std::vector<int> echoed;
    } blocks[] = {{512, {{10, 0xB0, 74, 10}, {5, 0xB0, 74, 20}, {5, 0xB0, 74, 30}}, {20, 30, 10}},
                  {64, {{0, 0xB5, 0x80 | 74, 0xFF}}, {127}}, // channel bits ignored, data bytes masked
                  // Sorted by the offsets as given, then -40 handled at 0 and 100000 at the last frame.
                  {256, {{100000, 0xB0, 74, 1}, {-40, 0xB0, 74, 2}, {255, 0xB0, 74, 3}}, {2, 3, 1}},
                  {64, {{9, 0xB0, 74, 40}, {3, 0xB0, 74, 50}}, {50, 40}}};
    for (const auto& b : blocks) {
        k->render(b.frames, b.events);
        for (const SentMidi& m : k->sentMidi()) EXPECT_EQ(m.block, k->blockNumber());
        EXPECT_EQ(echoes(k), b.echoed) << b.frames;
    }
    k->render(64, {{-5, 0x90, 0, 100}});
    ASSERT_FALSE(k->sentMidi().empty());
    EXPECT_EQ(k->sentMidi()[0].deltaFrames, 0) << "the key at -5 starts its note at the first sample";
    echoes(k);

    std::vector<MidiIn> many;
    for (int i = 0; i < 70; ++i) many.push_back({i, 0xB0, 74, uint8_t(i)});
    k->render(512, many);
    const auto first64 = echoes(k);
    ASSERT_EQ(first64.size(), 64u);
    EXPECT_EQ(first64.back(), 63);

    // A stored list is consumed by one block and replaced by the next list; null is empty.
    k->sendEvents({{0, 0xB0, 74, 1}});
    k->sendEvents({{0, 0xB0, 74, 2}});
    k->render(64);
    k->render(64);
    EXPECT_EQ(echoes(k), (std::vector<int>{2}));
    k->sendEvents({{0, 0xB0, 74, 3}});
    EXPECT_EQ(k->dispatcher(effProcessEvents, 0, 0, nullptr), 1);
    k->render(64);
    EXPECT_TRUE(echoes(k).empty());

    // Not MIDI, though its bytes would read as "controller 7 to 0".
    VstMidiEvent sysex = kelo::makeMidiEvent(0, 0xB0, 7, 0);
    sysex.type = kVstSysExType;
    VstMidiEvent late = kelo::makeMidiEvent(900, 0xB0, 74, 9), early = kelo::makeMidiEvent(0, 0xB0, 74, 8);
    VstEvent* list[] = {reinterpret_cast<VstEvent*>(&late), nullptr, reinterpret_cast<VstEvent*>(&sysex),
                        reinterpret_cast<VstEvent*>(&early)};
    k->sendRawEvents(list, 4);
    k->render(64);
    EXPECT_EQ(late.deltaFrames, 900) << "the host's copy is left as it was";
    EXPECT_FLOAT_EQ(k->getParameter(8), 1.0f);
    EXPECT_EQ(k->sentMidi().size(), 2u);
    EXPECT_EQ(echoes(k), (std::vector<int>{8, 9}));
}

TEST(Audio, AnyBlockShapeIsHandled) {
    Kelo a(kEcho);
    // Nothing to render, but the events are still handled.
    a->render(0, {{0, 0xB0, 74, 5}});
    a->process(-7, nullptr, nullptr);
    EXPECT_EQ(echoes(a), (std::vector<int>{5}));
    // Longer than the render buffer: rendered in pieces, events anywhere in it.
    const Block big = a->render(100000, {{0, 0x90, 0, 100}, {99999, 0xB0, 74, 9}});
    EXPECT_TRUE(big.left == big.right);
    for (float s : big.left) ASSERT_TRUE(std::isfinite(s));
    EXPECT_EQ(echoes(a), (std::vector<int>{9}));
    // A missing output channel is skipped.
    std::vector<float> left(256, 7.0f);
    a->process(256, left.data(), nullptr);
    for (float s : left) ASSERT_NE(s, 7.0f);
}

// Sample positions of the note-ons the sequencer sends while pattern 0 plays for 60 blocks.
// `everyBlock` goes into each block after the first.
std::vector<int64_t> playPattern(Plugin& plugin, int blockSize, const std::vector<MidiIn>& everyBlock = {}) {
    std::vector<int64_t> at;
    plugin.clearLogs();
    const int64_t first = plugin.blockNumber() + 1;
    plugin.render(blockSize, {{0, 0x90, 0, 100}});
    for (int i = 1; i < 60; ++i) plugin.render(blockSize, everyBlock);
    for (const SentMidi& m : plugin.sentMidi())
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) at.push_back((m.block - first) * blockSize + m.deltaFrames);
    return at;
}

TEST(Timing, HostTempoIsFollowedOnlyInSyncMode) {
    Kelo own("MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 0\n");
    Kelo synced("MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 1\n");
    const struct {
        Plugin& plugin;
        bool timeInfo;
        double hostTempo, twoSteps;
    } cases[] = {{own.plugin, true, 240.0, 11025.0},      // 120 BPM of its own
                 {synced.plugin, true, 240.0, 5512.5},    // the host's 240 BPM
                 {synced.plugin, false, 240.0, 5512.5},   // no answer from the host: the last tempo stays
                 {synced.plugin, true, NAN, 5512.5},      // nor from a NaN
                 {synced.plugin, true, INFINITY, 1324.3}, // held to 999 BPM
                 {synced.plugin, true, 1e-3, 2.0 * 44100 * 15}}; // held to 1 BPM
    for (const auto& c : cases) {
        c.plugin.setTempo(c.hostTempo);
        c.plugin.setTimeInfoEnabled(c.timeInfo);
        const auto at = playPattern(c.plugin, c.hostTempo < 1.0 ? 44100 : 512);
        ASSERT_GE(at.size(), 3u) << c.hostTempo;
        EXPECT_NEAR(double(at[2] - at[0]), c.twoSteps, 2.0) << c.hostTempo;
        EXPECT_EQ(c.plugin.callbackCount(audioMasterGetTime), 60);
        EXPECT_EQ(c.plugin.lastTimeFilter(), kVstTempoValid);
    }
}

TEST(Timing, QueuedMidiIsStampedWithItsPositionInTheBlock) {
    Kelo k("MidiOutput = 1\nMidiOutputChannel = 2\n");
    // An event late in every block splits it; notes the sequencer starts before the split
    // must still be stamped where they sound.
    auto at = playPattern(k.plugin, 300, {{250, 0xB0, 74, 0}});
    ASSERT_GE(at.size(), 4u);
    for (size_t i = 1; i < at.size(); ++i) EXPECT_NEAR(double(at[i] - at[0]), 5512.5 * double(i), 1.0) << i;
    for (const SentMidi& m : k->sentMidi()) EXPECT_TRUE(m.deltaFrames >= 0 && m.deltaFrames < 300);
}

TEST(Timing, ABusyBlockSendsEveryNoteOff) {
    // 33 notes in one block: with their releases, twice what the outgoing queue holds.
    Kelo k("MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 1\nClockSync = 1\n");
    k->setTempo(250.0);
    k->render(44100, {{0, 0x90, 0, 100}});
    k->render(64, {{0, 0xB0, 123, 0}}); // the stop ends the last one
    int on = 0, off = 0;
    for (const SentMidi& m : k->sentMidi()) {
        on += m.bytes[0] == 0x90 && m.bytes[2] > 0;
        off += m.bytes[0] == 0x80;
        ASSERT_TRUE(m.type == kVstMidiType && m.byteSize == 32);
    }
    EXPECT_EQ(on, 34);
    EXPECT_EQ(off, on);
}

TEST(Audio, VolumeChangesFadeAcrossTheNextSubBlockDownToSilence) {
    // Note mode: the held note sounds steadily, so a twin instance gives the unfaded signal.
    Kelo k("MidiMode = 1\n"), twin("MidiMode = 1\n");
    for (Kelo* p : {&k, &twin}) {
        (*p)->render(512, {{0, 0x90, 45, 100}});
        for (int i = 0; i < 4; ++i) (*p)->render(512);
    }
    // Each sub-block from the event on ramps linearly from the last gain to the new one.
    auto expectFade = [&](const Block& faded, const Block& plain, float from, float to) {
        for (size_t i = 0; i < 256; ++i) ASSERT_NEAR(faded.left[i], plain.left[i] * from, 1e-6f) << i;
        int checked = 0;
        for (size_t i = 256; i < 512; ++i) {
            if (std::fabs(plain.left[i]) < 1e-2f) continue;
            EXPECT_NEAR(faded.left[i] / plain.left[i], from + (to - from) * float(i - 256) / 256.0f, 1e-3f) << i;
            ++checked;
        }
        EXPECT_GT(checked, 100);
    };
    // Controller 7 at 64 sets Volume to 64/127, a gain of its square.
    const float target = (64.0f / 127.0f) * (64.0f / 127.0f);
    expectFade(k->render(512, {{256, 0xB0, 7, 64}}), twin->render(512), 1.0f, target);
    const Block after = k->render(512), plainAfter = twin->render(512);
    for (size_t i = 0; i < 512; ++i) ASSERT_NEAR(after.left[i], plainAfter.left[i] * target, 1e-5f) << i;
    // At 0 the voice stops working, but not before the ramp has faded it out.
    expectFade(k->render(512, {{256, 0xB0, 7, 0}}), twin->render(512), target, 0.0f);
    const Block silent = k->render(512);
    for (float x : silent.left) ASSERT_EQ(x, 0.0f);
}

} // namespace
