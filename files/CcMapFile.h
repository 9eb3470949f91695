#pragma once
// Controller map defaults, learning, and the "MidiCC.ini" / ".map" format.
#include <string>

#include "files/CcMap.h"
#include "sequencer/KeyCommandTable.h"

namespace kelo {

void setDefaultCcMap(CcMap& map);
// Gives controller c to parameter p: the first controller already holding p is unmapped.
void learnController(CcMap& map, int controller, int parameter);
// A file that cannot be opened changes nothing and answers false.
bool readMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& path);
bool writeMidiMap(const CcMap& map, const KeyCommandTable& keys, const std::string& path);

// The same format on text in memory: what the file functions read and write. Table entries
// outside their meaning (a parameter index, a MIDI note) read as -1. Answers false when the
// text looks cut short: empty, ending inside a key and value pair, or inside a table.
bool parseMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& text);
std::string formatMidiMap(const CcMap& map, const KeyCommandTable& keys);

// "MidiCC.ini" over an instance's life. The tables as read at start-up are kept, and at the
// end the file is written only when the instance changed them: instances that open and close
// together (hosts scan plug-ins in several processes at once) never put an older or default
// map over the one the user keeps there.
struct MidiMapOnDisk {
    CcMap map;
    KeyCommandTable keys;
    bool fileExisted = false;
};
constexpr int kMidiMapReadAttempts = 10;
// Waits before a file that looked cut short is read again (5 ms).
void pauseBeforeMidiMapReread();
// Reads `path` over the tables (a file that looks cut short is read again a few times, after
// `pause`, in case another program is just writing it) and answers what was read.
MidiMapOnDisk loadMidiMapFile(CcMap& map, KeyCommandTable& keys, const std::string& path,
                              void (*pause)() = pauseBeforeMidiMapReread);
// Writes the tables (creating the folder) when they differ from `disk`, or when there was no
// file at start-up and there still is none. False only when a needed write failed.
bool saveMidiMapIfChanged(const CcMap& map, const KeyCommandTable& keys, const MidiMapOnDisk& disk,
                          const std::string& path);

} // namespace kelo
