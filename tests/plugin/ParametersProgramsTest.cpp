// Parameter slots, their texts, the programs, and knob moves echoed as MIDI controllers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/StateChunk.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::SentMidi;
using kelo::test::Kelo;

TEST(Parameters, DefaultsTextsAndWhatEntersASlotFromHostsAndChunks) {
    Kelo k;
    for (int i : {256, -1, -1000000}) k->setParameter(i, 0.7f);
    // The thirteen parameters, editor slots (two with their own defaults) and beyond the slots.
    const std::pair<int, float> defaults[] = {{0, 0.5f},  {1, 0.5f}, {2, 0},  {3, 0.1f},  {4, 0.1f},   {5, 0},
                                              {6, 0.25f}, {7, 0},    {8, 1},  {9, 0.42222222f}, {10, 0}, {11, 0},
                                              {12, 0},    {18, 0.5f}, {33, 0.25f}, {13, 1}, {255, 1}, {256, 0},
                                              {-1, 0}};
    for (const auto& [i, v] : defaults) EXPECT_FLOAT_EQ(k->getParameter(i), v) << i;
    EXPECT_EQ(k->programName(), "Default") << "nothing written past the slots";

    const char* names[13] = {"Tune",  "Cutoff", "Resonance", "Envmod",   "Decay",           "Accent",         "Drive",
                             "Distortion", "Volume", "", "Waveform", "Distortion Type", "Highpass Filter"};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(k->parameterName(i), names[i]) << i;
    for (int i : {13, 255, 256, -1}) EXPECT_EQ(k->parameterName(i), "") << i;
    for (int i : {0, 9, 12, 13, 300, -5}) EXPECT_EQ(k->parameterLabel(i), " ") << i;
    EXPECT_EQ(k->parameterDisplay(9), "N/A");
    EXPECT_EQ(k->parameterDisplay(300), "0.0%");
    const struct {
        int index;
        float value;
        const char* text;
    } shown[] = {{0, 0.123f, "12.3%"},    {8, 1.0f, "100.0%"},    {2, 0.0f, "0.0%"},       {10, 0.5f, "Square"},
                 {10, 0.49f, "Sawtooth"}, {11, 0.5f, "Foldback"}, {11, 0.49f, "Saturate"}, {12, 0.5f, "Off"},
                 {12, 0.51f, "On"},       {20, 0.25f, "25.0%"}};
    for (const auto& s : shown) {
        k->setParameter(s.index, s.value);
        EXPECT_EQ(k->parameterDisplay(s.index), s.text) << s.index << " at " << s.value;
    }
    // A huge value still fits the host's 32-byte display text.
    k->setParameter(0, 1e30f);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    k->dispatcher(effGetParamDisplay, 0, 0, buffer);
    EXPECT_LT(strnlen(buffer, sizeof buffer), 32u);
    EXPECT_EQ(std::string(buffer + 32, 32), std::string(32, 'x'));

    // Hosts and chunks send anything; what enters a slot is within 0..1, NaN as the default.
    const struct {
        int index;
        float value, kept;
    } entering[] = {{8, NAN, 1},  {8, INFINITY, 1}, {8, -INFINITY, 0}, {8, 1e30f, 1},   {0, NAN, 0.5f},
                    {11, 2, 1},   {11, -1, 0},      {18, NAN, 0.5f},   {33, NAN, 0.25f}, {100, NAN, 1},
                    {200, -3, 0}, {2, 0.25f, 0.25f}};
    for (const auto& c : entering) {
        k->setParameter(c.index, c.value);
        EXPECT_EQ(k->getParameter(c.index), c.kept) << c.index << " set to " << c.value;
    }
    kelo::test::Bytes chunk = kelo::test::getChunk(k.plugin);
    for (const auto& [slot, bad] : {std::pair{8, NAN}, {1, INFINITY}, {11, -5.0f}})
        kelo::test::put(chunk, kelo::kChunkSlotsOffset + 4 * size_t(slot), bad);
    kelo::test::setChunk(k.plugin, chunk);
    EXPECT_EQ(std::vector<float>({k->getParameter(8), k->getParameter(1), k->getParameter(11)}),
              std::vector<float>({1, 1, 0}));
}

