#pragma once
// Reading and writing "Gui.ini".
#include <string>
#include <string_view>

#include "files/EditorSettings.h"

namespace kelo {

// Reads the file at `path` into `s`; false, with `s` unchanged, when it cannot be opened.
bool readEditorSettings(EditorSettings& s, const std::string& path);
// The same on text already in memory.
void parseEditorSettings(EditorSettings& s, std::string_view text);

// Creates or truncates `path` with the fixed set of lines; false when that fails.
bool writeEditorSettings(const EditorSettings& s, const std::string& path);
// The exact text writeEditorSettings puts in the file.
std::string formatEditorSettings(const EditorSettings& s);

} // namespace kelo
