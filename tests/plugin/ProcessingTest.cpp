// Block processing through the host: event order and timing, block shapes, host tempo; what a
// new instance reads from the user's data folder, and what it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <tuple>
#include <vector>

#include "files/CcMapFile.h"
#include "plugin/OutgoingMidiQueue.h"
#include "tests/plugin/ScratchHome.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using kelo::host::Block;
using kelo::host::MidiIn;
using kelo::host::Plugin;
using kelo::host::SentMidi;
using kelo::test::Kelo;

bool isFinite(float x) { return std::isfinite(x); }

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

TEST(Events, AreSortedStablyClampedCappedUsedOnceAndOnlyMidiInBlocksOfAnyShape) {
    Kelo k(kEcho);
    const struct {
        int frames;
        std::vector<MidiIn> events;
        std::vector<int> echoed;
    } blocks[] = {{512, {{10, 0xB0, 74, 10}, {5, 0xB0, 74, 20}, {5, 0xB0, 74, 30}}, {20, 30, 10}},
                  {64, {{0, 0xB5, 0x80 | 74, 0xFF}}, {127}}, // channel bits ignored, data bytes masked
                  // Sorted by the offsets as given, then -40 handled at 0 and 100000 at the last frame.
                  {256, {{100000, 0xB0, 74, 1}, {-40, 0xB0, 74, 2}, {255, 0xB0, 74, 3}}, {2, 3, 1}},
                  {64, {{9, 0xB0, 74, 40}, {3, 0xB0, 74, 50}}, {50, 40}},
                  {0, {{0, 0xB0, 74, 5}}, {5}}}; // nothing to render, but the events are handled
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
    std::vector<int> first64;
    for (int i = 0; i < 70; ++i) many.push_back({i, 0xB0, 74, uint8_t(i)});
    for (int i = 0; i < 64; ++i) first64.push_back(i);
    k->render(512, many);
    EXPECT_EQ(echoes(k), first64) << "a block takes its first 64 events";

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
    EXPECT_EQ(k->sentMidi().size(), 2u);
    EXPECT_EQ(echoes(k), (std::vector<int>{8, 9}));

    // Longer than the render buffer: rendered in pieces, events anywhere in it.
    const Block big = k->render(100000, {{0, 0x90, 0, 100}, {99999, 0xB0, 74, 9}});
    EXPECT_TRUE(big.left == big.right && std::all_of(big.left.begin(), big.left.end(), isFinite));
    EXPECT_EQ(echoes(k), (std::vector<int>{9}));
    k->process(-7, nullptr, nullptr);
    std::vector<float> left(256, 7.0f);
    k->process(256, left.data(), nullptr); // a missing output channel is skipped
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](float x) { return x == 7.0f; }));
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
        if (m.bytes[0] >> 4 == 9 && m.bytes[2] > 0) at.push_back((m.block - first) * blockSize + m.deltaFrames);
    return at;
}

TEST(Timing, HostTempoIsFollowedOnlyInSyncModeAndNotesAreStampedWhereTheySound) {
    Kelo own("MidiOutput = 1\nMidiOutputChannel = 2\nSyncMode = 0\n");
    Kelo synced("MidiOutput = 1\nMidiOutputChannel = 0\nSyncMode = 1\n");
    // An event late in every block splits it: notes the sequencer starts before the split must
    // still be stamped where they sound.
    const std::vector<MidiIn> split = {{250, 0xB0, 74, 0}};
    const struct {
        Plugin& plugin;
        bool timeInfo;
        double hostTempo, step;
        int blockSize;
    } cases[] = {{own.plugin, true, 240.0, 5512.5, 300},     // 120 BPM of its own
                 {synced.plugin, true, 240.0, 2756.25, 512}, // the host's 240 BPM
                 {synced.plugin, false, 240.0, 2756.25, 512}, // no answer from the host: the last tempo stays
                 {synced.plugin, true, NAN, 2756.25, 512},    // nor from a NaN
                 {synced.plugin, true, INFINITY, 662.15, 512}, // held to 999 BPM
                 {synced.plugin, true, 1e-3, 44100 * 15, 44100}}; // held to 1 BPM
    for (const auto& c : cases) {
        c.plugin.setTempo(c.hostTempo);
        c.plugin.setTimeInfoEnabled(c.timeInfo);
        const auto at = playPattern(c.plugin, c.blockSize, c.blockSize == 300 ? split : std::vector<MidiIn>{});
        ASSERT_GE(at.size(), 3u) << c.hostTempo;
        for (size_t i = 1; i < at.size(); ++i) EXPECT_NEAR(double(at[i] - at[0]), c.step * double(i), 2.0) << i;
        for (const SentMidi& m : c.plugin.sentMidi()) EXPECT_TRUE(m.deltaFrames >= 0 && m.deltaFrames < c.blockSize);
        EXPECT_EQ(c.plugin.callbackCount(audioMasterGetTime), 60);
        EXPECT_EQ(c.plugin.lastTimeFilter(), kVstTempoValid);
    }
}

