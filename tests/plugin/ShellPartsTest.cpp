// The shell's small pieces, tested directly: event store, outgoing queue, volume ramp, and an
// instance built in-process for what a host cannot observe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/EventStore.h"
#include "plugin/OutgoingMidiQueue.h"
#include "plugin/Vez303.h"
#include "plugin/VolumeRamp.h"
#include "tests/plugin/ScratchHome.h"
#include "vst/AudioEffect.h"

namespace {

using namespace kelo;

VstEvent midi(int offset, int tag) {
    VstMidiEvent m = makeMidiEvent(offset, 0xB0, tag, 0);
    VstEvent e;
    std::memcpy(&e, &m, sizeof e);
    return e;
}

struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[100];
};

std::vector<int> tags(const EventStore& s) {
    std::vector<int> v;
    for (int i = 0; i < s.count(); ++i) v.push_back(reinterpret_cast<const VstMidiEvent&>(s.at(i)).midiData[1]);
    return v;
}

TEST(EventStoreTest, SortsStablyByOffsetAndSkipsNullEntries) {
    VstEvent e[5] = {midi(10, 1), midi(5, 2), midi(5, 3), midi(0, 4), midi(5, 5)};
    EventList list{};
    list.numEvents = 6;
    list.events[0] = &e[0];
    list.events[1] = &e[1];
    list.events[2] = &e[2];
    list.events[3] = nullptr;
    list.events[4] = &e[3];
    list.events[5] = &e[4];
    EventStore store;
    store.store(reinterpret_cast<VstEvents*>(&list));
    EXPECT_EQ(tags(store), (std::vector<int>{4, 2, 3, 5, 1}));
    // The host's copies are not touched.
    EXPECT_EQ(e[0].deltaFrames, 10);
}

TEST(OutgoingQueueTest, DropsOverflowAndEmptiesOnFlush) {
    OutgoingMidiQueue q;
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(q.push(i, 0x90, i, 100));
    EXPECT_FALSE(q.push(99, 0x90, 1, 1));
    std::vector<int> seen;
    q.flush([&](VstEvents* list) {
        for (int i = 0; i < list->numEvents; ++i) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            EXPECT_EQ(m->type, kVstMidiType);
            EXPECT_EQ(m->byteSize, 32);
            seen.push_back(m->deltaFrames);
        }
    });
    ASSERT_EQ(seen.size(), 64u);
    EXPECT_EQ(seen.back(), 63);
    EXPECT_EQ(q.count(), 0);
    int calls = 0;
    q.flush([&](VstEvents*) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(VolumeRampTest, GlidesAcrossEachSubBlock) {
    VolumeRamp ramp;
    float s[4] = {1, 1, 1, 1};
    ramp.begin(0.0f, 4);
    ramp.apply(s, 4);
    ramp.end();
    EXPECT_FLOAT_EQ(s[0], 1.0f);
    EXPECT_FLOAT_EQ(s[1], 0.75f);
    EXPECT_FLOAT_EQ(s[2], 0.5f);
    EXPECT_FLOAT_EQ(s[3], 0.25f);
    EXPECT_EQ(ramp.gain(), 0.0f);

    // Even a one-sample sub-block does not jump: it plays the old gain and lands on the new.
    float one = 1.0f;
    ramp.begin(1.0f, 1);
    ramp.apply(&one, 1);
    ramp.end();
    EXPECT_EQ(one, 0.0f);
    EXPECT_EQ(ramp.gain(), 1.0f);

    // A sub-block arriving in pieces ramps as one.
    float a[2] = {1, 1}, b[2] = {1, 1};
    ramp.begin(0.0f, 4);
    ramp.apply(a, 2);
    ramp.apply(b, 2);
    ramp.end();
    EXPECT_FLOAT_EQ(b[0], 0.5f);
    EXPECT_FLOAT_EQ(b[1], 0.25f);
}

// ------------------------------------------------------------------------------ in-process

struct Calls {
    std::vector<std::pair<VstInt32, float>> automate;
    std::vector<std::vector<uint8_t>> midi;
};
Calls* calls = nullptr;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (!calls) return 0;
    if (opcode == audioMasterAutomate) calls->automate.push_back({index, opt});
    if (opcode == audioMasterProcessEvents) {
        const auto* list = static_cast<const VstEvents*>(ptr);
        for (int i = 0; i < list->numEvents; ++i) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            calls->midi.push_back({uint8_t(m->midiData[0]), uint8_t(m->midiData[1]), uint8_t(m->midiData[2])});
        }
        return 1;
    }
    return 0;
}

TEST(InstanceTest, AutomatedChangesReachTheHost) {
    test::ScratchHome home;
    Calls seen;
    calls = &seen;
    {
        Vez303 plugin(recordingHost);
        plugin.setParameterAutomated(kCutoff, 0.75f);
        EXPECT_FLOAT_EQ(plugin.getParameter(kCutoff), 0.75f);
    }
    calls = nullptr;
    ASSERT_EQ(seen.automate.size(), 1u);
    EXPECT_EQ(seen.automate[0].first, kCutoff);
    EXPECT_FLOAT_EQ(seen.automate[0].second, 0.75f);
}

TEST(InstanceTest, ShutdownReleasesNotesAndSavesTheControllerMap) {
    test::ScratchHome home;
    home.write("User.ini", "MidiOutput = 1\nMidiOutputChannel = 9\n");
    Calls seen;
    calls = &seen;
    {
        Vez303 plugin(recordingHost);
        EXPECT_EQ(plugin.dataFolder().empty(), false);
    }
    calls = nullptr;
    ASSERT_EQ(seen.midi.size(), 1u);
    EXPECT_EQ(seen.midi[0], (std::vector<uint8_t>{0xB9, 123, 0}));
    EXPECT_FALSE(home.read("MidiCC.ini").empty());
}

TEST(InstanceTest, ShutdownCreatesAMissingDataFolder) {
    test::ScratchHome home;
    { Vez303 plugin(recordingHost); }
    EXPECT_FALSE(home.read("MidiCC.ini").empty());
}

TEST(InstanceTest, KeepsTheLastUsableSampleRate) {
    test::ScratchHome home;
    Vez303 plugin(recordingHost);
    plugin.setSampleRate(48000.0f);
    for (float rate : {0.0f, -48000.0f, std::nanf(""), INFINITY}) {
        plugin.setSampleRate(rate);
        EXPECT_EQ(plugin.sampleRate(), 48000.0) << rate;
        EXPECT_EQ(plugin.getSampleRate(), 48000.0f) << rate;
    }
    // The sequencer derives its step length from it.
    plugin.sequencer().setTempo(120.0);
    EXPECT_DOUBLE_EQ(plugin.sequencer().state.samplesPerStep, 6000.0);
}

TEST(InstanceTest, ListsPatternFilesInTheDataFolder) {
    test::ScratchHome home;
    Vez303 plugin(recordingHost);
    const std::string sep(1, platform::pathSeparator());
    EXPECT_EQ(plugin.patternSearchMask(), plugin.dataFolder() + "Patterns" + sep + "*.pat");
    EXPECT_EQ(plugin.patternSearchMask().find(sep == "/" ? '\\' : '/'), std::string::npos);
}

} // namespace
