#include "files/EngineSettingsFile.h"

#include "files/ParameterTable.h"

#include <cstdio>
#include <string_view>

#include "files/TextScanner.h"

namespace kelo {
namespace {


struct Value {
    std::string_view word;
    int32_t i; // converted once, with base detection
    float f() const { return toFloat(parseDecimal(word)); }
};

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

using Apply = void (*)(EngineSettings&, const Value&, ParameterWriter*);

struct KeyAction {
    const char* key;
    Apply apply;
};

// Keys are matched in groups; within a group the first match wins, and a key present in
// several groups (TM5) acts in each of them. Older files rely on both effects of TM5.
#define KELO_INT(name, field) {name, [](EngineSettings& s, const Value& v, ParameterWriter*) { s.field = v.i; }}
#define KELO_FLOAT(name, field) {name, [](EngineSettings& s, const Value& v, ParameterWriter*) { s.field = v.f(); }}

const KeyAction kGroupFilter[] = {
    {"Filterslope",
     [](EngineSettings& s, const Value& v, ParameterWriter*) {
         s.filterMode = v.i == 18 ? 1 : (v.i == 24 ? 0 : v.i);
         s.slopeFlag = v.i == 18 ? 1 : 0;
     }},
    KELO_INT("FilterMode", filterMode),
    KELO_INT("VCALeveling", vcaLeveling),
    KELO_INT("FilterLeveling", vcaLeveling),
    KELO_INT("VCANoise", vcaNoise),
    KELO_FLOAT("VcoGain", vcoGain),
    KELO_FLOAT("TM5", vcoGain),
    KELO_FLOAT("VCOTuning", vcoTuning),
    KELO_FLOAT("TM6", tm6),
    KELO_FLOAT("TM3", tm3),
    KELO_FLOAT("TM4", tm4),
    KELO_INT("TuningMode", tuningMode),
    KELO_INT("SyncMode", syncMode),
    KELO_INT("MidiMode", midiMode),
    {"Tempo",
     [](EngineSettings&, const Value& v, ParameterWriter* p) {
         // The parameter is normalised: BPM outside 25..250 lands on the ends of the range.
         if (p) p->setParameter(kTempo, clamp01((float(v.i) - 25.0f) / 225.0f));
     }},
    {"Highpass",
     [](EngineSettings& s, const Value& v, ParameterWriter*) {
         s.highpass = equalsNoCase(v.word, "on") ? 1 : 0;
     }},
    KELO_INT("Firststep", firstStep),
    KELO_INT("ProgrammingMode", programmingMode),
    KELO_INT("ClearNotes", clearNotes),
    KELO_INT("AccentVelocity", accentVelocity),
    KELO_INT("GuiKnobMode", guiKnobMode),
};

const KeyAction kGroupGeneral[] = {
    KELO_INT("Eggs", eggs),
    KELO_FLOAT("RelativeTuning", relativeTuning),
    KELO_INT("EmulationMode", emulationMode),
    KELO_FLOAT("SmoothSpeed", smoothSpeed),
    {"DefaultVolume",
     [](EngineSettings&, const Value& v, ParameterWriter* p) {
         if (p) p->setParameter(kVolume, clamp01(float(v.i) / 127.0f));
     }},
    KELO_INT("ActiveClocks", activeClocks),
    KELO_INT("MidiOutput", midiOutput),
    KELO_INT("MidiOutputChannel", midiOutputChannel),
};

const KeyAction kGroupKnobs[] = {
    {"EnvmodKnob", [](EngineSettings& s, const Value& v, ParameterWriter*) { s.envmodKnob = v.i & 0xFF; }},
    KELO_INT("FilterTuning", filterTuning),
    KELO_INT("TM5", filterTuning),
    KELO_INT("ResonanceKnob", resonanceKnob),
};

const KeyAction kGroupClockSync[] = {KELO_INT("ClockSync", clockSync)};
const KeyAction kGroupTriplet[] = {
    {"TripletScale", [](EngineSettings& s, const Value& v, ParameterWriter*) { s.tripletScale = parseDecimal(v.word); }},
};
const KeyAction kGroupCapNotes[] = {KELO_INT("CapNotes", capNotes)};
const KeyAction kGroupVcaDecay[] = {KELO_FLOAT("VcaDecay", vcaDecay)};

const KeyAction kGroupLoading[] = {
    KELO_INT("LoadKnobPositions", loadParameters),
    KELO_INT("LoadParameters", loadParameters),
    KELO_INT("LoadDefaultBank", loadDefaultBank),
    KELO_INT("OutputClipping", outputClipping),
    KELO_INT("AntiLogVolume", antiLogVolume),
    KELO_INT("CutoffKnob", cutoffKnob),
    KELO_INT("ResetOscillator", resetOscillator),
    KELO_INT("MidiTransmitKnobs", midiTransmitKnobs),
    KELO_INT("MidiKeyProgramming", midiKeyProgramming),
};

#undef KELO_INT
#undef KELO_FLOAT

template <std::size_t N>
void applyGroup(const KeyAction (&group)[N], std::string_view key, EngineSettings& s, const Value& v,
                ParameterWriter* p) {
    for (const KeyAction& a : group) {
        if (equalsNoCase(key, a.key)) {
            a.apply(s, v, p);
            return;
        }
    }
}

} // namespace

void parseEngineSettings(EngineSettings& s, const std::string& text, ParameterWriter* params) {
    TextScanner sc(text);
    scanSettings(sc, [&](const std::string& key, const std::string& word) {
        const Value v{word, parseIntAuto(word)};
        applyGroup(kGroupFilter, key, s, v, params);
        applyGroup(kGroupGeneral, key, s, v, params);
        applyGroup(kGroupKnobs, key, s, v, params);
        applyGroup(kGroupClockSync, key, s, v, params);
        applyGroup(kGroupTriplet, key, s, v, params);
        applyGroup(kGroupCapNotes, key, s, v, params);
        applyGroup(kGroupVcaDecay, key, s, v, params);
        applyGroup(kGroupLoading, key, s, v, params);
    });
    holdEngineSettingsInRange(s);
}

bool readEngineSettings(EngineSettings& s, const std::string& path, ParameterWriter* params) {
    std::string text;
    if (!TextScanner::loadFile(path, text)) return true; // a missing file leaves everything as it is
    parseEngineSettings(s, text, params);
    return true;
}

void holdEngineSettingsInRange(EngineSettings& s) {
    namespace r = settingRange;
    s.filterMode = r::filterMode.hold(s.filterMode);
    s.accentVelocity = r::accentVelocity.hold(s.accentVelocity);
    s.activeClocks = r::activeClocks.hold(s.activeClocks);
    s.clockSync = r::clockSync.hold(s.clockSync != 0 ? 1 : 0); // any non-zero value is on
    // The text reader never produces NaN; a NaN from elsewhere takes the low end.
    const auto hold = [](const auto& range, auto v) { return v == v ? range.hold(v) : range.lowest; };
    s.vcoGain = hold(r::vcoGain, s.vcoGain);
    s.vcoTuning = hold(r::vcoTuning, s.vcoTuning);
    s.tm6 = hold(r::tm6, s.tm6);
    s.tm3 = hold(r::tm3, s.tm3);
    s.tm4 = hold(r::tm4, s.tm4);
    s.relativeTuning = hold(r::relativeTuning, s.relativeTuning);
    s.smoothSpeed = hold(r::smoothSpeed, s.smoothSpeed);
    s.tripletScale = hold(r::tripletScale, s.tripletScale);
    s.vcaDecay = hold(r::vcaDecay, s.vcaDecay);
}

std::string formatEngineSettings(const EngineSettings& s) {
    std::string out = "; KELO Configuration\n";
    auto i = [&](const char* key, int32_t v) {
        out += key;
        out += " = ";
        out += std::to_string(v);
        out += '\n';
    };
    auto f = [&](const char* key, float v) {
        out += key;
        out += " = ";
        out += formatFixed6(v);
        out += '\n';
    };
    i("FilterMode", s.filterMode);
    i("VCALeveling", s.vcaLeveling);
    i("VCANoise", s.vcaNoise);
    f("VcoGain", s.vcoGain);
    f("VcoTuning", s.vcoTuning);
    f("TM6", s.tm6);
    f("TM3", s.tm3);
    i("SyncMode", s.syncMode);
    i("MidiMode", s.midiMode);
    i("TuningMode", s.tuningMode);
    i("ClearNotes", s.clearNotes);
    i("ProgrammingMode", s.programmingMode);
    i("AccentVelocity", s.accentVelocity);
    i("ActiveClocks", s.activeClocks);
    i("GuiKnobMode", s.guiKnobMode);
    i("MidiOutput", s.midiOutput);
    i("MidiOutputChannel", s.midiOutputChannel);
    i("LoadParameters", s.loadParameters);
    i("LoadDefaultBank", s.loadDefaultBank);
    i("OutputClipping", s.outputClipping);
    i("MidiTransmitKnobs", s.midiTransmitKnobs);
    i("MidiKeyProgramming", s.midiKeyProgramming);
    return out;
}

bool writeEngineSettings(const EngineSettings& s, const std::string& path) {
    return writeTextFile(path, formatEngineSettings(s));
}

void resetEngineSettings(EngineSettings& s) {
    s.vcoGain = 2.0f;
    s.tm3 = 0.5f;
    s.vcoTuning = 0.5f;
    s.tm6 = 0.0f; // Reset differs from the start-up 0.25 on purpose
    s.firstStep = 1;
    s.programmingMode = 0;
    s.filterMode = 1;
    s.vcaLeveling = 0;
    s.slopeFlag = 0;
    s.highpass = 0;
    s.tuningMode = 0;
    s.midiOutput = 0;
    s.resetOscillator = 0;
    s.syncMode = 0;
    s.midiMode = 0;
    s.vcaNoise = 1;
    s.clearNotes = 1;
    s.accentVelocity = 100;
    s.guiKnobMode = 2;
    s.eggs = 1;
    s.emulationMode = 3;
    s.midiOutputChannel = -1;
    s.loadParameters = 1;
    s.loadDefaultBank = 1;
    s.outputClipping = 0;
}

void loadEngineSettingsFiles(EngineSettings& s, const std::string& dataFolder, ParameterWriter* params) {
    readEngineSettings(s, dataFolder + "Config.ini", params);
    readEngineSettings(s, dataFolder + "User.ini", params);
    if (s.midiTransmitKnobs < 0) s.midiTransmitKnobs = 0;
}

} // namespace kelo