TEST(Timing, ABusyBlockAndClosingSendEveryNoteOff) {
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
    // A note that sounds downstream when the host closes is released, then all notes go off.
    k->render(512, {{0, 0x90, 5, 100}});
    k->clearLogs();
    k->close();
    std::string sent;
    for (const SentMidi& m : k->sentMidi()) sent.append(reinterpret_cast<const char*>(m.bytes), 3);
    EXPECT_EQ(sent, std::string("\x80\x24\x00\xB0\x7B\x00", 6));
}

TEST(Audio, VolumeChangesFadeAcrossTheNextSubBlockDownToSilence) {
    // Note mode: the held note sounds steadily, so a twin instance gives the unfaded signal.
    Kelo k("MidiMode = 1\n"), twin("MidiMode = 1\n");
    for (Kelo* p : {&k, &twin}) {
        (*p)->render(512, {{0, 0x90, 45, 100}});
        for (int i = 0; i < 4; ++i) (*p)->render(512);
    }
    // Controller 7 at 64 sets Volume to 64/127, a gain of its square; at 0 the voice stops, but
    // not before the ramp has faded it out. The sub-block from the event on ramps linearly from
    // the old gain, so a one-sample sub-block plays the old gain and the next block the new.
    const float half = (64.0f / 127.0f) * (64.0f / 127.0f);
    for (const auto& [value, at, from, to] : {std::tuple{64, 256, 1.0f, half}, {0, 511, half, 0.0f}}) {
        std::vector<float> faded = k->render(512, {{at, 0xB0, 7, uint8_t(value)}}).left;
        std::vector<float> plain = twin->render(512).left;
        const std::vector<float> after = k->render(512).left, plainAfter = twin->render(512).left;
        faded.insert(faded.end(), after.begin(), after.end());
        plain.insert(plain.end(), plainAfter.begin(), plainAfter.end());
        for (size_t i = 0; i < 1024; ++i) {
            const float ramp = (to - from) * float(i - at) / float(512 - at);
            const float gain = i < size_t(at) ? from : i < 512 ? from + ramp : to;
            ASSERT_NEAR(faded[i], plain[i] * gain, 1e-3f * std::fabs(plain[i]) + 1e-6f) << value << " at " << i;
        }
    }
}

// The user moved Cutoff from controller 74 to 20 and wrote the whole table, as the plug-in does.
std::string usersMap() {
    kelo::CcMap map;
    kelo::KeyCommandTable keys;
    kelo::setDefaultCcMap(map);
    kelo::setDefaultKeyCommands(keys);
    kelo::learnController(map, 20, 1);
    return kelo::formatMidiMap(map, keys);
}

// True when a new instance in the current home has the user's map: controller 20 moves Cutoff.
bool startsWithUsersMap() {
    Plugin p;
    if (!p.load()) return false;
    p.start();
    p.setParameter(1, 0.5f);
    p.render(64, {{0, 0xB0, 20, 0}});
    return p.getParameter(1) == 0.0f;
}

TEST(MidiMapFile, InstancesOpeningAndClosingTogetherKeepTheUsersMap) {
    constexpr int kInstances = 12; // per thread and per process
    kelo::test::ScratchHome home;
    const std::string map = usersMap();
    home.write("MidiCC.ini", map);
    const std::string path = (home.dataFolder() / "MidiCC.ini").string();

    // Two threads of instances, while another program saves the same map again and again.
    std::atomic<bool> stop{false};
    std::atomic<int> lost{0};
    std::thread saver([&] {
        kelo::CcMap m;
        kelo::KeyCommandTable k;
        kelo::setDefaultCcMap(m);
        kelo::parseMidiMap(m, k, map);
        while (!stop) kelo::writeMidiMap(m, k, path);
    });
    auto openAndClose = [&] {
        for (int i = 0; i < kInstances; ++i) lost += !startsWithUsersMap();
    };
    std::thread first(openAndClose), second(openAndClose);
    first.join();
    second.join();
    stop = true;
    saver.join();
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(home.read("MidiCC.ini"), map);

#if !defined(_WIN32)
    // Two processes, as hosts that scan plug-ins in parallel run them.
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            bool kept = true;
            for (int i = 0; i < kInstances; ++i) kept = startsWithUsersMap() && kept;
            _exit(kept ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process started without the user's map";
    }
    EXPECT_EQ(home.read("MidiCC.ini"), map);
#endif
}

} // namespace
