// What a new instance reads from the user's data folder, and what it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "files/CcMapFile.h"
#include "files/PatternFile.h"
#include "sequencer/KeyCommandTable.h"
#include "sequencer/Pattern.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::test::Kelo;

// The live pattern bank, as the state chunk shows it.
kelo::PatternBank bankOf(Kelo& k) {
    void* data = nullptr;
    const VstIntPtr size = k->dispatcher(effGetChunk, 0, 0, &data);
    kelo::PatternBank bank{};
    if (size >= VstIntPtr(8 + sizeof bank) && data) std::memcpy(&bank, static_cast<char*>(data) + 8, sizeof bank);
    return bank;
}

bool allStepsAre(const kelo::PatternBank& bank, uint8_t flags) {
    for (const kelo::Pattern& p : bank.patterns)
        for (const kelo::PatternStep& s : p.steps)
            if (p.triplet() || s.note != 0 || s.flags != flags) return false;
    return true;
}

// Loudest sample while key 0 starts pattern 0 and a second passes.
float patternZeroPeak(Kelo& k) {
    float peak = 0.0f;
    k->render(512, {{0, 0x90, 0, 100}});
    for (int i = 0; i < 86; ++i)
        for (float s : k->render(512).left) peak = std::max(peak, std::fabs(s));
    return peak;
}

TEST(Startup, TheDefaultBankLoadsAndPatternZeroSounds) {
    kelo::PatternBank file{};
    for (kelo::Pattern& p : file.patterns) p.header = 16;
    for (int i = 0; i < 16; ++i) file.patterns[0].steps[i] = {12, uint8_t(kelo::StepGate)};
    file.patterns[7].setStepCount(12);
    file.patterns[7].steps[3] = {5, uint8_t(kelo::StepGate | kelo::StepAccent)};
    const std::map<std::string, std::string> bankFile = {{"DefaultPatternBank.pat", kelo::formatBank(file)}};

    // Without the bank, patterns start empty: gates on unless ClearNotes is off, then silent.
    const struct {
        const char* userIni;
        bool withFile;
        uint8_t cleared;
    } unloaded[] = {{"", false, kelo::StepGate},
                    {"ClearNotes = 0\n", false, 0},
                    {"LoadDefaultBank = 0\n", true, kelo::StepGate},
                    {"LoadDefaultBank = 0\nClearNotes = 0\n", true, 0}};
    for (const auto& c : unloaded) {
        Kelo k(c.userIni, c.withFile ? bankFile : std::map<std::string, std::string>{});
        EXPECT_TRUE(allStepsAre(bankOf(k), c.cleared)) << c.userIni;
        if (c.cleared == 0) {
            EXPECT_LT(patternZeroPeak(k), 0.01f) << c.userIni;
        }
    }

    Kelo k("ClearNotes = 0\n", bankFile);
    const kelo::PatternBank live = bankOf(k);
    EXPECT_EQ(std::memcmp(&live.patterns[7], &file.patterns[7], sizeof file.patterns[7]), 0);
    EXPECT_GT(patternZeroPeak(k), 0.1f);
}

TEST(Startup, ControllerMapFileReplacesTheDefaults) {
    kelo::CcMap map;
    kelo::KeyCommandTable keys;
    kelo::setDefaultCcMap(map);
    kelo::setDefaultKeyCommands(keys);
    kelo::learnController(map, 20, 1); // Cutoff moves from controller 74 to 20
    Kelo k("MidiOutput = 1\nMidiOutputChannel = 0\nMidiTransmitKnobs = 1\n",
           {{"MidiCC.ini", kelo::formatMidiMap(map, keys)}});
    k->setParameter(1, 1.0f);
    ASSERT_EQ(k->sentMidi().size(), 1u);
    EXPECT_EQ(k->sentMidi()[0].bytes[1], 20);
}

TEST(Shutdown, ReleasesNotesAndWritesTheControllerMap) {
    const std::pair<const char*, bool> cases[] = {{"MidiOutput = 1\nMidiOutputChannel = 5\n", true},
                                                  {"MidiOutput = 1\nMidiOutputChannel = -1\n", false},
                                                  {"", false}}; // no data folder yet
    for (const auto& [userIni, release] : cases) {
        Kelo k(userIni);
        k->render(512, {{0, 0x90, 5, 100}}); // a note sounds downstream when the host closes
        k->clearLogs();
        k->close();
        ASSERT_EQ(k->sentMidi().size(), release ? 2u : 0u) << userIni;
        if (release) {
            EXPECT_EQ(0, std::memcmp(k->sentMidi()[0].bytes, "\x85\x24\x00", 3));
            EXPECT_EQ(0, std::memcmp(k->sentMidi()[1].bytes, "\xB5\x7B\x00", 3));
        }
        EXPECT_NE(k.home.read("MidiCC.ini").find("74"), std::string::npos) << userIni;
    }
}

} // namespace
