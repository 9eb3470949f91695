// The plug-in as a host sees it: the AEffect record, the dispatcher's answers, parameter slots
// and their texts, the programs, and knob moves echoed as MIDI controllers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "files/PatternFile.h"
#include "plugin/StateChunk.h"
#include "sequencer/Pattern.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::SentMidi;
using kelo::test::Kelo;

constexpr VstInt32 fourCC(char a, char b, char c, char d) { return (a << 24) | (b << 16) | (c << 8) | d; }

TEST(Dispatcher, RecordAndFixedAnswersToAHostThatAnswersTheVersionRequest) {
    Kelo k;
    {
        kelo::host::Plugin silent;
        silent.setVersionAnswer(0);
        EXPECT_FALSE(silent.load());
        EXPECT_EQ(silent.error(), "entry returned null");
    }
    const AEffect* e = k->effect();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::vector<VstInt32>({e->magic, e->numPrograms, e->numParams, e->numInputs, e->numOutputs,
                                     e->initialDelay, e->uniqueID, e->version}),
              std::vector<VstInt32>({kEffectMagic, 16, 13, 0, 2, 0, fourCC('K', 'E', 'L', '3'), 1}));
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_TRUE(e->processReplacing && e->processDoubleReplacing && e->process);

    EXPECT_EQ(k->text(effGetEffectName) + k->text(effGetProductString) + k->text(effGetVendorString),
              "KELOKELOOrvanta");
    char text[512] = "0.5"; // room for any record an opcode might fill
    const struct {
        VstInt32 op;
        VstIntPtr value, answer;
    } answers[] = {{effGetPlugCategory, 0, kPlugCategSynth},    {effGetVstVersion, 0, 2400},
                   {effGetVendorVersion, 0, 1},                 {effIdentify, 0, fourCC('N', 'v', 'E', 'f')},
                   {effGetNumMidiInputChannels, 0, 1},
                   {effGetNumMidiOutputChannels, 0, 1}, {effGetCurrentMidiProgram, 0, -1},
                   {effHasMidiProgramsChanged, 0, 1}, {effSetTotalSampleToProcess, 4711, 4711}};
    for (const auto& a : answers) EXPECT_EQ(k->dispatcher(a.op, 0, a.value, text), a.answer) << "opcode " << a.op;
    for (int i : {0, 5, 12, 13, 300, -1}) EXPECT_EQ(k->dispatcher(effCanBeAutomated, i), 1) << i;
    int dummy = 0;
    auto* in = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    auto* out = in;
    EXPECT_EQ(k->dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_TRUE(in == nullptr && out == nullptr);

    // Switching on asks the host for MIDI, switching off does not.
    k->resume();
    k->suspend();
    EXPECT_EQ(k->callbackCount(audioMasterWantMidi), 1);
    EXPECT_EQ(k->lastWantMidiValue(), 1);

    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo", "sendVstEvents",
                            "sendVstMidiEvent", "sendVstTimeInfo"})
        EXPECT_EQ(k->canDo(yes), 1) << yes;
    for (const char* no : {"receiveVstMidiEvents", "receiveVstMidiEven", "ReceiveVstEvents", "", "bypass",
                           "sendVstEvents ", "offline"})
        EXPECT_EQ(k->canDo(no), -1) << no;
    EXPECT_EQ(k->dispatcher(effCanDo, 0, 0, nullptr), -1);
    // Two stereo output pins.
    for (int i : {0, 1, 2, 3, -1, 1000}) {
        VstPinProperties pin{};
        std::strcpy(pin.label, "untouched");
        EXPECT_EQ(k->dispatcher(effGetOutputProperties, i, 0, &pin), i == 0 || i == 1) << i;
        EXPECT_STREQ(pin.label, i == 0 ? "KELO 1" : i == 1 ? "KELO 2" : "untouched");
        EXPECT_EQ(pin.flags, i == 0 || i == 1 ? kVstPinIsActive | kVstPinIsStereo : 0) << i;
    }
}

