#pragma once
// What the system dialogs are told and what their answers mean, kept apart from showing them
// so it can be checked on any system: the command lines of the Linux dialog programs (zenity,
// kdialog) and the strings of the Windows common dialogs.
#include <string>
#include <vector>

#include "platform/Services.h"

namespace kelo::platform::dialogs {

enum class Program { kZenity, kKdialog };

// The arguments after the program's name.
std::vector<std::string> fileDialogArgs(Program program, const FileDialogRequest& request);
std::vector<std::string> messageArgs(Program program, const MessageRequest& request);

// The chosen paths in a dialog program's output: one absolute path a line, anything else
// ignored (stray output is no answer). A single-choice dialog answers with its first path; a
// save dialog's name gets the default extension.
std::vector<std::string> filesFromOutput(const std::string& output, const FileDialogRequest& request);

// path + "." + extension when the path's file name has no extension of its own.
std::string withDefaultExtension(const std::string& path, const std::string& extension, char separator = '/');

// Where a dialog starts: the default name when it is a full path, else the initial folder
// joined with the default name (a folder ends with the separator, so the dialog opens in it).
std::string startPath(const FileDialogRequest& request, char separator = '/');

// Windows common dialogs: "label\0*.a;*.b\0...\0\0" ("*.*" for a filter without extensions).
std::string win32FilterString(const std::vector<FileFilter>& filters);
// The files in an OPENFILENAME buffer: a full path, or with multiple selection the folder
// followed by the names, each ended by a NUL, the list by a second NUL. Without multiple
// selection only the first string counts (the rest of the buffer may hold an older name).
std::vector<std::string> win32SelectedFiles(const char* buffer, size_t size, bool multiple);
// The command line that opens a file in the system text editor: both paths quoted.
std::string notepadCommandLine(const std::string& windowsFolder, const std::string& file);

} // namespace kelo::platform::dialogs
