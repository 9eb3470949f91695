#pragma once
// A scratch folder per test (so file tests never touch the user's data) and parameter slots
// that remember every write in order.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/ParameterWriter.h"

namespace kelo::test {

class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kelo-files-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                 "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string folder() const { return (path_ / "").string(); } // with the trailing separator
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }

private:
    std::filesystem::path path_;
};

// Without CR, so text-mode files compare the same on every platform.
inline std::string readText(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    std::string s = ss.str();
    std::erase(s, '\r');
    return s;
}

struct RecordingParameters : ParameterWriter {
    void setParameter(int index, float value) override {
        writes.push_back({index, value});
        if (index >= 0 && index < 256) slots[index] = value;
    }
    float getParameter(int index) const override { return index >= 0 && index < 256 ? slots[index] : 0.0f; }
    std::vector<std::pair<int, float>> writes;
    float slots[256] = {};
};

} // namespace kelo::test
