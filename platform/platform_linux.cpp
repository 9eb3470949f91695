// Linux (and other freedesktop systems): the documents folder comes from the
// user-dirs.dirs file that xdg-user-dirs maintains, so localised names are honoured.
#include "platform/Platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kelo::platform {
namespace {

std::string envOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string stripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool readWholeFile(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.append(buf, n);
        if (out.size() > (1u << 20)) // not a settings file; refuse to slurp it
            break;
    }
    std::fclose(f);
    return true;
}

// Value of XDG_DOCUMENTS_DIR in the shell-like syntax of user-dirs.dirs:
//   XDG_DOCUMENTS_DIR="$HOME/Documents"   or   XDG_DOCUMENTS_DIR="/abs/path"
// The last assignment wins, as it would when the shell sources the file. Values that are
// neither $HOME-relative nor absolute are ignored, as xdg-user-dirs itself does.
std::string documentsFromUserDirs(const std::string& text, const std::string& home) {
    std::string result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;

        size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] == '#')
            continue;
        static const std::string key = "XDG_DOCUMENTS_DIR";
        if (line.compare(i, key.size(), key) != 0)
            continue;
        i += key.size();
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos || line[i] != '=')
            continue;
        ++i;

        std::string value;
        if (i < line.size() && line[i] == '"') {
            bool closed = false;
            for (++i; i < line.size(); ++i) {
                char c = line[i];
                if (c == '\\' && i + 1 < line.size()) {
                    value += line[++i];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                continue;
        } else {
            size_t end = line.find_first_of(" \t\r#", i);
            value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
        }
        if (!value.empty() && value.back() == '\r')
            value.pop_back();

        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            if (home.empty())
                continue;
            value = home + value.substr(5);
        } else if (value.rfind("${HOME}", 0) == 0 && (value.size() == 7 || value[7] == '/')) {
            if (home.empty())
                continue;
            value = home + value.substr(7);
        } else if (value.empty() || value[0] != '/') {
            continue;
        }
        result = stripTrailingSlashes(value);
    }
    return result;
}

} // namespace

std::string documentsFolder() {
    const std::string home = stripTrailingSlashes(envOr("HOME"));

    std::string configHome = envOr("XDG_CONFIG_HOME");
    // The base-directory rules say relative values are invalid and must be ignored.
    if (configHome.empty() || configHome[0] != '/')
        configHome = home.empty() ? std::string() : home + "/.config";

    if (!configHome.empty()) {
        std::string text;
        if (readWholeFile(stripTrailingSlashes(configHome) + "/user-dirs.dirs", text)) {
            std::string docs = documentsFromUserDirs(text, home);
            if (!docs.empty())
                return docs;
        }
    }
    if (home.empty() || home[0] != '/')
        return {};
    return home == "/" ? std::string("/Documents") : home + "/Documents";
}

namespace detail {
uint32_t osTickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}
} // namespace detail

char pathSeparator() { return '/'; }

} // namespace kelo::platform
