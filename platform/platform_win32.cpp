// Windows: the shell's personal-documents folder and the system tick counter.
#include "platform/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlobj.h>

namespace kelo::platform {

std::string documentsFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    std::string s(path);
    while (s.size() > 3 && (s.back() == '\\' || s.back() == '/'))
        s.pop_back();
    return s;
}

namespace detail {
uint32_t osTickCount() { return static_cast<uint32_t>(GetTickCount()); }
} // namespace detail

char pathSeparator() { return '\\'; }

} // namespace kelo::platform
