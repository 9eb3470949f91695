#include "files/CcMapFile.h"

#include <string_view>

#include "files/TextScanner.h"

namespace kelo {
namespace {

struct CcKey {
    const char* key;
    int parameter;
};

// Hand-made files name parameters; the writer only ever stores the raw table.
constexpr CcKey kCcKeys[] = {
    {"MidiCC.Cutoff", 1},  {"MidiCC.Resonance", 2}, {"MidiCC.Envmod", 3},
    {"MidiCC.Decay", 4},   {"MidiCC.Accent", 5},    {"MidiCC.Volume", 8},
    {"MidiCC.Distortion", 7}, {"MidiCC.Drive", 6},  {"MidiCC.Waveform", 10},
    {"MidiCC.Tune", 0},    {"MidiCC.Tempo", 9},     {"MidiCC.DistortionType", 11},
    {"MidiCC.HighpassFilter", 12},
};

} // namespace

void setDefaultCcMap(CcMap& map) {
    for (int32_t& e : map.entries) e = -1;
    map.entries[7] = 8;   // Volume
    map.entries[70] = 10; // Waveform
    map.entries[71] = 0;  // Tune
    map.entries[74] = 1;  // Cutoff
    map.entries[76] = 2;  // Resonance
    map.entries[77] = 3;  // Envmod
    map.entries[78] = 4;  // Decay
    map.entries[79] = 5;  // Accent
    map.entries[80] = 11; // Distortion Type
    map.entries[91] = 7;  // Distortion
    map.entries[92] = 6;  // Drive
}

void learnController(CcMap& map, int controller, int parameter) {
    if (controller < 0 || controller >= kCcMapSize) return;
    for (int32_t& e : map.entries) {
        if (e == parameter) {
            e = -1;
            break;
        }
    }
    map.entries[controller] = parameter;
}

void parseMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& text) {
    TextScanner sc(text);
    scanSettings(sc, [&](const std::string& key, const std::string& word) {
        const int32_t value = parseIntAuto(word);
        for (const CcKey& k : kCcKeys) {
            if (equalsNoCase(key, k.key)) {
                // Controller numbers outside the table are ignored rather than written past it.
                if (value >= 0 && value < kCcMapSize) learnController(map, value, k.parameter);
                return;
            }
        }
        if (equalsNoCase(key, "MidiMapSize")) {
            if (value < 1 || value > kCcMapSize) return;
            for (int i = 0; i < value; ++i) {
                // A word that is not a number ends the list; it is then read as a key.
                int32_t entry = 0;
                if (!sc.scanInt(entry)) break;
                sc.skipSpace();
                map.entries[i] = entry;
            }
        } else if (equalsNoCase(key, "MidiKeyMapping")) {
            if (value < 1 || value > kKeyCommandSlots) return;
            for (int i = 0; i < value; ++i) {
                int32_t slot = 0;
                if (!sc.scanInt(slot)) break;
                sc.skipSpace();
                keys.slots[i] = slot;
            }
        }
    });
}

bool readMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& path) {
    std::string text;
    if (!TextScanner::loadFile(path, text)) return false;
    parseMidiMap(map, keys, text);
    return true;
}

std::string formatMidiMap(const CcMap& map, const KeyCommandTable& keys) {
    std::string out = "MidiMapSize = " + std::to_string(kCcMapSize) + "\n";
    for (int32_t e : map.entries) out += std::to_string(e) + "\n";
    out += "MidiKeyMapping = " + std::to_string(kKeyCommandSlots) + "\n";
    for (int32_t s : keys.slots) out += std::to_string(s) + "\n";
    return out;
}

bool writeMidiMap(const CcMap& map, const KeyCommandTable& keys, const std::string& path) {
    return writeTextFile(path, formatMidiMap(map, keys));
}

} // namespace kelo
