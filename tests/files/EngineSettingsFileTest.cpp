#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "RecordingParameters.h"
#include "TempDir.h"
#include "files/EngineSettingsFile.h"
#include "files/TextScanner.h"

namespace kelo {
namespace {

using test::RecordingParameters;
using test::TempDir;

EngineSettings readFrom(const std::string& text, RecordingParameters* params = nullptr) {
    TempDir dir;
    EngineSettings s;
    EXPECT_TRUE(readEngineSettings(s, dir.write("User.ini", text), params));
    return s;
}

TEST(SettingsScanner, NumbersAndBoundedWords) {
    EXPECT_EQ(parseIntAuto("0x0f"), 15);
    EXPECT_EQ(parseIntAuto("010"), 8);
    EXPECT_EQ(parseIntAuto("08"), 0); // octal stops at 8
    EXPECT_EQ(parseIntAuto("1.5"), 1);
    EXPECT_EQ(parseIntAuto("99999999999999999999"), 2147483647);
    EXPECT_DOUBLE_EQ(parseDecimal("-1.5e2x"), -150.0);
    EXPECT_EQ(parseDecimal("nan"), 0.0);
    EXPECT_EQ(parseDecimal("inf"), 0.0);
    EXPECT_TRUE(std::isfinite(parseDecimal("1e999")));

    // A 10000-character word is split into pieces of at most 79; 127 pieces then "= 5".
    TextScanner sc(std::string(10000, 'k') + " = 5");
    int pairs = 0;
    scanSettings(sc, [&](const std::string& key, const std::string& value) {
        EXPECT_LE(key.size() + value.size(), 158u);
        ++pairs;
    });
    EXPECT_EQ(pairs, 64);
}

TEST(EngineSettingsRead, ClampsBasesAliasesAndOlderForms) {
    EXPECT_EQ(readFrom("accentvelocity = 300\n").accentVelocity, 127);
    EXPECT_EQ(readFrom("AccentVelocity = -5\n").accentVelocity, 0);
    EXPECT_EQ(readFrom("TM6 = 2\n").tm6, 1.0f);
    EXPECT_EQ(readFrom("TM6 = -1\n").tm6, 0.0f);
    EXPECT_EQ(readFrom("MidiOutputChannel = 0x0f\n").midiOutputChannel, 15);
    EXPECT_EQ(readFrom("ClearNotes = 010\n").clearNotes, 8);
    EXPECT_EQ(readFrom("EnvmodKnob = 0x1234\n").envmodKnob, 0x34);
    EXPECT_EQ(readFrom("Highpass = ON\n").highpass, 1);
    EXPECT_EQ(readFrom("Highpass = 1\n").highpass, 0);

    const EngineSettings tm5 = readFrom("TM5 = 3.5\n"); // acts in two groups
    EXPECT_EQ(tm5.vcoGain, 3.5f);
    EXPECT_EQ(tm5.filterTuning, 3);
    const EngineSettings alias = readFrom("FilterLeveling = 1\nvcotuning = 0.75\nLoadKnobPositions = 0\n");
    EXPECT_EQ(alias.vcaLeveling, 1);
    EXPECT_EQ(alias.vcoTuning, 0.75f);
    EXPECT_EQ(alias.loadParameters, 0);

    EngineSettings slope = readFrom("Filterslope = 24\n");
    EXPECT_EQ(slope.filterMode, 0);
    slope = readFrom("FilterMode = 0\nFilterslope = 18\n");
    EXPECT_EQ(slope.filterMode, 1);
    EXPECT_EQ(slope.slopeFlag, 1);
    slope = readFrom("Filterslope = 18\nFilterslope = 2\n");
    EXPECT_EQ(slope.filterMode, 2);
    EXPECT_EQ(slope.slopeFlag, 0);
}

TEST(EngineSettingsRead, TempoAndDefaultVolumeSetNormalisedParameters) {
    RecordingParameters p;
    readFrom("Tempo = 120\nDefaultVolume = 0x40\nTempo = 400\nDefaultVolume = -3\n", &p);
    ASSERT_EQ(p.writes.size(), 4u);
    EXPECT_EQ(p.writes[0].index, 9);
    EXPECT_FLOAT_EQ(p.writes[0].value, 95.0f / 225.0f);
    EXPECT_EQ(p.writes[1].index, 8);
    EXPECT_FLOAT_EQ(p.writes[1].value, 64.0f / 127.0f);
    EXPECT_EQ(p.writes[2].value, 1.0f);
    EXPECT_EQ(p.writes[3].value, 0.0f);
}

TEST(EngineSettingsRead, WordScannerSyntax) {
    EngineSettings s = readFrom("; AccentVelocity = 5\n  \t\r\nTM2 = 9\nMidiMode\n=\n1\nCapNotes = 1");
    EXPECT_EQ(s.accentVelocity, 100);
    EXPECT_EQ(s.midiMode, 1);
    EXPECT_EQ(s.capNotes, 1);

    // "SyncMode=1" is one word: it pairs with "ClockSync", then "=" with "1".
    s = readFrom("SyncMode=1\nClockSync = 1\nEggs = 0\n");
    EXPECT_EQ(s.syncMode, 0);
    EXPECT_EQ(s.clockSync, 0);
    EXPECT_EQ(s.eggs, 0);

    // Not a number gives 0; a key without a value at the end changes nothing.
    s = readFrom("ActiveClocks = lots\nVcaDecay = none\nAccentVelocity =");
    EXPECT_EQ(s.activeClocks, 0);
    EXPECT_EQ(s.vcaDecay, 0.0f);
    EXPECT_EQ(s.accentVelocity, 100);
}

TEST(EngineSettingsFiles, UserOverridesConfigAndMissingFilesChangeNothing) {
    TempDir dir;
    dir.write("Config.ini", "AccentVelocity = 90\nMidiMode = 1\nMidiTransmitKnobs = -4\n");
    dir.write("User.ini", "accentvelocity = 80\n");
    EngineSettings s;
    loadEngineSettingsFiles(s, dir.folder(), nullptr);
    EXPECT_EQ(s.accentVelocity, 80);
    EXPECT_EQ(s.midiMode, 1);
    EXPECT_EQ(s.midiTransmitKnobs, 0);

    EngineSettings untouched;
    EXPECT_TRUE(readEngineSettings(untouched, dir.file("Missing.ini"), nullptr));
    EXPECT_EQ(formatEngineSettings(untouched), formatEngineSettings(EngineSettings{}));
    EXPECT_EQ(untouched.tm6, 0.25f);
    EXPECT_FALSE(writeEngineSettings(s, dir.file("no/such/folder/Config.ini")));
}

TEST(EngineSettingsFiles, WriterLinesAndRoundTrip) {
    TempDir dir;
    const std::string path = dir.file("Config.ini");
    ASSERT_TRUE(writeEngineSettings(EngineSettings{}, path));
    EXPECT_EQ(test::readText(path),
              "; KELO Configuration\nFilterMode = 1\nVCALeveling = 0\nVCANoise = 1\n"
              "VcoGain = 2.000000\nVcoTuning = 0.500000\nTM6 = 0.250000\nTM3 = 0.500000\n"
              "SyncMode = 0\nMidiMode = 0\nTuningMode = 0\nClearNotes = 1\nProgrammingMode = 0\n"
              "AccentVelocity = 100\nActiveClocks = 88200\nGuiKnobMode = 2\nMidiOutput = 0\n"
              "MidiOutputChannel = -1\nLoadParameters = 1\nLoadDefaultBank = 1\n"
              "OutputClipping = 0\nMidiTransmitKnobs = 0\nMidiKeyProgramming = 0\n");

    EngineSettings s;
    int32_t* ints[] = {&s.filterMode, &s.vcaLeveling, &s.vcaNoise, &s.syncMode, &s.midiMode,
                       &s.tuningMode, &s.clearNotes, &s.programmingMode, &s.accentVelocity,
                       &s.activeClocks, &s.guiKnobMode, &s.midiOutput, &s.midiOutputChannel,
                       &s.loadParameters, &s.loadDefaultBank, &s.outputClipping,
                       &s.midiTransmitKnobs, &s.midiKeyProgramming};
    for (int i = 0; i < 18; ++i) *ints[i] = 3 + i;
    s.vcoGain = 2.718281f;
    s.vcoTuning = 0.123456f;
    s.tm6 = 0.9f;
    s.tm3 = 0.1f;
    ASSERT_TRUE(writeEngineSettings(s, path));
    EngineSettings back;
    ASSERT_TRUE(readEngineSettings(back, path, nullptr));
    EXPECT_EQ(formatEngineSettings(back), formatEngineSettings(s));
    EXPECT_NEAR(back.vcoTuning, 0.123456f, 1e-6);
}

TEST(EngineSettingsFiles, CorruptFilesKeepClampedFieldsInRange) {
    const std::string good = formatEngineSettings(EngineSettings{}) + "Tempo = 120\nHighpass = On\n";
    static const char kAlphabet[] = "=; \t\r\n0x-.e9AaTM6ccentVelocity\0\xff";
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::string text = good.substr(0, rng() % good.size());
        if (round % 2) {
            for (int k = 0; k < 200; ++k) text += kAlphabet[rng() % (sizeof kAlphabet - 1)];
            text += "TM6 = 1e999 AccentVelocity = 0xFFFFFFFFFF TM3 = nan";
        }
        RecordingParameters p;
        const EngineSettings s = readFrom(text, &p);
        ASSERT_TRUE(s.accentVelocity >= 0 && s.accentVelocity <= 127);
        ASSERT_TRUE(s.tm6 >= 0.0f && s.tm6 <= 1.0f && s.tm3 >= 0.0f && s.tm3 <= 1.0f);
        ASSERT_TRUE(std::isfinite(s.vcoGain) && std::isfinite(s.tripletScale));
        for (const auto& w : p.writes) ASSERT_TRUE(w.value >= 0.0f && w.value <= 1.0f);
    }
}

} // namespace
} // namespace kelo
