#include "analyzer/PatternDetector.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace kelo {

namespace {

// Window energy above this (mean square, after normalisation) means a note sounds.
constexpr float kEnergyThreshold = 0.001f;
// Samples at a window's end left out of the energy sums: the release of a note that ends
// in its own step must not count as sound, whatever the file rate.
constexpr int64_t kEnergyGuard = 1000;
// A sample above this (after normalisation) marks an accented step.
constexpr float kLoudLevel = 0.5f;
// Successive periods closer than this (in samples) belong to one steady note.
constexpr float kSteadyPeriodSpread = 10.0f;

struct Span {
    const float* data;
    int64_t size;
    float at(int64_t i) const { return (i >= 0 && i < size) ? data[i] : 0.0f; }
};

// The range routines below start from +-1e8, so an empty range gives that bound.
float largestAbs(Span s, int64_t first, int64_t count) {
    float r = -1e8f;
    for (int64_t i = first; i < first + count; ++i) r = std::max(r, std::fabs(s.at(i)));
    return r;
}
float smallest(Span s) {
    float r = 1e8f;
    for (int64_t i = 0; i < s.size; ++i) r = std::min(r, s.data[i]);
    return r;
}
float largest(Span s) {
    float r = -1e8f;
    for (int64_t i = 0; i < s.size; ++i) r = std::max(r, s.data[i]);
    return r;
}

// Mean square of `count` samples from `first`; no energy for an empty or negative count.
float meanSquare(Span s, int64_t first, int64_t count) {
    if (count <= 0 || first < 0 || first + count > s.size) return 0.0f;
    double sum = 0.0;
    for (int64_t i = first; i < first + count; ++i) sum += double(s.data[i]) * double(s.data[i]);
    return float(sum) / float(count);
}

} // namespace

AnalyzerOptions& analyzerOptions() {
    static AnalyzerOptions options;
    return options;
}

int32_t pitchFromPeriod(int32_t sampleRate, float period) {
    if (sampleRate <= 0 || !(period > 0.0f)) return kUnknownPitch;
    const float f = float(sampleRate) / period;
    const float lnF = std::log(f);
    const float lnNote0 = std::log(8.175799f);
    const double semitones = double(lnF - lnNote0) * 12.0 / 0.6931471824645996;
    const float nearest = std::floor(float(semitones) + 0.5f);
    // Only a period far outside any recording gets here; keep the conversion defined.
    if (!(std::fabs(nearest) < 1e6f)) return kUnknownPitch;
    return int32_t(nearest);
}

bool detectSteps(const WaveBuffer& recording, DetectedSteps& out, int steps) {
    if (steps < 1) return false;
    steps = std::min(steps, kMaxSteps);
    const Span wave{recording.samples.data(), recording.frames()};
    const int64_t n = wave.size;
    const auto stepLength = int64_t(std::ceil(float(n) / float(steps)));

    // A crossing needs a negative sample before it, so a window holds at most len/2 + 1.
    std::vector<int64_t> crossings;
    std::vector<float> periods;
    try {
        crossings.reserve(size_t(stepLength / 2) + 2);
        periods.reserve(size_t(stepLength / 2) + 2);
    } catch (const std::bad_alloc&) {
        return false;
    }

    bool previousTail = false;
    for (int k = 0; k < steps; ++k) {
        const int64_t start = int64_t(k) * stepLength;
        const int64_t end = std::min(start + stepLength, n);
        const int64_t len = end - start; // negative past the recording's end

        const float peak = largestAbs(wave, start, len);
        const auto arm = float(double(peak) * -0.1);
        const auto tailStart = int64_t(std::floor(double(start) + 0.75 * double(stepLength)));
        const bool present = meanSquare(wave, start, len - kEnergyGuard) > kEnergyThreshold;
        const bool tail = meanSquare(wave, tailStart, end - tailStart - kEnergyGuard) > kEnergyThreshold;

        // A crossing is the first non-negative sample after the wave dipped below a tenth of
        // the step's peak, so ripples around zero are not counted as cycles.
        bool loud = false;
        bool armed = false;
        float previous = 0.0f;
        crossings.clear();
        for (int64_t i = start; i < end; ++i) {
            const float x = wave.at(i);
            if (std::fabs(x) > kLoudLevel) loud = true;
            if (x < arm) armed = true;
            if (previous < 0.0f && x >= 0.0f && armed) {
                crossings.push_back(i);
                armed = false;
            }
            previous = x;
        }
        periods.clear();
        for (size_t j = 1; j < crossings.size(); ++j) periods.push_back(float(crossings[j] - crossings[j - 1]));

        if (!present) {
            out.pitch[size_t(k)] = kRestPitch;
            out.gate[size_t(k)] = 0;
            out.accent[size_t(k)] = 0;
            out.slide[size_t(k)] = 0;
            previousTail = tail;
            continue;
        }

        bool havePeriod = false;
        float period = 0.0f;
        const Span p{periods.data(), int64_t(periods.size())};
        if (previousTail) {
            // Slid into: the note's pitch is where the glide ends.
            if (p.size > 0) {
                period = (p.data[0] > p.data[p.size - 1]) ? smallest(p) : largest(p);
                havePeriod = true;
            }
        } else {
            float before = 0.0f;
            float sum = 0.0f;
            int count = 0;
            for (int64_t j = 0; j < p.size; ++j) {
                if (std::fabs(p.data[j] - before) < kSteadyPeriodSpread) {
                    sum += p.data[j];
                    ++count;
                }
                before = p.data[j];
            }
            if (count > 0) {
                period = sum / float(count);
                havePeriod = true;
            }
        }

        out.pitch[size_t(k)] = havePeriod ? pitchFromPeriod(recording.sampleRate, period) : kUnknownPitch;
        out.gate[size_t(k)] = 1;
        out.accent[size_t(k)] = loud ? 1 : 0;
        out.slide[size_t(k)] = tail ? 1 : 0;
        previousTail = tail;
    }
    return true;
}

