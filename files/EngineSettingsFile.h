#pragma once
// Reading and writing the engine settings files ("Config.ini", "User.ini").
#include <string>

#include "files/EngineSettings.h"
#include "files/ParameterWriter.h"

namespace kelo {

// Reads the file at `path` into `s`, every numeric setting held to its range. A missing file
// changes nothing and still answers true.
// Keys that set parameters (Tempo, DefaultVolume) go to `params` when it is not null.
bool readEngineSettings(EngineSettings& s, const std::string& path, ParameterWriter* params);

// The same on text in memory.
void parseEngineSettings(EngineSettings& s, const std::string& text, ParameterWriter* params);

// Brings every numeric setting into its range (settingRange in EngineSettings.h). The readers
// do it after every file; whoever sets fields another way (the preferences) calls it too.
void holdEngineSettingsInRange(EngineSettings& s);

// Writes the fixed set of lines; false when the file cannot be written whole (the old file
// then stays as it was).
bool writeEngineSettings(const EngineSettings& s, const std::string& path);

// The preferences panel's Reset (the caller also clears patternLock).
void resetEngineSettings(EngineSettings& s);

// The exact text writeEngineSettings puts in the file.
std::string formatEngineSettings(const EngineSettings& s);

// Start-up reading: "Config.ini", then "User.ini" (its keys win), both from `dataFolder`
// (which ends with a separator); then a negative MidiTransmitKnobs becomes 0.
// The caller sets the defaults first.
void loadEngineSettingsFiles(EngineSettings& s, const std::string& dataFolder, ParameterWriter* params);

} // namespace kelo
