// Platform services that std::filesystem already covers on every system.
#include "platform/Platform.h"

#include <filesystem>
#include <system_error>

namespace kelo::platform {

std::string dataFolder() {
    std::string docs = documentsFolder();
    if (docs.empty())
        return {};
    const char sep = pathSeparator();
    // A documents folder at a root ("/" or "C:\") already ends with the separator.
    if (docs.back() != sep)
        docs += sep;
    return docs + "Orvanta" + sep + "KELO" + sep;
}

bool ensureFolder(const std::string& path) {
    if (path.empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(path);
    fs::create_directories(p, ec);
    // create_directories reports an error for an existing folder on some libraries
    // (trailing separator); only the final state matters.
    return fs::is_directory(p, ec);
}

} // namespace kelo::platform
