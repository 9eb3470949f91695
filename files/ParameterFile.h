#pragma once
// Knob settings that travel with single patterns: the companion ".param" file written beside a
// pattern file, and "Name: value" pairs inside the pattern file's comment lines.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "files/EngineSettings.h"
#include "files/ParameterTable.h"
#include "files/ParameterWriter.h"
#include "sequencer/Pattern.h"

namespace kelo {

constexpr int kCaptureSlots = 128;

// Indexes into the capture, in the order of the names parameter lines use.
enum CaptureIndex {
    CaptureTune, CaptureCutoff, CaptureResonance, CaptureEnvmod, CaptureDecay, CaptureAccent,
    CaptureWaveform, CaptureDistort, CaptureDrive, CaptureVolume, CaptureDistType, CaptureHighPass,
    CaptureTempo, CaptureVersion, CaptureNameCount
};

struct ParameterCapture {
    float values[kCaptureSlots];
    int32_t present[kCaptureSlots];
};

// All values -1 and nothing present.
void clearParameterCapture(ParameterCapture& c);
// Takes whitespace-separated words of a comment in pairs (name, value) and records the names
// it knows ("Cutoff:", "Tempo:", ...; case-sensitive).
void parseParameterLine(ParameterCapture& c, std::string_view text);
// Applies a capture when LoadParameters is on: the knob values through `params`, then a
// captured tempo through `setTempo` unless the tempo follows the host.
void applyParameterLines(const ParameterCapture& c, const EngineSettings& s, ParameterWriter& params,
                         const std::function<void(double bpm)>& setTempo);

// The pattern path with its extension replaced by ".param"; never the pattern path itself.
std::string companionPath(const std::string& patternPath);

// The 13 lines "\"<name>\" = <value>" of a companion file, and their reader.
std::string formatParameterFile(const ParameterWriter& params);
void parseParameterFile(ParameterWriter& params, const std::string& text);

// Writes the pattern, then its companion file (skipped silently when it cannot be created).
// False when the pattern could not be written, or the companion was created but could not be
// written whole (its previous contents then stay, mismatched with the new pattern).
bool savePatternWithParameters(const Pattern& p, const std::string& path, const ParameterWriter& params);
// Reads the pattern capturing its parameter lines, then applies the companion file when
// LoadParameters is on. The caller applies the captured lines afterwards (applyParameterLines),
// so a value in both takes the parameter line's. The answer is that of the pattern read.
bool loadPatternWithParameters(Pattern& p, const std::string& path, ParameterCapture& capture,
                               const EngineSettings& s, ParameterWriter& params);

} // namespace kelo
