// The plug-in as a host sees it: the AEffect record and the dispatcher's answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/Plugin.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using kelo::host::Plugin;
using kelo::test::ScratchHome;

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.load()) << plugin.error();
        plugin.start();
    }
    ScratchHome home;
    Plugin plugin;
};

TEST(Entry, RefusesAHostThatDoesNotAnswerTheVersionRequest) {
    ScratchHome home;
    Plugin plugin;
    plugin.setVersionAnswer(0);
    EXPECT_FALSE(plugin.load());
    EXPECT_EQ(plugin.error(), "entry returned null");
    plugin.setVersionAnswer(2400);
    EXPECT_TRUE(plugin.load()) << plugin.error();
}

TEST_F(Dispatcher, DescribesTheInstrumentInItsRecord) {
    const AEffect* e = plugin.effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 13);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->uniqueID, ('K' << 24) | ('E' << 16) | ('L' << 8) | '3');
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_NE(e->process, nullptr);
}

TEST_F(Dispatcher, AnswersIdentityVersionAndCategory) {
    EXPECT_EQ(plugin.dispatcher(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(plugin.dispatcher(effGetVstVersion), 2400);
    EXPECT_EQ(plugin.dispatcher(effGetVendorVersion), 1);
    EXPECT_EQ(plugin.dispatcher(effIdentify), ('N' << 24) | ('v' << 16) | ('E' << 8) | 'f');
    EXPECT_EQ(plugin.text(effGetEffectName), "KELO");
    EXPECT_EQ(plugin.text(effGetProductString), "KELO");
    EXPECT_EQ(plugin.text(effGetVendorString), "Orvanta");
}

TEST_F(Dispatcher, AnswersFixedValuesForTheRestOfTheTable) {
    EXPECT_EQ(plugin.dispatcher(effOpen), 0);
    for (int i : {0, 5, 12, 13, 300, -1}) EXPECT_EQ(plugin.dispatcher(effCanBeAutomated, i), 1) << i;
    char text[64] = "0.5";
    EXPECT_EQ(plugin.dispatcher(effString2Parameter, 0, 0, text), 0);
    EXPECT_EQ(plugin.dispatcher(effGetParameterProperties, 0, 0, text), 0);
    VstPinProperties pin{};
    EXPECT_EQ(plugin.dispatcher(effGetInputProperties, 0, 0, &pin), 0);
    for (int op : {effGetTailSize, effVendorSpecific, effStartProcess, effStopProcess, effSetBypass,
                   effSetPanLaw, effSetProcessPrecision, effBeginSetProgram, effEndSetProgram,
                   effGetMidiProgramName, effGetMidiProgramCategory, effOfflineNotify, effOfflinePrepare,
                   effOfflineRun, effSetSpeakerArrangement, effEditGetRect, effEditOpen, effEditIdle})
        EXPECT_EQ(plugin.dispatcher(op), 0) << "opcode " << op;
    EXPECT_EQ(plugin.dispatcher(effBeginLoadBank), 0);
    EXPECT_EQ(plugin.dispatcher(effBeginLoadProgram), 0);
    EXPECT_EQ(plugin.dispatcher(effShellGetNextPlugin, 0, 0, text), 0);
    EXPECT_EQ(plugin.dispatcher(effSetTotalSampleToProcess, 0, 4711), 4711);
    EXPECT_EQ(plugin.dispatcher(effGetNumMidiInputChannels), 1);
    EXPECT_EQ(plugin.dispatcher(effGetNumMidiOutputChannels), 1);
    EXPECT_EQ(plugin.dispatcher(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(plugin.dispatcher(effHasMidiProgramsChanged), 1);
}

TEST_F(Dispatcher, GetSpeakerArrangementClearsBothPointers) {
    int dummy = 0;
    auto* in = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    auto* out = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    EXPECT_EQ(plugin.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST_F(Dispatcher, CanDoMatchesWholeStringsExactly) {
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo", "sendVstEvents",
                            "sendVstMidiEvent", "sendVstTimeInfo"})
        EXPECT_EQ(plugin.canDo(yes), 1) << yes;
    for (const char* no : {"receiveVstMidiEvents", "receiveVstMidiEven", "ReceiveVstEvents", "", "bypass",
                           "sendVstEvents ", "offline"})
        EXPECT_EQ(plugin.canDo(no), -1) << no;
    EXPECT_EQ(plugin.dispatcher(effCanDo, 0, 0, nullptr), -1);
}

TEST_F(Dispatcher, OutputPropertiesNameTwoStereoPins) {
    for (int i = 0; i < 2; ++i) {
        VstPinProperties pin{};
        ASSERT_EQ(plugin.dispatcher(effGetOutputProperties, i, 0, &pin), 1);
        EXPECT_STREQ(pin.label, i == 0 ? "KELO 1" : "KELO 2");
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    for (int i : {2, 3, -1, 1000}) {
        VstPinProperties pin{};
        std::strcpy(pin.label, "untouched");
        EXPECT_EQ(plugin.dispatcher(effGetOutputProperties, i, 0, &pin), 0) << i;
        EXPECT_STREQ(pin.label, "untouched");
    }
}

TEST_F(Dispatcher, TextOpcodesSurviveANullBuffer) {
    for (int op : {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName, effSetProgramName,
                   effGetEffectName, effGetVendorString, effGetProductString, effGetProgramNameIndexed,
                   effGetOutputProperties, effGetMidiKeyName, effGetChunk})
        EXPECT_EQ(plugin.dispatcher(op, 0, 0, nullptr), 0) << "opcode " << op;
}

TEST_F(Dispatcher, ResumeAsksTheHostForMidi) {
    plugin.clearLogs();
    plugin.resume();
    EXPECT_EQ(plugin.callbackCount(audioMasterWantMidi), 1);
    EXPECT_EQ(plugin.lastWantMidiValue(), 1);
    plugin.suspend();
    EXPECT_EQ(plugin.callbackCount(audioMasterWantMidi), 1);
}

// ------------------------------------------------------------------------------ key names

std::string keyName(Plugin& plugin, int key, const char* preset = "host text", VstIntPtr* answer = nullptr) {
    MidiKeyName name{};
    name.thisKeyNumber = key;
    std::strcpy(name.keyName, preset);
    const VstIntPtr a = plugin.dispatcher(effGetMidiKeyName, 0, 0, &name);
    if (answer) *answer = a;
    return name.keyName;
}

TEST(MidiKeyNames, NamePatternsInPatternMode) {
    ScratchHome home;
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    VstIntPtr answer = 0;
    EXPECT_EQ(keyName(plugin, 5, "x", &answer), "Pattern 5");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(keyName(plugin, 127), "Pattern 127");
    EXPECT_EQ(keyName(plugin, 36), "Pattern 36");
}

TEST(MidiKeyNames, NameProgrammingKeysAndLeaveTheRest) {
    ScratchHome home;
    home.write("User.ini", "MidiKeyProgramming = 1\n");
    Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    const std::pair<int, const char*> expected[] = {
        {36, "Run/Stop"}, {37, "Pattern"}, {38, "C"},  {39, "Clear"}, {40, "D"},     {41, "D#"},
        {42, "E"},        {43, "F"},       {44, "F#"}, {45, "G"},     {46, "G#"},    {47, "A"},
        {48, "Start"},    {49, "B"},       {50, "C"},  {72, "Down"},  {74, "Up"},    {76, "Accent"},
        {77, "Slide"},    {82, "Zero"},    {83, "Back"}, {84, "Next"}};
    for (const auto& [key, name] : expected) EXPECT_EQ(keyName(plugin, key), name) << key;
    VstIntPtr answer = 0;
    EXPECT_EQ(keyName(plugin, 60, "host text", &answer), "host text");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(keyName(plugin, 35), "host text");
    EXPECT_EQ(keyName(plugin, 73), "host text");
}

TEST(MidiKeyNames, AreNotOfferedOutsidePatternMode) {
    for (const char* mode : {"MidiMode = 1\n", "MidiMode = 2\n"}) {
        ScratchHome home;
        home.write("User.ini", mode);
        Plugin plugin;
        ASSERT_TRUE(plugin.load()) << plugin.error();
        VstIntPtr answer = 1;
        EXPECT_EQ(keyName(plugin, 5, "host text", &answer), "host text") << mode;
        EXPECT_EQ(answer, 0) << mode;
    }
}

} // namespace
