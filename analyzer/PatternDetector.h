#pragma once
// Transcription of a one-measure recording into a pattern. The measure (from the first
// note's onset to the recording's end, or to where the notes show it ends when silence follows)
// is cut into as many equal windows as the pattern has steps; each window is judged for a note,
// its pitch, accent and slide. Every threshold is a share of the step length or of the
// recording's own typical note level, so neither the file's rate nor the synth's loudness or
// ring-out moves them: a note must stand above what still sounds from the step before, an
// accent is the louder of two level groups, a slide keeps its level to the step's end. Pitch
// comes from the normalised difference of whole waves; a note slid into is the note whose
// glide the recording follows best, with the synth's glide time and lag fitted to the
// recording's own glides. Runs on the editor thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>

#include "analyzer/WaveBuffer.h"
#include "files/EngineSettings.h"
#include "sequencer/Pattern.h"
#include "sequencer/Sequencer.h"

namespace kelo {

// Process-wide analyzer switches; not saved.
struct AnalyzerOptions {
    std::atomic<bool> pitch{true};
    std::atomic<bool> rhythm{true};
    std::atomic<bool> matchTempo{false};
};

// The one set shared by every instance in the process.
AnalyzerOptions& analyzerOptions();

// Pitch reported for a step that sounds but gives no usable period (too few crossings, or
// no two similar ones in a row): the pattern keeps its note for that step.
constexpr int32_t kUnknownPitch = std::numeric_limits<int32_t>::min();
// Pitch reported for a rest.
constexpr int32_t kRestPitch = 1;

struct DetectedSteps {
    std::array<int32_t, kMaxSteps> pitch{}; // MIDI note (note 0 = 8.175799 Hz), or kUnknownPitch
    std::array<int32_t, kMaxSteps> gate{};
    std::array<int32_t, kMaxSteps> accent{};
    std::array<int32_t, kMaxSteps> slide{};
};

// Where the measure lies in a recording: it starts at the first note's onset (or, when the
// measure opens with rests, that many steps before it), so leading silence does not shift the
// steps, and ends with the recording unless the recording goes on in silence after its last
// note, when the end that puts the notes' starts on step boundaries is found. Positions in
// frames; a grid for the whole recording when nothing sounds.
struct MeasureGrid {
    double start = 0.0;
    double stepLength = 0.0;
};
MeasureGrid measureGrid(const WaveBuffer& recording, int steps);

// Fills steps 0..steps-1 (steps above 64 are taken as 64). False when steps < 1 (nothing
// written) or when the scratch memory cannot be had.
bool detectSteps(const WaveBuffer& recording, DetectedSteps& out, int steps);

// MIDI note for a mean period in samples at the given file rate, rounded to the nearest
// note: a well-tuned note measures a hair either side of its number (401 samples at
// 44100 Hz is 44.996, note 45); truncating put most of the instrument's own notes a
// semitone low.
int32_t pitchFromPeriod(int32_t sampleRate, float period);

// Writes one detected pitch into a step: note byte and octave flags (StepUp/StepDown).
void writeStepPitch(PatternStep& step, int32_t pitch);

// The "Detect" command: detects on the recording and writes the results into the pattern
// (note and octave flags when Pitch is on; gate, accent and slide when Rhythm is on). Steps
// from the step count on are not touched. Each step is written whole, as the sequencer may
// be reading the pattern. False when detection could not run (the pattern is then unchanged
// except that its step count is brought into 1..64).
bool applyDetection(const WaveBuffer& recording, Pattern& pattern, const AnalyzerOptions& options);

// Tempo (beats per minute) at which one measure of `steps` sixteenths lasts as long as a
// recording of `frames` frames played at `sampleRate`; 0 when there is no such tempo.
double matchedTempo(int32_t frames, int steps, double sampleRate);

// Tempo matching of the analyzer refresh: when Match Tempo is on and a recording and a step
// count exist, switches host sync off and hands the matched tempo to `setTempo`. Returns
// the tempo set, or 0 when nothing was done.
double matchTempo(const WaveBuffer& recording, const Pattern& pattern, const AnalyzerOptions& options,
                  double hostSampleRate, EngineSettings& settings,
                  const std::function<void(double)>& setTempo);

inline double matchTempo(const WaveBuffer& recording, const Pattern& pattern,
                         const AnalyzerOptions& options, double hostSampleRate,
                         EngineSettings& settings, Sequencer& sequencer) {
    return matchTempo(recording, pattern, options, hostSampleRate, settings,
                      [&sequencer](double bpm) { sequencer.setTempo(bpm); });
}

} // namespace kelo
