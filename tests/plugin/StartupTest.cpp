// What a new instance reads from the user's data folder, and what it leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "files/CcMapFile.h"
#include "files/PatternFile.h"
#include "host/Plugin.h"
#include "sequencer/KeyCommandTable.h"
#include "sequencer/Pattern.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::Plugin;
using kelo::host::SentMidi;
using kelo::test::ScratchHome;

// The live pattern bank, as the state chunk shows it.
kelo::PatternBank bankOf(Plugin& plugin) {
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatcher(effGetChunk, 0, 0, &data);
    kelo::PatternBank bank{};
    if (size >= VstIntPtr(8 + sizeof bank) && data) std::memcpy(&bank, static_cast<char*>(data) + 8, sizeof bank);
    return bank;
}

bool allStepsAre(const kelo::PatternBank& bank, uint8_t flags) {
    for (const kelo::Pattern& p : bank.patterns) {
        if (p.triplet()) return false;
        for (const kelo::PatternStep& s : p.steps)
            if (s.note != 0 || s.flags != flags) return false;
    }
    return true;
}

TEST(Startup, PatternsStartEmptyWithGatesByDefault) {
    ScratchHome home;
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    EXPECT_TRUE(allStepsAre(bankOf(plugin), kelo::StepGate));
}

TEST(Startup, PatternsStartSilentWhenClearNotesIsOff) {
    ScratchHome home;
    home.write("User.ini", "ClearNotes = 0\n");
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    EXPECT_TRUE(allStepsAre(bankOf(plugin), 0));
}

TEST(Startup, LoadsTheDefaultBankUnlessSwitchedOff) {
    kelo::PatternBank bank{};
    for (kelo::Pattern& p : bank.patterns) p.header = 16;
    bank.patterns[7].setStepCount(12);
    bank.patterns[7].steps[3] = {5, uint8_t(kelo::StepGate | kelo::StepAccent)};
    const std::string text = kelo::formatBank(bank);

    {
        ScratchHome home;
        home.write("DefaultPatternBank.pat", text);
        Plugin plugin;
        ASSERT_TRUE(plugin.load()) << plugin.error();
        const kelo::PatternBank live = bankOf(plugin);
        EXPECT_EQ(live.patterns[7].stepCount(), 12);
        EXPECT_EQ(live.patterns[7].steps[3].note, 5);
        EXPECT_EQ(live.patterns[7].steps[3].flags, kelo::StepGate | kelo::StepAccent);
    }
    {
        ScratchHome home;
        home.write("DefaultPatternBank.pat", text);
        home.write("User.ini", "LoadDefaultBank = 0\n");
        Plugin plugin;
        ASSERT_TRUE(plugin.load()) << plugin.error();
        EXPECT_TRUE(allStepsAre(bankOf(plugin), kelo::StepGate));
    }
}

TEST(Startup, ControllerMapFileReplacesTheDefaults) {
    ScratchHome home;
    kelo::CcMap map;
    kelo::KeyCommandTable keys;
    kelo::setDefaultCcMap(map);
    kelo::setDefaultKeyCommands(keys);
    kelo::learnController(map, 20, 1); // Cutoff moves from controller 74 to 20
    home.write("MidiCC.ini", kelo::formatMidiMap(map, keys));
    home.write("User.ini", "MidiOutput = 1\nMidiOutputChannel = 0\nMidiTransmitKnobs = 1\n");
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    plugin.clearLogs();
    plugin.setParameter(1, 1.0f);
    ASSERT_EQ(plugin.sentMidi().size(), 1u);
    EXPECT_EQ(plugin.sentMidi()[0].bytes[1], 20);
    plugin.close();
}

TEST(Shutdown, ReleasesNotesOnTheOutputChannelAndWritesTheControllerMap) {
    ScratchHome home;
    home.write("User.ini", "MidiOutput = 1\nMidiOutputChannel = 5\n");
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    plugin.start();
    plugin.clearLogs();
    plugin.close();
    const auto& sent = plugin.sentMidi();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes[0], 0xB5);
    EXPECT_EQ(sent[0].bytes[1], 123);
    EXPECT_EQ(sent[0].bytes[2], 0);
    EXPECT_NE(home.read("MidiCC.ini").find("74"), std::string::npos);
}

TEST(Shutdown, StaysSilentWithoutAnOutputChannel) {
    ScratchHome home;
    home.write("User.ini", "MidiOutput = 1\nMidiOutputChannel = -1\n");
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    plugin.clearLogs();
    plugin.close();
    EXPECT_TRUE(plugin.sentMidi().empty());
}

} // namespace
