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

TEST(SettingsScanner, IntegersUseBaseDetectionAndStopAtFirstNonFittingCharacter) {
    EXPECT_EQ(parseIntAuto("0x0f"), 15);
    EXPECT_EQ(parseIntAuto("0X1F"), 31);
    EXPECT_EQ(parseIntAuto("010"), 8);
    EXPECT_EQ(parseIntAuto("08"), 0); // octal stops at 8
    EXPECT_EQ(parseIntAuto("1.5"), 1);
    EXPECT_EQ(parseIntAuto("-5"), -5);
    EXPECT_EQ(parseIntAuto("12abc"), 12);
    EXPECT_EQ(parseIntAuto("On"), 0);
    EXPECT_EQ(parseIntAuto("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseIntAuto("-99999999999"), -2147483647 - 1);
}

TEST(SettingsScanner, DecimalsAcceptOnlyPlainNumbersAndStayFinite) {
    EXPECT_DOUBLE_EQ(parseDecimal("0.25"), 0.25);
    EXPECT_DOUBLE_EQ(parseDecimal("-1.5e2x"), -150.0);
    EXPECT_DOUBLE_EQ(parseDecimal(".5"), 0.5);
    EXPECT_DOUBLE_EQ(parseDecimal("3e"), 3.0);
    EXPECT_EQ(parseDecimal("nan"), 0.0);
    EXPECT_EQ(parseDecimal("inf"), 0.0);
    EXPECT_EQ(parseDecimal("0x10"), 0.0); // hexadecimal floats are not decimal: the 0 before x
    EXPECT_EQ(parseDecimal("abc"), 0.0);
    EXPECT_TRUE(std::isfinite(parseDecimal("1e999")));
    EXPECT_EQ(parseDecimal("1e-999"), 0.0);
    EXPECT_EQ(toFloat(1e300), 3.40282347e38f);
    EXPECT_EQ(formatFixed6(2.0), "2.000000");
    EXPECT_EQ(formatFixed6(0.1234567), "0.123457");
}

TEST(SettingsScanner, LongWordsAreSplitIntoBoundedPieces) {
    TextScanner sc(std::string(10000, 'k') + " = 5");
    int pairs = 0;
    scanSettings(sc, [&](const std::string& key, const std::string& value) {
        EXPECT_LE(key.size(), 79u);
        EXPECT_LE(value.size(), 79u);
        ++pairs;
    });
    // 10000 characters become 127 words of at most 79, then "=" and "5" pair up.
    EXPECT_EQ(pairs, 64);
}

TEST(EngineSettingsRead, ClampsAccentVelocityAndTrims) {
    EXPECT_EQ(readFrom("accentvelocity = 300\n").accentVelocity, 127);
    EXPECT_EQ(readFrom("AccentVelocity = -5\n").accentVelocity, 0);
    EXPECT_EQ(readFrom("TM6 = 2\n").tm6, 1.0f);
    EXPECT_EQ(readFrom("TM6 = -1\n").tm6, 0.0f);
    EXPECT_EQ(readFrom("TM3 = 7.5\nTM4 = 4.1\n").tm3, 1.0f);
    EXPECT_EQ(readFrom("TM3 = -0.5\n").tm3, 0.0f);
}

TEST(EngineSettingsRead, IntegersWithBaseDetection) {
    const EngineSettings s = readFrom("MidiOutputChannel = 0x0f\nClearNotes = 010\nActiveClocks = 1.5\n");
    EXPECT_EQ(s.midiOutputChannel, 15);
    EXPECT_EQ(s.clearNotes, 8);
    EXPECT_EQ(s.activeClocks, 1);
    EXPECT_EQ(readFrom("EnvmodKnob = 0x1234\n").envmodKnob, 0x34);
}

TEST(EngineSettingsRead, AliasesAndKeysActingInSeveralGroups) {
    EngineSettings s = readFrom("TM5 = 3.5\n");
    EXPECT_EQ(s.vcoGain, 3.5f);
    EXPECT_EQ(s.filterTuning, 3); // TM5 also sets the field FilterTuning names

    s = readFrom("FilterTuning = 9\n");
    EXPECT_EQ(s.filterTuning, 9);
    EXPECT_EQ(s.vcoGain, 2.0f);

    s = readFrom("FilterLeveling = 1\nvcotuning = 0.75\nLoadKnobPositions = 0\n");
    EXPECT_EQ(s.vcaLeveling, 1);
    EXPECT_EQ(s.vcoTuning, 0.75f);
    EXPECT_EQ(s.loadParameters, 0);
}

TEST(EngineSettingsRead, EveryKeyReachesItsField) {
    const EngineSettings s = readFrom(
        "FilterMode = 2\nVCANoise = 0\nVcoGain = 1.5\nTuningMode = 1\nSyncMode = 1\n"
        "MidiMode = 2\nFirststep = 0\nProgrammingMode = 1\nGuiKnobMode = 3\nEggs = 0\n"
        "RelativeTuning = 1.0\nEmulationMode = 4\nSmoothSpeed = 0.01\nMidiOutput = 1\n"
        "ResonanceKnob = 5\nClockSync = 1\nTripletScale = 0.5\nCapNotes = 1\nVcaDecay = 2.5\n"
        "LoadDefaultBank = 0\nOutputClipping = 1\nAntiLogVolume = 6\nCutoffKnob = 7\n"
        "ResetOscillator = 1\nMidiTransmitKnobs = 1\nMidiKeyProgramming = 1\n");
    EXPECT_EQ(s.filterMode, 2);
    EXPECT_EQ(s.vcaNoise, 0);
    EXPECT_EQ(s.vcoGain, 1.5f);
    EXPECT_EQ(s.tuningMode, 1);
    EXPECT_EQ(s.syncMode, 1);
    EXPECT_EQ(s.midiMode, 2);
    EXPECT_EQ(s.firstStep, 0);
    EXPECT_EQ(s.programmingMode, 1);
    EXPECT_EQ(s.guiKnobMode, 3);
    EXPECT_EQ(s.eggs, 0);
    EXPECT_EQ(s.relativeTuning, 1.0f);
    EXPECT_EQ(s.emulationMode, 4);
    EXPECT_EQ(s.smoothSpeed, 0.01f);
    EXPECT_EQ(s.midiOutput, 1);
    EXPECT_EQ(s.resonanceKnob, 5);
    EXPECT_EQ(s.clockSync, 1);
    EXPECT_EQ(s.tripletScale, 0.5);
    EXPECT_EQ(s.capNotes, 1);
    EXPECT_EQ(s.vcaDecay, 2.5f);
    EXPECT_EQ(s.loadDefaultBank, 0);
    EXPECT_EQ(s.outputClipping, 1);
    EXPECT_EQ(s.antiLogVolume, 6);
    EXPECT_EQ(s.cutoffKnob, 7);
    EXPECT_EQ(s.resetOscillator, 1);
    EXPECT_EQ(s.midiTransmitKnobs, 1);
    EXPECT_EQ(s.midiKeyProgramming, 1);
}

TEST(EngineSettingsRead, HighpassNeedsTheWordOn) {
    EXPECT_EQ(readFrom("Highpass = ON\n").highpass, 1);
    EXPECT_EQ(readFrom("Highpass = oN\n").highpass, 1);
    EngineSettings s;
    s.highpass = 1;
    TempDir dir;
    readEngineSettings(s, dir.write("a.ini", "Highpass = 1\n"), nullptr);
    EXPECT_EQ(s.highpass, 0);
}

TEST(EngineSettingsRead, FilterslopeOlderForm) {
    EngineSettings s = readFrom("Filterslope = 24\n");
    EXPECT_EQ(s.filterMode, 0);
    EXPECT_EQ(s.slopeFlag, 0);
    s = readFrom("FilterMode = 0\nFilterslope = 18\n");
    EXPECT_EQ(s.filterMode, 1);
    EXPECT_EQ(s.slopeFlag, 1);
    s = readFrom("Filterslope = 18\nFilterslope = 2\n");
    EXPECT_EQ(s.filterMode, 2);
    EXPECT_EQ(s.slopeFlag, 0);
}

TEST(EngineSettingsRead, TempoAndDefaultVolumeSetParameters) {
    RecordingParameters p;
    readFrom("Tempo = 120\nDefaultVolume = 0x40\n", &p);
    ASSERT_EQ(p.writes.size(), 2u);
    EXPECT_EQ(p.writes[0].index, 9);
    EXPECT_FLOAT_EQ(p.writes[0].value, 95.0f / 225.0f);
    EXPECT_EQ(p.writes[1].index, 8);
    EXPECT_FLOAT_EQ(p.writes[1].value, 64.0f / 127.0f);

    // Normalised values never leave 0..1.
    RecordingParameters q;
    readFrom("Tempo = 400\nDefaultVolume = -3\n", &q);
    ASSERT_EQ(q.writes.size(), 2u);
    EXPECT_EQ(q.writes[0].value, 1.0f);
    EXPECT_EQ(q.writes[1].value, 0.0f);

    // Without a parameter sink the keys are harmless.
    EXPECT_EQ(readFrom("Tempo = 130\n").accentVelocity, 100);
}

TEST(EngineSettingsRead, ScannerSyntax) {
    // Comments, keys and values split over lines, unknown and retired keys.
    EngineSettings s = readFrom(
        "; AccentVelocity = 5\n"
        "  \t\r\nTM2 = 9\nPatternDir = C:\\x\nMidiMode\n=\n1\nUnknownKey = 3\nCapNotes = 1");
    EXPECT_EQ(s.accentVelocity, 100);
    EXPECT_EQ(s.midiMode, 1);
    EXPECT_EQ(s.capNotes, 1);

    // A key joined to its value is one word and misaligns the next read: "SyncMode=1"
    // pairs with "ClockSync", then "=" with "1".
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

TEST(EngineSettingsRead, UserFileOverridesConfigAndMissingFilesChangeNothing) {
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
    const EngineSettings defaults;
    EXPECT_EQ(formatEngineSettings(untouched), formatEngineSettings(defaults));
    EXPECT_EQ(untouched.tm6, 0.25f);
}

TEST(EngineSettingsWrite, ExactLinesAndRoundTrip) {
    TempDir dir;
    EngineSettings s;
    const std::string path = dir.file("Config.ini");
    ASSERT_TRUE(writeEngineSettings(s, path));
    EXPECT_EQ(test::readText(path),
              "; KELO Configuration\nFilterMode = 1\nVCALeveling = 0\nVCANoise = 1\n"
              "VcoGain = 2.000000\nVcoTuning = 0.500000\nTM6 = 0.250000\nTM3 = 0.500000\n"
              "SyncMode = 0\nMidiMode = 0\nTuningMode = 0\nClearNotes = 1\nProgrammingMode = 0\n"
              "AccentVelocity = 100\nActiveClocks = 88200\nGuiKnobMode = 2\nMidiOutput = 0\n"
              "MidiOutputChannel = -1\nLoadParameters = 1\nLoadDefaultBank = 1\n"
              "OutputClipping = 0\nMidiTransmitKnobs = 0\nMidiKeyProgramming = 0\n");

    s.filterMode = 2;
    s.vcaLeveling = 1;
    s.vcaNoise = 0;
    s.vcoGain = 2.718281f;
    s.vcoTuning = 0.123456f;
    s.tm6 = 0.9f;
    s.tm3 = 0.1f;
    s.syncMode = 1;
    s.midiMode = 2;
    s.tuningMode = 1;
    s.clearNotes = 0;
    s.programmingMode = 1;
    s.accentVelocity = 64;
    s.activeClocks = 44100;
    s.guiKnobMode = 0;
    s.midiOutput = 1;
    s.midiOutputChannel = 9;
    s.loadParameters = 0;
    s.loadDefaultBank = 0;
    s.outputClipping = 1;
    s.midiTransmitKnobs = 1;
    s.midiKeyProgramming = 1;
    ASSERT_TRUE(writeEngineSettings(s, path));
    EngineSettings back;
    ASSERT_TRUE(readEngineSettings(back, path, nullptr));
    EXPECT_EQ(formatEngineSettings(back), formatEngineSettings(s));
    EXPECT_NEAR(back.vcoGain, 2.718281f, 1e-6);
    EXPECT_NEAR(back.vcoTuning, 0.123456f, 1e-6);
}

TEST(EngineSettingsWrite, UncreatableFileIsReportedAsFailure) {
    TempDir dir;
    EXPECT_FALSE(writeEngineSettings(EngineSettings{}, dir.file("no/such/folder/Config.ini")));
}

TEST(EngineSettingsReset, RestoresResetValuesAndKeepsTheRest) {
    EngineSettings s = readFrom(
        "VcoGain = 5\nTM6 = 0.7\nFilterslope = 18\nHighpass = on\nAccentVelocity = 3\n"
        "MidiOutputChannel = 4\nCapNotes = 1\nSmoothSpeed = 0.5\nMidiTransmitKnobs = 1\n");
    resetEngineSettings(s);
    EXPECT_EQ(s.vcoGain, 2.0f);
    EXPECT_EQ(s.tm6, 0.0f);
    EXPECT_EQ(s.filterMode, 1);
    EXPECT_EQ(s.slopeFlag, 0);
    EXPECT_EQ(s.highpass, 0);
    EXPECT_EQ(s.accentVelocity, 100);
    EXPECT_EQ(s.midiOutputChannel, -1);
    // Not part of Reset.
    EXPECT_EQ(s.capNotes, 1);
    EXPECT_EQ(s.smoothSpeed, 0.5f);
    EXPECT_EQ(s.midiTransmitKnobs, 1);
}

TEST(EngineSettingsRead, CorruptFilesNeverCrashAndKeepClampedFieldsInRange) {
    EngineSettings reference;
    const std::string good = formatEngineSettings(reference) + "Tempo = 120\nHighpass = On\n";
    std::mt19937 rng(1234);
    static const char kAlphabet[] = "=; \t\r\n0x-.e9AaTM6ccentVelocity\0\xff";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        if (round % 3 == 0) {
            text = good.substr(0, rng() % good.size()); // truncated
        } else if (round % 3 == 1) {
            text = good;
            for (int k = 0; k < 20; ++k) text[rng() % text.size()] = char(rng() % 256); // damaged
        } else {
            const std::size_t n = rng() % 400;
            for (std::size_t k = 0; k < n; ++k) text += alphabet[rng() % alphabet.size()];
            text += "TM6 = 1e999 AccentVelocity = 0xFFFFFFFFFF TM3 = nan";
        }
        RecordingParameters p;
        const EngineSettings s = readFrom(text, &p);
        EXPECT_GE(s.accentVelocity, 0);
        EXPECT_LE(s.accentVelocity, 127);
        EXPECT_GE(s.tm6, 0.0f);
        EXPECT_LE(s.tm6, 1.0f);
        EXPECT_GE(s.tm3, 0.0f);
        EXPECT_LE(s.tm3, 1.0f);
        EXPECT_TRUE(std::isfinite(s.vcoGain) && std::isfinite(s.tripletScale));
        for (const auto& w : p.writes) {
            EXPECT_GE(w.value, 0.0f);
            EXPECT_LE(w.value, 1.0f);
        }
    }
}

} // namespace
} // namespace kelo
