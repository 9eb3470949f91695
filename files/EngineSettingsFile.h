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

} // namespace kelo
