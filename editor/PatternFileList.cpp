#include "editor/PatternFileList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/Platform.h"
#include "platform/Services.h"

namespace kelo {
namespace {

constexpr const char* kPatternExtension = ".pat";
constexpr size_t kExtensionLength = 4;

bool isPatternFile(const std::string& name) {
    if (name.size() <= kExtensionLength) return false;
    for (size_t i = 0; i < kExtensionLength; ++i) {
        const char c = name[name.size() - kExtensionLength + i];
        if (std::tolower(static_cast<unsigned char>(c)) != kPatternExtension[i]) return false;
    }
    return true;
}

std::string joined(const std::string& folder, const std::string& name) {
    const char sep = platform::pathSeparator();
    if (folder.empty() || folder.back() == sep || folder.back() == '/') return folder + name;
    return folder + sep + name;
}

// A link to a folder is listed as no folder; its name may still end in ".pat".
bool isFolderBehindLink(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(path), ec);
}

struct Scan {
    const PatternFileLimits& limits;
    size_t used = 0;

    std::vector<PatternFileNode> list(const std::string& folder, int depth, size_t cap) {
        std::vector<platform::FolderEntry> entries;
        std::vector<PatternFileNode> nodes;
        if (!platform::services().listFolder(folder, entries)) return nodes;
        for (const platform::FolderEntry& e : entries) {
            if (e.isFolder) {
                if (depth < limits.depth) nodes.push_back({e.name, joined(folder, e.name), true, {}});
            } else if (isPatternFile(e.name) && !isFolderBehindLink(joined(folder, e.name))) {
                nodes.push_back({e.name.substr(0, e.name.size() - kExtensionLength), joined(folder, e.name), false, {}});
            }
        }
        std::stable_sort(nodes.begin(), nodes.end(), [](const PatternFileNode& a, const PatternFileNode& b) {
            return a.label != b.label ? a.label < b.label : a.path < b.path;
        });
        std::vector<PatternFileNode> kept;
        for (PatternFileNode& n : nodes) {
            if (kept.size() >= cap || used >= limits.total) break;
            ++used;
            if (n.isFolder) {
                n.children = list(n.path, depth + 1, limits.folderEntries);
                if (n.children.empty()) {
                    --used;
                    continue;
                }
            }
            kept.push_back(std::move(n));
        }
        return kept;
    }
};

} // namespace

std::vector<PatternFileNode> listPatternFiles(const std::string& folder, const PatternFileLimits& limits) {
    Scan scan{limits};
    return scan.list(folder, 0, limits.topEntries);
}

} // namespace kelo
