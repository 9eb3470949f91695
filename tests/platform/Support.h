#pragma once
// What the platform tests share.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "platform/Services.h"

namespace kelo::platform::test {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls the services until done() holds; false after `seconds`.
template <typename F> bool pollUntil(F done, int seconds = 5) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds); !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        services().poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A folder of its own for a test, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir() { fs::create_directories(path_); }
    ~ScratchDir() { fs::remove_all(path_, ignored_); }
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    const fs::path path_ = fs::temp_directory_path() / ("kelo-test-" + std::to_string(std::random_device{}()));
    std::error_code ignored_;
};

#if !defined(_WIN32)
// Environment variables set for a test, put back afterwards.
class Environment {
public:
    ~Environment() {
        for (auto& [name, value] : saved_) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    void set(const std::string& name, const char* value) {
        const char* old = std::getenv(name.c_str());
        saved_.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
    }
    void set(const std::string& name, const std::string& value) { set(name, value.c_str()); }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};
#endif

} // namespace kelo::platform::test
