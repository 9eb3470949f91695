#include "files/CcMapFile.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

#include "files/ParameterTable.h"
#include "files/TextScanner.h"
#include "platform/Platform.h"

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

bool parseMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& text) {
    TextScanner sc(text);
    bool complete = true;
    // Reads up to `count` integers into `out`; a word that is not a number ends the list (it
    // is then read as a key). A list cut by the end of the text, or whose last number touches
    // it, is what a file caught half-written looks like.
    const auto readList = [&](int32_t* out, int count, int32_t lowest, int32_t highest) {
        for (int i = 0; i < count; ++i) {
            int32_t v = 0;
            if (!sc.scanInt(v)) {
                sc.skipSpace();
                if (sc.atEnd()) complete = false;
                return;
            }
            if (sc.atEnd() && i + 1 == count) complete = false;
            sc.skipSpace();
            // Entries are used as indexes: anything outside the table's meaning is "none".
            out[i] = v >= lowest && v <= highest ? v : -1;
        }
    };
    complete = scanSettings(sc, [&](const std::string& key, const std::string& word) {
        const int32_t value = parseIntAuto(word);
        for (const CcKey& k : kCcKeys) {
            if (equalsNoCase(key, k.key)) {
                // Controller numbers outside the table are ignored rather than written past it.
                if (value >= 0 && value < kCcMapSize) learnController(map, value, k.parameter);
                return;
            }
        }
        if (equalsNoCase(key, "MidiMapSize")) {
            if (value >= 1 && value <= kCcMapSize) readList(map.entries, value, 0, kNumParameters - 1);
        } else if (equalsNoCase(key, "MidiKeyMapping")) {
            if (value >= 1 && value <= kKeyCommandSlots) readList(keys.slots, value, 0, 127);
        }
    }) && complete;
    // An empty file is one that was caught between being cut and being written.
    sc.seek(0);
    sc.skipSpace();
    return complete && !(sc.atEnd());
}

bool readMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& path) {
    std::string text;
    if (!TextScanner::loadFile(path, text)) return false;
    parseMidiMap(map, keys, text);
    return true;
}

void pauseBeforeMidiMapReread() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

MidiMapOnDisk loadMidiMapFile(CcMap& map, KeyCommandTable& keys, const std::string& path, void (*pause)()) {
    MidiMapOnDisk disk;
    const CcMap startMap = map;
    const KeyCommandTable startKeys = keys;
    std::string text;
    for (int attempt = 0;; ++attempt) {
        if (!TextScanner::loadFile(path, text)) break;
        disk.fileExisted = true;
        map = startMap;
        keys = startKeys;
        // Another program writing the file in place may have it half-written for a moment:
        // look again shortly rather than take a cut map for the whole map.
        if (parseMidiMap(map, keys, text) || attempt >= kMidiMapReadAttempts - 1) break;
        pause();
    }
    disk.map = map;
    disk.keys = keys;
    return disk;
}

bool saveMidiMapIfChanged(const CcMap& map, const KeyCommandTable& keys, const MidiMapOnDisk& disk,
                          const std::string& path) {
    const bool changed = std::memcmp(&map, &disk.map, sizeof map) != 0 ||
                         std::memcmp(&keys, &disk.keys, sizeof keys) != 0;
    if (!changed) {
        // The first instance writes the defaults for the user to edit; once the file exists
        // (perhaps written by another instance meanwhile) an unchanged map leaves it alone.
        std::error_code ec;
        if (disk.fileExisted || std::filesystem::exists(std::filesystem::path(path), ec)) return true;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !platform::ensureFolder(folder.string())) return false;
    return writeMidiMap(map, keys, path);
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
