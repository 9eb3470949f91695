#pragma once
// Helpers shared by the import and export tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "files/ParameterWriter.h"
#include "sequencer/Pattern.h"

namespace kelo::test {

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void writeText(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// A scratch folder removed when the test ends.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("kelo-" + tag + "-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Every pattern gets a recognisable content that no import produces, so changes show.
inline void fillSentinel(PatternBank& bank) {
    for (int i = 0; i < kNumPatterns; ++i) {
        Pattern& p = bank.patterns[i];
        // Shuffle 0x23 and an uninterpreted bit: imports must keep both.
        p.header = 0x00012300u | uint32_t(i % 50 + 1);
        for (int s = 0; s < kMaxSteps; ++s) p.steps[s] = PatternStep{uint8_t(40 + s % 20), 0xE0};
    }
}

inline bool samePattern(const Pattern& a, const Pattern& b) {
    if (a.header != b.header) return false;
    for (int s = 0; s < kMaxSteps; ++s)
        if (a.steps[s].note != b.steps[s].note || a.steps[s].flags != b.steps[s].flags) return false;
    return true;
}

class RecordingParams : public ParameterWriter {
public:
    void setParameter(int index, float value) override { values[index] = value; }
    float getParameter(int index) const override {
        auto it = values.find(index);
        return it == values.end() ? -1.0f : it->second;
    }
    std::map<int, float> values;
};

} // namespace kelo::test