void writeStepPitch(PatternStep& step, int32_t pitch) {
    const auto octave = int32_t(std::floor(double(pitch) / 12.0));
    auto note = uint8_t(pitch - 12 * (pitch / 12));
    uint8_t flags = uint8_t(step.flags & ~(StepUp | StepDown));
    if (octave < 3) flags |= StepDown;
    if (octave > 3) flags |= StepUp;
    if (octave > 4) note = uint8_t(note + 12);
    while (int8_t(note) < 0) note = uint8_t(note + 12);
    step.note = note;
    step.flags = flags;
}

bool applyDetection(const WaveBuffer& recording, Pattern& pattern, const AnalyzerOptions& options) {
    // The header field holds up to 127; only 64 steps exist.
    const int steps = std::min(pattern.stepCount(), kMaxSteps);
    DetectedSteps detected;
    const bool ran = steps != 0 && detectSteps(recording, detected, steps);
    pattern.setStepCount(pattern.stepCount());
    if (!ran) return false;

    const bool pitch = options.pitch.load();
    const bool rhythm = options.rhythm.load();
    for (int i = 0; i < steps; ++i) {
        const auto k = size_t(i);
        PatternStep step = pattern.steps[i];
        if (pitch && detected.pitch[k] != kUnknownPitch) writeStepPitch(step, detected.pitch[k]);
        if (rhythm) {
            step.flags = uint8_t(step.flags & ~(StepAccent | StepGate | StepSlide));
            if (detected.accent[k]) step.flags |= StepAccent;
            if (detected.gate[k]) step.flags |= StepGate;
            if (detected.slide[k]) step.flags |= StepSlide;
        }
        pattern.steps[i] = step;
    }
    return true;
}

double matchedTempo(int32_t frames, int steps, double sampleRate) {
    if (frames < 1 || steps < 1 || !(sampleRate > 0.0)) return 0.0;
    // Whole samples per step, as the sequencer counts them.
    const int32_t perStep = frames / steps;
    if (perStep < 1) return 0.0;
    return sampleRate * 60.0 / (double(perStep) * 4.0);
}

double matchTempo(const WaveBuffer& recording, const Pattern& pattern, const AnalyzerOptions& options,
                  double hostSampleRate, EngineSettings& settings,
                  const std::function<void(double)>& setTempo) {
    if (!options.matchTempo.load() || !recording.loaded) return 0.0;
    const int steps = std::min(pattern.stepCount(), kMaxSteps);
    const double bpm = matchedTempo(recording.frames(), steps, hostSampleRate);
    if (bpm <= 0.0) return 0.0;
    settings.syncMode = 0;
    if (setTempo) setTempo(bpm);
    return bpm;
}

} // namespace kelo
