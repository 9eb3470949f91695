#include "files/ParameterFile.h"

#include "files/PatternFile.h"
#include "files/TextScanner.h"

namespace kelo {
namespace {

constexpr const char* kCaptureNames[CaptureNameCount] = {
    "Tune:",  "Cutoff:", "Resonance:", "Envmod:",   "Decay:",    "Accent:", "Waveform:",
    "Distort:", "Drive:", "Volume:",   "DistType:", "HighPass:", "Tempo:",  "Version:"};

// Parameter index of each knob name, in capture order (Tune .. HighPass).
constexpr int kCaptureParameter[CaptureTempo] = {kTune,       kCutoff, kResonance, kEnvmod,
                                                  kDecay,      kAccent, kWaveform,  kDistortion,
                                                  kDrive,      kVolume, kDistortionType, kHighpassFilter};

constexpr std::size_t kLineWordMax = 40;
constexpr std::size_t kNameKeep = 63;

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

bool endsLineWord(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Skips blanks, then takes a word of at most kLineWordMax characters.
std::string_view nextLineWord(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && pos - start < kLineWordMax && !endsLineWord(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

} // namespace

void clearParameterCapture(ParameterCapture& c) {
    for (int i = 0; i < kCaptureSlots; ++i) {
        c.values[i] = -1.0f;
        c.present[i] = 0;
    }
}

void parseParameterLine(ParameterCapture& c, std::string_view text) {
    std::size_t pos = 0;
    for (;;) {
        const std::string_view name = nextLineWord(text, pos);
        const std::string_view value = nextLineWord(text, pos);
        if (value.empty()) return;
        for (int i = 0; i < CaptureNameCount; ++i) {
            if (name == kCaptureNames[i]) {
                c.values[i] = toFloat(parseDecimal(value));
                c.present[i] = 1;
                break;
            }
        }
    }
}

void applyParameterLines(const ParameterCapture& c, const EngineSettings& s, ParameterWriter& params,
                         const std::function<void(double bpm)>& setTempo) {
    if (!s.loadParameters) return;
    for (int i = 0; i < CaptureTempo; ++i)
        if (c.present[i]) params.setParameter(kCaptureParameter[i], clamp01(c.values[i]));
    if (c.present[CaptureTempo] && s.syncMode == 0 && c.values[CaptureTempo] >= 0.000001f && setTempo)
        setTempo(double(c.values[CaptureTempo]));
}

std::string companionPath(const std::string& patternPath) {
    std::size_t dot = patternPath.rfind('.');
    // A dot inside a folder name is not an extension.
    for (std::size_t i = dot == std::string::npos ? patternPath.size() : dot; i < patternPath.size(); ++i)
        if (isSeparator(patternPath[i])) dot = std::string::npos;
    std::string result = dot == std::string::npos ? patternPath + ".param" : patternPath.substr(0, dot) + ".param";
    // A pattern saved as "x.param" must not be overwritten by its own companion.
    if (equalsNoCase(result, patternPath)) result = patternPath + ".param";
    return result;
}

std::string formatParameterFile(const ParameterWriter& params) {
    std::string out;
    for (int i = 0; i < kNumParameters; ++i) {
        out += '"';
        out += parameterName(i);
        out += "\" = ";
        out += formatFixed6(params.getParameter(i));
        out += '\n';
    }
    return out;
}

void parseParameterFile(ParameterWriter& params, const std::string& text) {
    TextScanner sc(text);
    for (;;) {
        const int c = sc.get();
        if (c == TextScanner::kEnd) return;
        if (c != '"') continue; // anything outside a quoted name is skipped
        std::string name;
        bool tooLong = false;
        for (int k = sc.get(); k != TextScanner::kEnd && k != '"'; k = sc.get()) {
            if (name.size() < kNameKeep) name.push_back(char(k));
            else tooLong = true;
        }
        sc.skipSpace();
        if (!sc.literal('=')) continue;
        double value = 0.0;
        if (!sc.scanDecimal(value)) continue;
        sc.skipSpace();
        if (tooLong) continue;
        for (int i = 0; i < kNumParameters; ++i) {
            if (name == parameterName(i)) {
                params.setParameter(i, clamp01(toFloat(value)));
                break;
            }
        }
    }
}

bool savePatternWithParameters(const Pattern& p, const std::string& path, const ParameterWriter& params) {
    if (!writePattern(p, path)) return false;
    // A companion that cannot be created at all is skipped; one that was begun and failed has
    // left the previous knob settings beside the new pattern, and the user must hear of it.
    return replaceTextFile(companionPath(path), formatParameterFile(params)) != platform::ReplaceResult::Failed;
}

bool loadPatternWithParameters(Pattern& p, const std::string& path, ParameterCapture& capture,
                               const EngineSettings& s, ParameterWriter& params) {
    if (!readPattern(p, path, &capture)) return false;
    if (s.loadParameters) {
        std::string text;
        if (TextScanner::loadFile(companionPath(path), text)) parseParameterFile(params, text);
    }
    return true;
}

} // namespace kelo
