#pragma once
// Reading and writing the engine settings files ("Config.ini", "User.ini").
#include <string>

#include "files/EngineSettings.h"
#include "files/ParameterWriter.h"

namespace kelo {

// Reads the file at `path` into `s`. A missing file changes nothing and still answers true.
// Keys that set parameters (Tempo, DefaultVolume) go to `params` when it is not null.
bool readEngineSettings(EngineSettings& s, const std::string& path, ParameterWriter* params);

// Writes the fixed set of lines; false when the file cannot be created.
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
