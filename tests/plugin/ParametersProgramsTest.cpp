// Parameter slots, their texts, the programs, and knob moves echoed as MIDI controllers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/Plugin.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::Plugin;
using kelo::host::SentMidi;
using kelo::test::ScratchHome;

class Parameters : public ::testing::Test {
protected:
    void load(const std::string& userIni = "") {
        if (!userIni.empty()) home.write("User.ini", userIni);
        ASSERT_TRUE(plugin.load()) << plugin.error();
        plugin.start();
        plugin.clearLogs();
    }
    ScratchHome home;
    Plugin plugin;
};

constexpr const char* kKnobsOut = "MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n";

TEST_F(Parameters, StartWithTheTableDefaults) {
    load();
    const float expected[13] = {0.5f, 0.5f, 0.0f, 0.1f, 0.1f, 0.0f, 0.25f, 0.0f, 1.0f, 0.42222222f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 13; ++i) EXPECT_FLOAT_EQ(plugin.getParameter(i), expected[i]) << i;
    // Editor slots: two with their own defaults, the rest 1.0; beyond the slots 0.
    EXPECT_FLOAT_EQ(plugin.getParameter(18), 0.5f);
    EXPECT_FLOAT_EQ(plugin.getParameter(33), 0.25f);
    EXPECT_FLOAT_EQ(plugin.getParameter(13), 1.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(255), 1.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(256), 0.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(-1), 0.0f);
}

TEST_F(Parameters, SettingsFilesCanSetTempoAndVolume) {
    load("Tempo = 250\nDefaultVolume = 0\n");
    EXPECT_FLOAT_EQ(plugin.getParameter(9), 1.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(8), 0.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(0), 0.5f);
}

TEST_F(Parameters, HaveNamesAndASpaceAsLabel) {
    load();
    const char* names[13] = {"Tune",   "Cutoff",     "Resonance", "Envmod", "Decay",           "Accent",         "Drive",
                             "Distortion", "Volume", "",         "Waveform", "Distortion Type", "Highpass Filter"};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(plugin.parameterName(i), names[i]) << i;
    for (int i : {13, 255, 256, -1}) EXPECT_EQ(plugin.parameterName(i), "") << i;
    for (int i : {0, 9, 12, 13, 300, -5}) EXPECT_EQ(plugin.parameterLabel(i), " ") << i;
}

TEST_F(Parameters, DisplayPercentagesAndSwitchWords) {
    load();
    EXPECT_EQ(plugin.parameterDisplay(0), "50.0%");
    plugin.setParameter(0, 0.123f);
    EXPECT_EQ(plugin.parameterDisplay(0), "12.3%");
    plugin.setParameter(8, 1.0f);
    EXPECT_EQ(plugin.parameterDisplay(8), "100.0%");
    plugin.setParameter(2, 0.0f);
    EXPECT_EQ(plugin.parameterDisplay(2), "0.0%");
    EXPECT_EQ(plugin.parameterDisplay(9), "N/A");

    const struct {
        int index;
        float value;
        const char* text;
    } switches[] = {{10, 0.5f, "Square"},   {10, 0.49f, "Sawtooth"}, {11, 0.5f, "Foldback"},
                    {11, 0.49f, "Saturate"}, {12, 0.5f, "Off"},       {12, 0.51f, "On"}};
    for (const auto& s : switches) {
        plugin.setParameter(s.index, s.value);
        EXPECT_EQ(plugin.parameterDisplay(s.index), s.text) << s.index << " at " << s.value;
    }
    // Outside the table the slot's value shows as a percentage.
    plugin.setParameter(20, 0.25f);
    EXPECT_EQ(plugin.parameterDisplay(20), "25.0%");
    EXPECT_EQ(plugin.parameterDisplay(300), "0.0%");
}

TEST_F(Parameters, DisplayNeverOverrunsAShortHostBuffer) {
    load();
    plugin.setParameter(0, 1e30f);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    plugin.dispatcher(effGetParamDisplay, 0, 0, buffer);
    const size_t len = strnlen(buffer, sizeof buffer);
    EXPECT_LT(len, 32u);
    for (size_t i = 32; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'x') << i;
}

TEST_F(Parameters, OutOfRangeIndexesAreIgnored) {
    load();
    plugin.setParameter(256, 0.7f);
    plugin.setParameter(-1, 0.7f);
    plugin.setParameter(-1000000, 0.7f);
    EXPECT_FLOAT_EQ(plugin.getParameter(256), 0.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(255), 1.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(0), 0.5f);
}

// ------------------------------------------------------------------------------ programs

std::string indexedName(Plugin& plugin, int index, VstIntPtr* answer = nullptr) {
    char name[64] = "untouched";
    const VstIntPtr a = plugin.dispatcher(effGetProgramNameIndexed, index, 0, name);
    if (answer) *answer = a;
    return name;
}

