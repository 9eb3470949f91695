#pragma once
// Windows: how the common dialogs are set up, apart from showing them (tests check it under
// wine without a dialog on screen).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/Services.h"

namespace kelo::platform::win32 {

// Room for the chosen names: one path, or several files of one folder.
constexpr size_t kFileBufferSize = 1024;
constexpr size_t kMultipleFileBufferSize = 10240;

// What an OPENFILENAMEA points to; it must outlive the dialog call.
struct OpenFileNameStrings {
    std::string filter;
    std::string title;
    std::string initialFolder;
    std::string defaultExtension;
    std::vector<char> file;
};

// Fills ofn for GetOpenFileNameA (open) or GetSaveFileNameA (save).
void buildOpenFileName(const FileDialogRequest& request, HWND owner, OpenFileNameStrings& strings,
                       OPENFILENAMEA& ofn);

// The window a dialog belongs to: the top-level window around the requesting one, else the
// foreground window when it is one of this process's; null otherwise.
HWND dialogOwner(const void* requested);

// The activation context of the module that holds this code, made from the manifest it carries
// as resource 2 (common controls 6, so the dialogs look like the system's own). Null when the
// module carries none.
HANDLE moduleActivationContext();

} // namespace kelo::platform::win32