// Distortion Type 2.0 plays as Foldback (1.0) and -1 as Saturate (0), not as silence or a
// stuck output.
TEST(Parameters, DistortionTypeOutOfRangePlaysTheNearestType) {
    for (const auto& [wild, tame] : {std::pair{2.0f, 1.0f}, {-1.0f, 0.0f}}) {
        Kelo a, b;
        for (Kelo* k : {&a, &b}) {
            (*k)->setParameter(7, 0.8f);
            (*k)->setParameter(11, k == &a ? wild : tame);
        }
        ASSERT_EQ(a->render(512, {{0, 0x90, 0, 100}}).left, b->render(512, {{0, 0x90, 0, 100}}).left);
        for (int block = 1; block < 20; ++block) ASSERT_EQ(a->render(512).left, b->render(512).left) << wild << block;
    }
}

TEST(Programs, NumbersClampNamesCutAndCopy) {
    Kelo k;
    auto indexedName = [&](int index, VstIntPtr answer = 1) {
        char name[64] = "untouched";
        EXPECT_EQ(k->dispatcher(effGetProgramNameIndexed, index, 0, name), answer) << index;
        return std::string(name);
    };
    EXPECT_EQ(k->dispatcher(effGetProgram), 0);
    for (const auto& [set, got] : {std::pair{7, 7}, {20, 15}, {-1, 0}}) {
        k->dispatcher(effSetProgram, 0, set);
        EXPECT_EQ(k->dispatcher(effGetProgram), got) << set;
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(indexedName(i), "Default") << i;
    for (int i : {16, 17, -1}) EXPECT_EQ(indexedName(i, 0), "untouched") << i;

    // Names keep 23 characters and their terminator, per slot.
    k->dispatcher(effSetProgram, 0, 3);
    char name[] = "A very long program name that does not fit";
    k->dispatcher(effSetProgramName, 0, 0, name);
    EXPECT_EQ(k->programName(), std::string(name, 23));
    EXPECT_EQ(indexedName(3), std::string(name, 23));
    EXPECT_EQ(indexedName(2), "Default");
    k->dispatcher(effSetProgram, 0, 4);
    EXPECT_EQ(k->programName(), "Default");

    k->dispatcher(effSetProgram, 0, 1);
    char squelch[] = "Squelch";
    k->dispatcher(effSetProgramName, 0, 0, squelch);
    EXPECT_EQ(k->dispatcher(effCopyProgram, 9), 1);
    EXPECT_EQ(indexedName(9), "Squelch");
    EXPECT_EQ(k->dispatcher(effCopyProgram, 16), 0);
    EXPECT_EQ(k->dispatcher(effCopyProgram, -1), 0);
}

TEST(KnobMidi, MovesAndProgramChangesAreSentAsValidControllersWhenAllThreeSettingsAllow) {
    Kelo k("MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n");
    // -1 matches every unmapped controller: a negative index sends nothing; 9 has no controller.
    for (const auto& [index, value] : {std::pair{1, 1.0f}, {1, 0.5f}, {8, 0.0f}, {9, 0.3f}, {40, 0.3f}, {1, 3.0f},
                                       {1, -2.0f}, {-1, 0.5f}, {1, NAN}})
        k->setParameter(index, value);
    const auto& sent = k->sentMidi();
    const uint8_t expected[][3] = {{0xB3, 74, 127}, {0xB3, 74, 63}, {0xB3, 7, 0},
                                   {0xB3, 74, 127}, {0xB3, 74, 0},  {0xB3, 74, 63}};
    ASSERT_EQ(sent.size(), std::size(expected));
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(sent[i].bytes, expected[i], 3)) << i;
        EXPECT_TRUE(sent[i].type == kVstMidiType && sent[i].byteSize == 32 && sent[i].deltaFrames == 0) << i;
        EXPECT_EQ(sent[i].block, 0);
    }
    // Selecting a program announces every mapped value again: the default map binds eleven
    // controllers, each to a different parameter.
    k->setParameter(1, 1.0f);
    k->clearLogs();
    k->dispatcher(effSetProgram, 0, 5);
    ASSERT_EQ(sent.size(), 11u);
    for (const SentMidi& m : sent) EXPECT_EQ(m.bytes[0], 0xB3);
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const SentMidi& m) { return m.bytes[1] == 74 && m.bytes[2] == 127; }));

    for (const char* ini : {"MidiOutput = 1\nMidiOutputChannel = -1\nMidiTransmitKnobs = 1\n",
                            "MidiOutput = 0\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n",
                            "MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 0\n",
                            "MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = -4\n"}) {
        Kelo off(ini);
        off->setParameter(1, 1.0f);
        off->dispatcher(effSetProgram, 0, 2);
        off->close();
        for (const SentMidi& m : off->sentMidi()) EXPECT_FALSE((m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] != 123) << ini;
    }
}

} // namespace
