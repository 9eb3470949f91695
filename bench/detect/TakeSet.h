#pragma once
// Recordings of random one-measure patterns for measuring the pattern detector, and the
// scores of a transcription against what was played. KELO plays its own sequencer; another
// 303-style synth (Nekobi, from Debian's dpf-plugins-vst) plays the same patterns from MIDI
// notes with the same timing: gate closed half a step before the step ends, slides as
// overlapping notes, accents as high velocities. Both go through the host library.
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analyzer/WaveBuffer.h"
#include "sequencer/Pattern.h"

namespace kelo::bench {

enum class Synth { Kelo, Nekobi };
const char* synthName(Synth synth);
// The other synth's plug-in file; "" when it is not installed (or on Windows).
std::string nekobiPath();

// A named set of parameter values (index, normalised value) for one synth.
struct Sound {
    const char* name;
    std::vector<std::pair<int, float>> parameters;
};
const std::vector<Sound>& sounds(Synth synth);

struct TakeRequest {
    Synth synth = Synth::Kelo;
    int sound = 0; // index into sounds(synth)
    double bpm = 125.0;
    int sampleRate = 44100;
    int count = 24;          // patterns, at most 128
    uint32_t seed = 1;       // patterns and silences
    double maxSilenceMs = 500.0;
    double maxTrailingMs = 0.0; // silence after the measure, a quarter of this to all of it
};

// One recording: leading silence, then one measure of 16 sixteenths (and any trailing
// silence), peak at 0.9 and quantised to 16 bits as a recorded file would be.
struct Take {
    Pattern played{};
    int silenceFrames = 0;
    int trailingFrames = 0;
    int sampleRate = 0;
    std::vector<float> samples;
    // Loads the recording as "Load Audio" leaves it (normalised).
    void load(WaveBuffer& buffer) const;
};

bool renderTakes(const TakeRequest& request, std::vector<Take>& out, std::string& error);

// 16 steps, no ties, no shuffle: gates, notes over three octaves, accents and slides (only on
// gated steps) drawn at random.
Pattern randomPattern(std::mt19937& rng);

struct Score {
    int hits = 0;
    int total = 0;
    void add(bool hit) {
        hits += hit ? 1 : 0;
        ++total;
    }
    double rate() const { return total ? double(hits) / total : 1.0; }
    Score& operator+=(const Score& o) {
        hits += o.hits;
        total += o.total;
        return *this;
    }
};

// Scored against what sounds: a rest after a slide is held on by the slide (it plays as a
// note on the previous pitch), and an accent on a note slid into starts no new accent, so it
// is not scored.
struct Scores {
    Score heard;       // sounding steps read as notes
    Score notes;       // sounding steps read as notes with the right MIDI note
    Score rests;       // silent steps read as rests
    Score accents;     // struck notes read with the right accent
    Score slides;      // slid notes read as slides
    Score falseSlides; // notes without slide read as slides (hits are the faults)
    Scores& operator+=(const Scores& o);
    friend Scores operator+(Scores a, const Scores& b) { return a += b; }
};

void scoreTake(const Pattern& played, const Pattern& detected, Scores& scores);

} // namespace kelo::bench
