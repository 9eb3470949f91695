#pragma once
// Gives a test its own user: HOME (and XDG_CONFIG_HOME) point at a fresh folder, so the
// plug-in reads settings the test wrote and writes nothing into the real user's files.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kelo::test {

class ScratchHome {
public:
    ScratchHome() {
        std::random_device rd;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() /
                ("kelo-home-" + std::to_string(stamp) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(root_);
        saveEnv("HOME", savedHome_, hadHome_);
        saveEnv("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
        setEnv("HOME", root_.string());
        setEnv("XDG_CONFIG_HOME", root_.string());
#if defined(_WIN32)
        setEnv("USERPROFILE", root_.string());
#endif
    }
    ~ScratchHome() {
        restoreEnv("HOME", savedHome_, hadHome_);
        restoreEnv("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    std::filesystem::path dataFolder() const { return root_ / "Documents" / "Orvanta" / "KELO"; }

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
    static void setEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
        _putenv_s(name, value.c_str());
#else
        setenv(name, value.c_str(), 1);
#endif
    }
    static void saveEnv(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        value = v ? v : "";
    }
    static void restoreEnv(const char* name, const std::string& value, bool had) {
        if (had) {
            setEnv(name, value);
        } else {
#if defined(_WIN32)
            _putenv_s(name, "");
#else
            unsetenv(name);
#endif
        }
    }

    std::filesystem::path root_;
    std::string savedHome_, savedXdg_;
    bool hadHome_ = false, hadXdg_ = false;
};

} // namespace kelo::test
