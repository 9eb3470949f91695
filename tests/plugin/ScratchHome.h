#pragma once
// Gives a test its own user: HOME (and XDG_CONFIG_HOME) point at a fresh folder, so the
// plug-in reads settings the test wrote and writes nothing into the real user's files.
// On Windows the documents folder does not follow HOME; the test runner gives each run a
// scratch profile instead, and the data folder inside it is emptied before and after.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/Platform.h"

namespace kelo::test {

class ScratchHome {
public:
#if defined(_WIN32)
    ScratchHome() : root_(platform::dataFolder()) { empty(); }
    ~ScratchHome() { empty(); }
    std::filesystem::path dataFolder() const { return root_; }
#else
    ScratchHome() {
        std::random_device rd;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() /
                ("kelo-home-" + std::to_string(stamp) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(root_);
        saveEnv("HOME", savedHome_, hadHome_);
        saveEnv("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
        setenv("HOME", root_.string().c_str(), 1);
        setenv("XDG_CONFIG_HOME", root_.string().c_str(), 1);
    }
    ~ScratchHome() {
        restoreEnv("HOME", savedHome_, hadHome_);
        restoreEnv("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::filesystem::path dataFolder() const { return root_ / "Documents" / "Orvanta" / "KELO"; }
#endif
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    // Writes a file into the data folder, creating the folder.
    void write(const std::string& name, const std::string& text) const {
        std::filesystem::create_directories(dataFolder());
        std::ofstream(dataFolder() / name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dataFolder() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
#if defined(_WIN32)
    void empty() const {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
#else
    static void saveEnv(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        value = v ? v : "";
    }
    static void restoreEnv(const char* name, const std::string& value, bool had) {
        if (had)
            setenv(name, value.c_str(), 1);
        else
            unsetenv(name);
    }

    std::string savedHome_, savedXdg_;
    bool hadHome_ = false, hadXdg_ = false;
#endif
    std::filesystem::path root_;
};

} // namespace kelo::test
