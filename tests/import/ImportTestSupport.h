#pragma once
// Helpers shared by the import and export tests.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "files/ParameterWriter.h"
#include "sequencer/Pattern.h"

namespace kelo::test {

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::filesystem::path& p) {
    const std::vector<uint8_t> bytes = readBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

inline void writeText(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// A scratch folder removed when the test ends.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag)
        : path_(std::filesystem::temp_directory_path() / ("kelo-" + tag + "-" + std::to_string(std::random_device{}()))) {
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

// Content no import produces (shuffle 0x23 and an uninterpreted header bit included), so changes show.
inline void fillSentinel(PatternBank& bank) {
    for (int i = 0; i < kNumPatterns; ++i) {
        bank.patterns[i].header = 0x00012300u | uint32_t(i % 50 + 1);
        for (int s = 0; s < kMaxSteps; ++s) bank.patterns[i].steps[s] = PatternStep{uint8_t(40 + s % 20), 0xE0};
    }
}

static_assert(sizeof(Pattern) == 4 + 2 * kMaxSteps, "memcmp below needs a Pattern without padding");
inline bool samePattern(const Pattern& a, const Pattern& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct RecordingParams : ParameterWriter {
    void setParameter(int index, float value) override { values[index] = value; }
    float getParameter(int index) const override { return values.contains(index) ? values.at(index) : -1.0f; }
    std::map<int, float> values;
};

} // namespace kelo::test
