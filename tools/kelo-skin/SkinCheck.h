#pragma once
// "kelo-skin check": everything a skin author needs to know about a skin file, with lines.
#include <ostream>
#include <string>

#include "editor/SkinLoader.h"

namespace kelo {

// Size of a PNG (or other picture stb_image reads) without decoding it; an invalid image for
// anything else, and for pictures above the editor's pixel budget.
SkinImage probeSkinImage(const std::string& name, std::string_view bytes);

struct SkinCheckResult {
    bool opened = false;
    int errors = 0;
    int warnings = 0;
    SkinDefinition skin;
    SkinDiagnostics diagnostics; // sorted by file and line
};

// Reads the skin file at `path` the way the editor loads a skin (its folder stands for the data
// folder, so bitmaps and includes are found next to it) and checks the result.
SkinCheckResult checkSkinFile(const std::string& path);

// Prints the result as "file:line: error: message" lines and a summary; answers the exit code:
// 0 clean (warnings allowed), 1 errors, 2 the file cannot be read.
int printSkinCheck(const std::string& path, const SkinCheckResult& result, std::ostream& out);

} // namespace kelo
