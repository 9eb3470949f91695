#pragma once
// The command line of kelo-render, parsed into one plain record. Parsing never touches files:
// whether the named files exist is checked when the render opens them.
#include <optional>
#include <string>
#include <vector>

namespace kelo::render {

enum class SampleFormat { Pcm16, Pcm24, Float };

// One --set NAME=VALUE, kept as typed; names are matched against the plug-in's own parameter
// names once it is loaded.
struct ParameterSetting {
    std::string name;
    double value = 0.0;
};

struct Options {
    std::string output = "kelo-demo.wav";
    // The instrument is hot by design (peaks of +6 dBFS and more): floats keep every sample.
    SampleFormat format = SampleFormat::Float;
    std::optional<double> normalizeDb; // --normalize: the file's peak lands on this level
    int pattern = 0;
    int bars = 4;
    double tempo = 120.0;
    bool tempoGiven = false; // --tempo or --set Tempo=...: beats a pattern file's "Tempo:" line
    int sampleRate = 44100;
    double tailSeconds = 10.0; // longest release rendered after the last note
    std::string bank;
    std::string patternFile;
    std::string midiFile;
    std::string pluginPath;
    std::vector<ParameterSetting> settings;
    bool quiet = false;
    bool help = false;
    bool printDataFolder = false; // --data-folder: where the plug-in reads its files
};

constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 999.0;
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMaxBars = 10000;
constexpr double kMaxTailSeconds = 600.0;
constexpr double kMinNormalizeDb = -96.0;
constexpr double kMaxNormalizeDb = 0.0;

// Fills `out` from argv[1..]; false with a one-line reason in `error` on bad input.
bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error);

// Numbers as the command line accepts them: the whole text must be the number.
bool parseInt(const std::string& text, long long& out);
bool parseDouble(const std::string& text, double& out);

// Parameter names compare without regard to letter case, spaces, '-' and '_'.
bool sameParameterName(const std::string& a, const std::string& b);

const char* usageText();

} // namespace kelo::render
