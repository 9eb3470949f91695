// The plug-in as a host sees it: the AEffect record and the dispatcher's answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/ScratchHome.h"

namespace {

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

    EXPECT_EQ(k->text(effGetEffectName), "KELO");
    EXPECT_EQ(k->text(effGetProductString), "KELO");
    EXPECT_EQ(k->text(effGetVendorString), "Orvanta");
    const std::pair<VstInt32, VstIntPtr> answers[] = {
        {effGetPlugCategory, kPlugCategSynth}, {effGetVstVersion, 2400}, {effGetVendorVersion, 1},
        {effIdentify, fourCC('N', 'v', 'E', 'f')}, {effGetNumMidiInputChannels, 1}, {effGetNumMidiOutputChannels, 1},
        {effGetCurrentMidiProgram, -1}, {effHasMidiProgramsChanged, 1}};
    for (const auto& [op, want] : answers) EXPECT_EQ(k->dispatcher(op), want) << "opcode " << op;
    for (int op : {effOpen, effGetTailSize, effVendorSpecific, effStartProcess, effStopProcess, effSetBypass,
                   effSetPanLaw, effSetProcessPrecision, effBeginSetProgram, effEndSetProgram, effGetMidiProgramName,
                   effGetMidiProgramCategory, effOfflineNotify, effOfflinePrepare, effOfflineRun,
                   effSetSpeakerArrangement, effEditGetRect, effEditOpen, effEditIdle, effBeginLoadBank,
                   effBeginLoadProgram})
        EXPECT_EQ(k->dispatcher(op), 0) << "opcode " << op;
    for (int i : {0, 5, 12, 13, 300, -1}) EXPECT_EQ(k->dispatcher(effCanBeAutomated, i), 1) << i;
    char text[64] = "0.5";
    VstPinProperties pin{};
    EXPECT_EQ(k->dispatcher(effString2Parameter, 0, 0, text), 0);
    EXPECT_EQ(k->dispatcher(effGetParameterProperties, 0, 0, text), 0);
    EXPECT_EQ(k->dispatcher(effShellGetNextPlugin, 0, 0, text), 0);
    EXPECT_EQ(k->dispatcher(effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(k->dispatcher(effSetTotalSampleToProcess, 0, 4711), 4711);

    int dummy = 0;
    auto* in = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    auto* out = in;
    EXPECT_EQ(k->dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_TRUE(in == nullptr && out == nullptr);

    // Text requests survive a host that passes no buffer.
    for (int op : {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName, effSetProgramName,
                   effGetEffectName, effGetVendorString, effGetProductString, effGetProgramNameIndexed,
                   effGetOutputProperties, effGetMidiKeyName, effGetChunk})
        EXPECT_EQ(k->dispatcher(op, 0, 0, nullptr), 0) << "opcode " << op;

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
        VstPinProperties props{};
        std::strcpy(props.label, "untouched");
        EXPECT_EQ(k->dispatcher(effGetOutputProperties, i, 0, &props), i == 0 || i == 1) << i;
        EXPECT_STREQ(props.label, i == 0 ? "KELO 1" : i == 1 ? "KELO 2" : "untouched");
        EXPECT_EQ(props.flags, i == 0 || i == 1 ? kVstPinIsActive | kVstPinIsStereo : 0) << i;
    }
}

// Key names: patterns in pattern mode, the programming keys with keyboard programming on, and
// nothing (the host's own text stays) for other keys and other modes.
TEST(MidiKeyNames, FollowTheModeAndKeyboardProgramming) {
    auto name = [](Kelo& k, int key, VstIntPtr answer = 1) {
        MidiKeyName n{};
        n.thisKeyNumber = key;
        std::strcpy(n.keyName, "host text");
        EXPECT_EQ(k->dispatcher(effGetMidiKeyName, 0, 0, &n), answer) << key;
        return std::string(n.keyName);
    };
    {
        Kelo k;
        for (int key : {5, 36, 127}) EXPECT_EQ(name(k, key), "Pattern " + std::to_string(key));
    }
    {
        Kelo k("MidiKeyProgramming = 1\n");
        const std::pair<int, const char*> expected[] = {
            {36, "Run/Stop"}, {37, "Pattern"}, {38, "C"},  {39, "Clear"}, {40, "D"},     {41, "D#"},
            {42, "E"},        {43, "F"},       {44, "F#"}, {45, "G"},     {46, "G#"},    {47, "A"},
            {48, "Start"},    {49, "B"},       {50, "C"},  {72, "Down"},  {74, "Up"},    {76, "Accent"},
            {77, "Slide"},    {82, "Zero"},    {83, "Back"}, {84, "Next"}, {60, "host text"}, {35, "host text"},
            {73, "host text"}};
        for (const auto& [key, text] : expected) EXPECT_EQ(name(k, key), text) << key;
    }
    for (const char* mode : {"MidiMode = 1\n", "MidiMode = 2\n"}) {
        Kelo k(mode);
        EXPECT_EQ(name(k, 5, 0), "host text") << mode;
    }
}

} // namespace