TEST(Parameters, DefaultsTextsAndWhatEntersASlotFromHostsAndChunks) {
    Kelo k;
    for (int i : {256, -1, -1000000}) k->setParameter(i, 0.7f);
    // The thirteen parameters, editor slots (two with their own defaults) and beyond the slots.
    const std::pair<int, float> defaults[] = {{0, 0.5f},  {1, 0.5f},  {2, 0},     {3, 0.1f}, {4, 0.1f},
                                              {5, 0},     {6, 0.25f}, {7, 0},     {8, 1},    {9, 0.42222222f},
                                              {10, 0},    {11, 0},    {12, 0},    {18, 0.5f}, {33, 0.25f},
                                              {13, 1},    {255, 1},   {256, 0},   {-1, 0}};
    for (const auto& [i, v] : defaults) EXPECT_FLOAT_EQ(k->getParameter(i), v) << i;
    EXPECT_EQ(k->programName(), "Default") << "nothing written past the slots";

    EXPECT_EQ(k->parameterName(0) + k->parameterName(12), "TuneHighpass Filter");
    for (int i : {9, 13, 255, 256, -1}) EXPECT_EQ(k->parameterName(i), "") << i;
    for (int i : {0, 9, 12, 13, 300, -5}) EXPECT_EQ(k->parameterLabel(i), " ") << i;
    EXPECT_EQ(k->parameterDisplay(9) + k->parameterDisplay(300), "N/A0.0%");
    // Hosts and chunks send anything; what enters a slot is within 0..1, NaN as the default.
    const struct {
        int index;
        float value, kept;
        const char* text;
    } entering[] = {{0, 0.123f, 0.123f, "12.3%"}, {8, NAN, 1, "100.0%"},     {8, INFINITY, 1, "100.0%"},
                    {8, -INFINITY, 0, "0.0%"},    {8, 1e30f, 1, "100.0%"},    {0, NAN, 0.5f, "50.0%"},
                    {10, 0.5f, 0.5f, "Square"},   {10, 0.49f, 0.49f, "Sawtooth"}, {11, 2, 1, "Foldback"},
                    {11, -1, 0, "Saturate"},      {11, 0.49f, 0.49f, "Saturate"}, {12, 0.5f, 0.5f, "Off"},
                    {12, 0.51f, 0.51f, "On"},     {18, NAN, 0.5f, "50.0%"},   {33, NAN, 0.25f, "25.0%"},
                    {100, NAN, 1, "100.0%"},      {200, -3, 0, "0.0%"},       {2, 0.25f, 0.25f, "25.0%"}};
    for (const auto& c : entering) {
        k->setParameter(c.index, c.value);
        EXPECT_EQ(k->getParameter(c.index), c.kept) << c.index << " set to " << c.value;
        EXPECT_EQ(k->parameterDisplay(c.index), c.text) << c.index << " at " << c.value;
    }
    // A huge value still fits the host's 32-byte display text.
    k->setParameter(0, 1e30f);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    k->dispatcher(effGetParamDisplay, 0, 0, buffer);
    EXPECT_LT(strnlen(buffer, sizeof buffer), 32u);
    EXPECT_EQ(std::string(buffer + 32, 32), std::string(32, 'x'));

    kelo::test::Bytes chunk = kelo::test::getChunk(k.plugin);
    for (const auto& [slot, bad] : {std::pair{8, NAN}, {1, INFINITY}, {11, -5.0f}})
        kelo::test::put(chunk, kelo::kChunkSlotsOffset + 4 * size_t(slot), bad);
    kelo::test::setChunk(k.plugin, chunk);
    EXPECT_EQ(std::vector<float>({k->getParameter(8), k->getParameter(1), k->getParameter(11)}),
              std::vector<float>({1, 1, 0}));
}

TEST(KnobMidi, MovesAndProgramChangesAreSentAsControllersWhenAllThreeSettingsAllow) {
    Kelo k("MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n");
    // -1 matches every unmapped controller: a negative index sends nothing; 9 has no controller.
    for (const auto& [index, value] : {std::pair{1, 1.0f}, {1, 0.5f}, {8, 0.0f}, {9, 0.3f}, {40, 0.3f},
                                       {1, 3.0f}, {1, -2.0f}, {-1, 0.5f}, {1, NAN}})
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
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](auto& m) { return m.bytes[1] == 74 && m.bytes[2] > 126; }));

    for (const char* off : {"MidiOutputChannel = -1\n", "MidiOutput = 0\n", "MidiTransmitKnobs = 0\n",
                            "MidiTransmitKnobs = -4\n"}) {
        Kelo quiet(std::string("MidiOutput = 1\nMidiOutputChannel = 3\nMidiTransmitKnobs = 1\n") + off);
        quiet->setParameter(1, 1.0f);
        quiet->dispatcher(effSetProgram, 0, 2);
        quiet->close();
        for (const SentMidi& m : quiet->sentMidi()) EXPECT_FALSE(m.bytes[0] >> 4 == 0xB && m.bytes[1] != 123) << off;
    }
}

