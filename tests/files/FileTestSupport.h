#pragma once
// Helpers for the file and import tests: a scratch folder per test (so they never touch the
// user's data), parameter slots that remember every write, and banks that show what changed.
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

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

namespace kelo::test {

#if !defined(_WIN32)
// While it lives, a write that grows a file past `bytes` fails part-way, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previous_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
private:
    void (*previous_)(int);
    struct rlimit saved_ {};
};
#endif

class TempDir {
public:
    explicit TempDir(const std::string& tag = "files")
        : path_(std::filesystem::temp_directory_path() /
                ("kelo-" + tag + "-" + std::to_string(std::random_device{}()))) {
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

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Without CR, so text-mode files compare the same on every platform.
inline std::string readText(const std::filesystem::path& p) {
    const std::vector<uint8_t> bytes = readBytes(p);
    std::string s(bytes.begin(), bytes.end());
    std::erase(s, '\r');
    return s;
}

struct RecordingParameters : ParameterWriter {
    void setParameter(int index, float value) override {
        writes.push_back({index, value});
        values[index] = value;
    }
    float getParameter(int index) const override { return values.contains(index) ? values.at(index) : 0.0f; }
    std::vector<std::pair<int, float>> writes; // in order
    std::map<int, float> values;               // the last value of each
};

// Content no reader produces (tie flags, shuffle 0x23 and an uninterpreted header bit), so
// untouched patterns show.
inline PatternBank sentinelBank() {
    PatternBank bank;
    for (int i = 0; i < kNumPatterns; ++i) {
        bank.patterns[i].header = 0x00012300u | uint32_t(i % 50 + 1);
        for (int s = 0; s < kMaxSteps; ++s) bank.patterns[i].steps[s] = PatternStep{uint8_t(40 + s % 20), 0xE0};
    }
    return bank;
}

static_assert(sizeof(Pattern) == 4 + 2 * kMaxSteps, "memcmp below needs a Pattern without padding");
inline bool samePattern(const Pattern& a, const Pattern& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool untouched(const PatternBank& bank, int i) {
    static const PatternBank sentinel = sentinelBank();
    return samePattern(bank.patterns[i], sentinel.patterns[i]);
}

} // namespace kelo::test
