// kelo-analyze: transcribes a recording of one measure of a bass pattern from the command line.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analyzer/PatternDetector.h"
#include "analyzer/WaveBuffer.h"
#include "files/PatternFile.h"

namespace {

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

int usage() {
    std::fprintf(stderr,
                 "usage: kelo-analyze FILE.wav|FILE.aif [--steps N] [--no-pitch] [--no-rhythm]\n"
                 "                    [-o OUT.pat]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kelo;
    std::string path;
    std::string outPath;
    int steps = 0;
    bool pitch = true;
    bool rhythm = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--steps" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || n < 1 || n > kMaxSteps) {
                std::fprintf(stderr, "kelo-analyze: --steps wants a number from 1 to 64\n");
                return 2;
            }
            steps = int(n);
        } else if (arg == "-o" && i + 1 < argc) {
            outPath = argv[++i];
        } else if (arg == "--no-pitch") {
            pitch = false;
        } else if (arg == "--no-rhythm") {
            rhythm = false;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else if (path.empty()) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty()) return usage();

    WaveBuffer recording;
    std::string error;
    if (!loadWaveFile(recording, path, error)) {
        std::fprintf(stderr, "kelo-analyze: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    normalizeWave(recording);

    Pattern pattern{};
    pattern.header = 16;
    pattern.setStepCount(steps ? steps : stepCountFromFileName(path, 16));

    AnalyzerOptions options;
    options.pitch = pitch;
    options.rhythm = rhythm;
    if (!applyDetection(recording, pattern, options)) {
        std::fprintf(stderr, "kelo-analyze: %s: detection failed (out of memory)\n", path.c_str());
        return 1;
    }

    std::printf("%s: %d frames at %d Hz, %d steps\n", path.c_str(), recording.frameCount,
                recording.sampleRate, pattern.stepCount());
    std::printf("step  note  octave  gate  accent  slide\n");
    for (int i = 0; i < pattern.stepCount(); ++i) {
        const PatternStep& s = pattern.steps[i];
        const char* octave = (s.flags & StepUp) ? (s.flags & StepDown ? "-" : "up") : (s.flags & StepDown ? "down" : "-");
        // Sounding pitch with C4 = MIDI 60, so the pattern's base C is C2.
        const int midi = stepMidiNote(s);
        const std::string name = std::string(kNoteNames[midi % 12]) + std::to_string(midi / 12 - 1);
        std::printf("%4d  %-4s  %-6s  %-4s  %-6s  %s\n", i + 1, name.c_str(), octave, (s.flags & StepGate) ? "x" : ".",
                    (s.flags & StepAccent) ? "x" : ".", (s.flags & StepSlide) ? "x" : ".");
    }
    // The tempo at which one measure of the pattern lasts as long as the recording's measure
    // does (from its first step to its end, which is the file's end unless silence follows).
    const MeasureGrid grid = measureGrid(recording, pattern.stepCount());
    const double bpm = matchedTempo(int32_t(std::lround(grid.stepLength * std::min(pattern.stepCount(), kMaxSteps))),
                                    pattern.stepCount(), recording.sampleRate);
    if (bpm > 0.0)
        std::printf("tempo: %.2f BPM\n", bpm);
    else
        std::printf("tempo: none (recording shorter than one sample per step)\n");

    if (!outPath.empty() && !writePattern(pattern, outPath)) {
        std::fprintf(stderr, "kelo-analyze: %s: cannot write the pattern file\n", outPath.c_str());
        return 1;
    }
    return 0;
}