TEST_F(Parameters, ProgramNumbersAreClamped) {
    load();
    EXPECT_EQ(plugin.dispatcher(effGetProgram), 0);
    plugin.dispatcher(effSetProgram, 0, 7);
    EXPECT_EQ(plugin.dispatcher(effGetProgram), 7);
    plugin.dispatcher(effSetProgram, 0, 20);
    EXPECT_EQ(plugin.dispatcher(effGetProgram), 15);
    plugin.dispatcher(effSetProgram, 0, -1);
    EXPECT_EQ(plugin.dispatcher(effGetProgram), 0);
}

TEST_F(Parameters, ProgramNamesAreKeptPerSlotAndCutToFit) {
    load();
    VstIntPtr answer = 0;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(indexedName(plugin, i, &answer), "Default") << i;
        EXPECT_EQ(answer, 1);
    }
    for (int i : {16, 17, -1}) {
        EXPECT_EQ(indexedName(plugin, i, &answer), "untouched") << i;
        EXPECT_EQ(answer, 0);
    }

    plugin.dispatcher(effSetProgram, 0, 3);
    char name[] = "A very long program name that does not fit";
    plugin.dispatcher(effSetProgramName, 0, 0, name);
    EXPECT_EQ(plugin.programName(), std::string(name, 23));
    EXPECT_EQ(indexedName(plugin, 3), std::string(name, 23));
    EXPECT_EQ(indexedName(plugin, 2), "Default");

    plugin.dispatcher(effSetProgram, 0, 4);
    EXPECT_EQ(plugin.programName(), "Default");
}

TEST_F(Parameters, CopyProgramCopiesTheCurrentRecord) {
    load();
    plugin.dispatcher(effSetProgram, 0, 1);
    char name[] = "Squelch";
    plugin.dispatcher(effSetProgramName, 0, 0, name);
    EXPECT_EQ(plugin.dispatcher(effCopyProgram, 9), 1);
    EXPECT_EQ(indexedName(plugin, 9), "Squelch");
    EXPECT_EQ(plugin.dispatcher(effCopyProgram, 16), 0);
    EXPECT_EQ(plugin.dispatcher(effCopyProgram, -1), 0);
}

// ------------------------------------------------------------------------------ knob MIDI

TEST_F(Parameters, KnobMovesAreSentAsControllersWhenEnabled) {
    load(kKnobsOut);
    plugin.setParameter(1, 1.0f);
    plugin.setParameter(1, 0.5f);
    plugin.setParameter(8, 0.0f);
    plugin.setParameter(9, 0.3f); // the tempo has no controller
    plugin.setParameter(40, 0.3f);
    const auto& sent = plugin.sentMidi();
    ASSERT_EQ(sent.size(), 3u);
    const uint8_t expected[3][3] = {{0xB3, 74, 127}, {0xB3, 74, 63}, {0xB3, 7, 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i].bytes[0], expected[i][0]);
        EXPECT_EQ(sent[i].bytes[1], expected[i][1]);
        EXPECT_EQ(sent[i].bytes[2], expected[i][2]);
        EXPECT_EQ(sent[i].type, kVstMidiType);
        EXPECT_EQ(sent[i].byteSize, 32);
        EXPECT_EQ(sent[i].deltaFrames, 0);
        EXPECT_EQ(sent[i].block, 0);
    }
}

TEST_F(Parameters, ControllerValuesStayValidMidiData) {
    load(kKnobsOut);
    plugin.setParameter(1, 3.0f);
    plugin.setParameter(1, -2.0f);
    const auto& sent = plugin.sentMidi();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes[2], 127);
    EXPECT_EQ(sent[1].bytes[2], 0);
}

TEST_F(Parameters, KnobMovesStaySilentUnlessAllThreeSettingsAllowThem) {
    for (const char* ini : {"MidiOutput = 1\nMidiOutputChannel = -1\nMidiTransmitKnobs = 1\n",
                            "MidiOutput = 0\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n",
                            "MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 0\n",
                            "MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = -4\n"}) {
        ScratchHome own;
        own.write("User.ini", ini);
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.setParameter(1, 1.0f);
        p.dispatcher(effSetProgram, 0, 2);
        // Close before the scratch home goes, so the shutdown finds its folder.
        p.close();
        size_t controllers = 0;
        for (const SentMidi& m : p.sentMidi())
            if ((m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] != 123) ++controllers;
        EXPECT_EQ(controllers, 0u) << ini;
    }
}

TEST_F(Parameters, SelectingAProgramReannouncesEveryMappedValue) {
    load(kKnobsOut);
    plugin.setParameter(1, 1.0f);
    plugin.clearLogs();
    plugin.dispatcher(effSetProgram, 0, 5);
    // The default map binds eleven controllers, each to a different parameter.
    const auto& sent = plugin.sentMidi();
    ASSERT_EQ(sent.size(), 11u);
    bool sawCutoff = false;
    for (const SentMidi& m : sent) {
        EXPECT_EQ(m.bytes[0], 0xB3);
        if (m.bytes[1] == 74) {
            sawCutoff = true;
            EXPECT_EQ(m.bytes[2], 127);
        }
    }
    EXPECT_TRUE(sawCutoff);
}

} // namespace
