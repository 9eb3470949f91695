#pragma once
// Gives a test its own user, so the plug-in reads only what the test wrote and writes nothing
// into the real user's files. Linux: HOME and XDG_CONFIG_HOME point at a fresh folder.
// Windows: the test runner gives each run a scratch profile; its data folder is emptied.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/Plugin.h"
#include "platform/Platform.h"

namespace kelo::test {

class ScratchHome {
public:
    ScratchHome() {
#if !defined(_WIN32)
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() /
                ("kelo-home-" + std::to_string(now) + "-" + std::to_string(std::random_device{}()));
        for (int i = 0; i < 2; ++i) {
            if (const char* v = std::getenv(kVars[i])) saved_[i] = v;
            setenv(kVars[i], root_.string().c_str(), 1);
        }
#endif
        folder_ = platform::dataFolder();
        std::filesystem::remove_all(folder_, ec_);
    }
    ~ScratchHome() {
        std::filesystem::remove_all(folder_, ec_);
#if !defined(_WIN32)
        for (int i = 0; i < 2; ++i) saved_[i] ? setenv(kVars[i], saved_[i]->c_str(), 1) : unsetenv(kVars[i]);
        std::filesystem::remove_all(root_, ec_);
#endif
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    std::filesystem::path dataFolder() const { return folder_; }
    // Writes a file into the data folder, creating the folder.
    void write(const std::string& name, const std::string& text) const {
        std::filesystem::create_directories(folder_);
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }
    // Without CR: text files are saved with CRLF on Windows.
    std::string read(const std::string& name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        std::string text(std::istreambuf_iterator<char>(in), {});
        std::erase(text, '\r');
        return text;
    }

private:
    static constexpr const char* kVars[2] = {"HOME", "XDG_CONFIG_HOME"};
    std::filesystem::path root_, folder_;
    std::optional<std::string> saved_[2];
    mutable std::error_code ec_;
};

// A started plug-in in its own home, `userIni` as its "User.ini" and `files` beside it, logs
// cleared. The plug-in closes before the home goes, so its shutdown still finds the folder.
struct Kelo {
    ScratchHome home;
    host::Plugin plugin;
    explicit Kelo(const std::string& userIni = "", const std::map<std::string, std::string>& files = {}) {
        if (!userIni.empty()) home.write("User.ini", userIni);
        for (const auto& [name, text] : files) home.write(name, text);
        EXPECT_TRUE(plugin.load()) << plugin.error();
        plugin.start();
        plugin.clearLogs();
    }
    host::Plugin* operator->() { return &plugin; }
};

using Bytes = std::vector<uint8_t>;

// The state chunk as a host saves and restores it.
inline Bytes getChunk(host::Plugin& p, bool preset = false) {
    void* data = nullptr;
    const VstIntPtr n = p.dispatcher(effGetChunk, preset, 0, &data);
    return n > 0 && data ? Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n) : Bytes{};
}
inline void setChunk(host::Plugin& p, const Bytes& c, bool preset = false) {
    p.dispatcher(effSetChunk, preset, VstIntPtr(c.size()), const_cast<uint8_t*>(c.data()));
}
template <class T> void put(Bytes& c, size_t offset, T v) { std::memcpy(c.data() + offset, &v, sizeof v); }
template <class T> T get(const Bytes& c, size_t offset) {
    T v{};
    if (offset + sizeof v <= c.size()) std::memcpy(&v, c.data() + offset, sizeof v);
    return v;
}

} // namespace kelo::test
