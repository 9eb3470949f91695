#pragma once
// One render: loads the plug-in file through the test host, restores the requested bank,
// pattern and mode through its state chunk, plays it the way a host does and streams the
// result to an AudioWriter.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/kelo-render/Options.h"

namespace kelo::render {

enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitBadInput = 2, kExitInterrupted = 130 };

struct RenderResult {
    uint64_t frames = 0;        // frames in the file
    uint64_t releaseFrame = 0;  // where the notes were released (pattern mode: the pattern's key)
    float peak = 0.0f;          // of the plug-in's output, before --normalize
    double gain = 1.0;          // what --normalize scaled the output by
    uint64_t clippedSamples = 0; // integer formats: samples beyond full scale, clipped
    bool tailCut = false;       // the sound was still going when the tail limit was reached
    double tempo = 0.0;         // the tempo the host gave the plug-in
};

// Output below this level (-80 dBFS) counts as silence when the release is trimmed; the
// voice leaves a residue near -96 dBFS for a while after its notes have died away.
constexpr float kSilenceLevel = 1e-4f;
// The release ends once the output has stayed silent this long.
constexpr double kSilenceSeconds = 0.2;
// Block size the host renders with; every block carries at most this many events.
constexpr int kBlockSize = 512;
constexpr int kMaxEventsPerBlock = 64;
// Silence played before the file begins, so that glides towards the values set beforehand
// (volume, smoothed knobs) have arrived at its first sample.
constexpr double kPreRollSeconds = 2.0;
// Renders longer than this (before the release) are refused.
constexpr double kMaxRenderSeconds = 4.0 * 3600.0;

// Where to find the plug-in when --plugin is not given: beside the program, else the one
// the program was built with.
std::string findPlugin(const std::string& programPath);

// progress(done, expected): frames rendered so far and the frames up to the release.
using ProgressFn = std::function<void(uint64_t done, uint64_t expected)>;

// Answers an ExitCode; on failure `error` holds one line saying why and no output exists.
int renderToFile(const Options& options, const std::string& programPath, RenderResult& result,
                 std::string& error, const ProgressFn& progress, const std::atomic<bool>* interrupted);

} // namespace kelo::render