// A fresh instance restores everything a chunk holds without telling the host, answers the same
// bytes, and plays the restored patterns; what it refuses changes nothing.
TEST(ProgramsAndChunk, ProgramsClampAndCopyAndTheChunkRoundTripsThroughAFreshInstance) {
    using namespace kelo;
    using namespace kelo::test;
    const char* ini = "MidiOutput = 1\nMidiOutputChannel = 0\n";
    Kelo a(ini), b(ini);
    const Bytes before = getChunk(b.plugin);
    ASSERT_EQ(before.size(), kStateChunkSize);
    EXPECT_EQ(getChunk(b.plugin, true), before) << "isPreset makes no difference";
    a->setParameter(1, 0.8125f);
    a->setParameter(200, 0.25f); // an editor slot rides along too
    // Program numbers clamp; names keep 23 characters and their terminator, per slot.
    auto indexedName = [&](int index, VstIntPtr answer = 1) {
        char text[64] = "untouched";
        EXPECT_EQ(a->dispatcher(effGetProgramNameIndexed, index, 0, text), answer) << index;
        return std::string(text);
    };
    for (const auto& [set, got] : {std::pair{7, 7}, {20, 15}, {-1, 0}, {3, 3}}) {
        a->dispatcher(effSetProgram, 0, set);
        EXPECT_EQ(a->dispatcher(effGetProgram), got) << set;
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(indexedName(i), "Default") << i;
    for (int i : {16, 17, -1}) EXPECT_EQ(indexedName(i, 0), "untouched") << i;
    char text[] = "A very long program name that does not fit";
    const std::string name(text, 23);
    a->dispatcher(effSetProgramName, 0, 0, text);
    EXPECT_EQ(a->programName() + indexedName(3) + indexedName(2), name + name + "Default");
    EXPECT_EQ(a->dispatcher(effCopyProgram, 9), 1);
    EXPECT_EQ(indexedName(9), name);
    EXPECT_EQ(a->dispatcher(effCopyProgram, 16) + a->dispatcher(effCopyProgram, -1), 0);
    // Pattern 5 becomes 16 gated, sliding steps of note 9 (the default bank plays C there).
    Bytes c = getChunk(a.plugin);
    const size_t pattern5 = kChunkBankOffset + 132 * 5;
    put<uint32_t>(c, pattern5, 16);
    for (size_t s = 0; s < 16; ++s) put<uint16_t>(c, pattern5 + 4 + 2 * s, 9 | (StepGate | StepSlide) << 8);
    EXPECT_EQ(get<float>(c, kChunkSlotsOffset + 4), 0.8125f);

    setChunk(b.plugin, Bytes(c.begin(), c.end() - 1));
    Bytes badMark = c;
    put<uint32_t>(badMark, 0, 201);
    setChunk(b.plugin, badMark);
    b->dispatcher(effSetChunk, 0, VstIntPtr(c.size()), nullptr);
    EXPECT_EQ(getChunk(b.plugin), before);

    setChunk(b.plugin, c, true);
    EXPECT_EQ(getChunk(b.plugin), c);
    EXPECT_TRUE(b->automations().empty() && b->sentMidi().empty()) << "restored values go straight in";
    EXPECT_EQ(b->getParameter(200), 0.25f);
    EXPECT_EQ(b->programName() + std::to_string(b->dispatcher(effGetProgram)), name + "3");
    b->render(512, {{0, 0x90, 5, 100}});
    ASSERT_FALSE(b->sentMidi().empty());
    EXPECT_EQ(b->sentMidi()[0].bytes[1], 45);

    // Every setting the chunk restores, away from its default.
    const uint32_t flags = kChunkFlagHighpass | 1u << 3 | kChunkFlagClockSync | kChunkFlagMidiOutput |
                           kChunkFlagTransmitKnobs | kChunkFlagPatternLock;
    for (const auto& [w, bits] : {std::pair{kChunkWordEditAdvance, 1u}, {kChunkWordEditCursor, 9u},
                                  {kChunkWordSyncMode, 1u}, {kChunkWordMidiMode, 2u}, {kChunkWordFlags, flags}})
        put(c, kChunkSettingsOffset + 4 * size_t(w), get<uint32_t>(c, kChunkSettingsOffset + 4 * size_t(w)) ^ bits);
    setChunk(b.plugin, c);
    EXPECT_EQ(getChunk(b.plugin), c);
}

TEST(Startup, TheDefaultBankLoadsUnlessSwitchedOffAndOtherwiseStepsStartAsClearNotesSays) {
    using namespace kelo;
    PatternBank file{};
    for (Pattern& p : file.patterns) p.header = 16;
    file.patterns[7].setStepCount(12);
    file.patterns[7].steps[3] = {5, uint8_t(StepGate | StepAccent)};
    const std::map<std::string, std::string> bankFile = {{"DefaultPatternBank.pat", formatBank(file)}};
    const struct {
        const char* ini;
        bool withFile;
        int flags; // of every step; -1: the file's steps
    } cases[] = {{"", false, StepGate},
                 {"ClearNotes = 0\n", false, 0},
                 {"LoadDefaultBank = 0\n", true, StepGate},
                 {"ClearNotes = 0\n", true, -1}};
    for (const auto& c : cases) {
        Kelo k(c.ini, c.withFile ? bankFile : std::map<std::string, std::string>{});
        const test::Bytes chunk = test::getChunk(k.plugin);
        for (size_t s = 0; s < 128 * 64; ++s) {
            const PatternStep& f = file.patterns[s / 64].steps[s % 64];
            const int want = c.flags < 0 ? f.note | f.flags << 8 : c.flags << 8;
            ASSERT_EQ(test::get<uint16_t>(chunk, kChunkBankOffset + 132 * (s / 64) + 4 + 2 * (s % 64)), want)
                << c.ini << " step " << s;
        }
        if (c.flags < 0) {
            EXPECT_EQ(test::get<uint32_t>(chunk, kChunkBankOffset + 132 * 7), file.patterns[7].header);
        }
    }
}

} // namespace
