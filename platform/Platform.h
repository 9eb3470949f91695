#pragma once
// The few operating-system services the instrument needs. Everything else is portable.
#include <cstdint>
#include <string>

namespace kelo::platform {

// The user's documents folder, without a trailing separator; empty when unknown.
// Linux: XDG_DOCUMENTS_DIR from user-dirs.dirs, else $HOME/Documents.
// Windows: the shell's personal-documents folder.
std::string documentsFolder();

// Per-user data folder: documents folder + "/Orvanta/KELO/" (Windows: "\Orvanta\KELO\"),
// always ending with the platform separator. Empty when the documents folder is unknown.
std::string dataFolder();

// Creates the folder and its parents when missing; true when it exists afterwards.
bool ensureFolder(const std::string& path);

// Milliseconds since an arbitrary start (wraps like a 32-bit tick count); services().tickCount(),
// so tests that install their own services (platform/Services.h) set the time.
uint32_t tickCount();

char pathSeparator();

} // namespace kelo::platform
