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

// The same format on text in memory: what the file functions read and write.
void parseMidiMap(CcMap& map, KeyCommandTable& keys, const std::string& text);
std::string formatMidiMap(const CcMap& map, const KeyCommandTable& keys);

} // namespace kelo
