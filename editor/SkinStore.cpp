#include "editor/SkinStore.h"

#include <algorithm>
#include <cstdio>

namespace kelo {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Skins written on either system name their files with either separator.
std::string withSeparator(std::string s, char separator) {
    std::replace(s.begin(), s.end(), separator == '/' ? '\\' : '/', separator);
    return s;
}

} // namespace

FolderSkinStore::FolderSkinStore(std::string folder, std::size_t maxFileBytes)
    : folder_(withSeparator(std::move(folder), kSeparator)), maxFileBytes_(maxFileBytes) {
    if (!folder_.empty() && folder_.back() != kSeparator) folder_ += kSeparator;
}

std::string FolderSkinStore::path(const std::string& name) const {
    return folder_ + withSeparator(name, kSeparator);
}

bool FolderSkinStore::read(const std::string& name, std::string& bytes) const {
    std::FILE* f = std::fopen(path(name).c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char buf[16384];
    bool ok;
    for (;;) {
        const std::size_t got = std::fread(buf, 1, sizeof buf, f);
        if (got == 0) {
            ok = !std::ferror(f); // a folder opens, but cannot be read
            break;
        }
        if (bytes.size() + got > maxFileBytes_) {
            ok = false;
            break;
        }
        bytes.append(buf, got);
    }
    std::fclose(f);
    if (!ok) bytes.clear();
    return ok;
}

void MemorySkinStore::add(std::string name, std::string_view bytes) {
    files_.emplace_back(withSeparator(std::move(name), '/'), bytes);
}

bool MemorySkinStore::read(const std::string& name, std::string& bytes) const {
    const std::string wanted = withSeparator(name, '/');
    for (const auto& [fileName, content] : files_) {
        if (fileName == wanted) {
            bytes.assign(content);
            return true;
        }
    }
    return false;
}

} // namespace kelo
