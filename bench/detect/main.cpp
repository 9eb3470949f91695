// bench_detect: how well the analyzer transcribes random patterns at real tempos.
//
//   bench_detect [--count N] [--seed S] [--sanity-only] [--dump FOLDER] [--only SET]
//
// For each synth, sound, tempo (100, 125, 140 BPM) and rate (44.1, 48 kHz) it renders N random
// 16-step measures with 0-500 ms of leading silence, detects them as "Detect" does and prints
// one row per synth, tempo and rate (all sounds together) with its silence buckets below, then
// one row per sound, then the other rates (8, 22.05, 192 kHz at 125 BPM), then takes with
// silence after the measure. "notes%" counts a
// sounding step read as a note at the right pitch; "heard%" only that it was read as a note.
// SET (e.g. "KELO-2-140-44100", or "Nekobi") picks the sets to measure, with the seeds of the
// full run, as --dump names them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analyzer/PatternDetector.h"
#include "bench/detect/TakeSet.h"

namespace {

using namespace kelo;
using namespace kelo::bench;

void printHeader(const char* first) {
    std::printf("%-28s %5s %7s %7s %7s %7s %7s %7s\n", first, "notes", "notes%", "heard%", "rests%", "accent%",
                "slide%", "false%");
}

void printRow(const std::string& label, const Scores& s) {
    std::printf("%-28s %5d %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f\n", label.c_str(), s.notes.total, 100 * s.notes.rate(),
                100 * s.heard.rate(), 100 * s.rests.rate(), 100 * s.accents.rate(), 100 * s.slides.rate(),
                s.falseSlides.total ? 100.0 * s.falseSlides.hits / s.falseSlides.total : 0.0);
}

const char* dumpFolder = nullptr;
const char* only = nullptr;

// The takes' names as --dump writes them: synth-sound-bpm-rate[-bBEFORE-tAFTER]-index.
std::string setName(const TakeRequest& r) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%d-%.0f-%d", synthName(r.synth), r.sound, r.bpm, r.sampleRate);
    if (r.maxTrailingMs > 0.0)
        return name + std::string("-b") + std::to_string(int(r.maxSilenceMs)) + "-t" + std::to_string(int(r.maxTrailingMs));
    return name;
}

// --only PREFIX measures just the sets whose names start with it (with the seeds of the full run).
bool chosen(const TakeRequest& r) { return !only || setName(r).rfind(only, 0) == 0; }

// Writes a take as raw 32-bit floats and its played pattern as text, for looking at by hand.
void dump(const Take& t, const TakeRequest& r, int index, const Pattern& detected) {
    char name[256];
    std::snprintf(name, sizeof name, "%s/%s-%02d", dumpFolder, setName(r).c_str(), index);
    if (std::FILE* f = std::fopen((std::string(name) + ".f32").c_str(), "wb")) {
        std::fwrite(t.samples.data(), sizeof(float), t.samples.size(), f);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen((std::string(name) + ".txt").c_str(), "w")) {
        std::fprintf(f, "rate %d silence %d trailing %d\n", t.sampleRate, t.silenceFrames, t.trailingFrames);
        for (int k = 0; k < 16; ++k)
            std::fprintf(f, "%2d played midi %2d flags %02x   detected midi %2d flags %02x\n", k,
                         stepMidiNote(t.played.steps[k]), t.played.steps[k].flags, stepMidiNote(detected.steps[k]),
                         detected.steps[k].flags);
        std::fclose(f);
    }
}

// Detects every take; adds its scores to the bucket of its leading silence.
bool measure(const TakeRequest& r, Scores buckets[3]) {
    std::vector<Take> takes;
    std::string error;
    if (!renderTakes(r, takes, error)) {
        std::fprintf(stderr, "bench_detect: %s\n", error.c_str());
        return false;
    }
    int index = 0;
    for (const Take& t : takes) {
        WaveBuffer wave;
        t.load(wave);
        Pattern detected{};
        detected.setStepCount(16);
        AnalyzerOptions options;
        applyDetection(wave, detected, options);
        if (dumpFolder) dump(t, r, index++, detected);
        const double ms = 1000.0 * t.silenceFrames / t.sampleRate;
        scoreTake(t.played, detected, buckets[ms < 1.0 ? 0 : (ms <= 250.0 ? 1 : 2)]);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int count = 24;
    uint32_t seed = 2024;
    bool sanityOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--count") && i + 1 < argc) count = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) seed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (!std::strcmp(argv[i], "--sanity-only")) sanityOnly = true;
        else if (!std::strcmp(argv[i], "--dump") && i + 1 < argc) dumpFolder = argv[++i];
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_detect [--count N] [--seed S] [--sanity-only] [--dump FOLDER] [--only SET]\n");
            return 2;
        }
    }
    std::vector<Synth> synths = {Synth::Kelo};
    if (!nekobiPath().empty()) synths.push_back(Synth::Nekobi);
    else std::fprintf(stderr, "bench_detect: Nekobi not installed (apt-get install dpf-plugins-vst); KELO only\n");

    const char* bucketNames[3] = {"0 ms", "1-250 ms", "251-500 ms"};
    Scores total;
    if (!sanityOnly) {
        printHeader("synth bpm rate silence");
        std::vector<std::vector<Scores>> perSound;
        for (Synth synth : synths) {
            perSound.emplace_back(sounds(synth).size());
            for (double bpm : {100.0, 125.0, 140.0}) {
                for (int rate : {44100, 48000}) {
                    Scores buckets[3];
                    for (size_t sound = 0; sound < sounds(synth).size(); ++sound) {
                        Scores one[3];
                        TakeRequest r{synth, int(sound), bpm, rate, count, seed++, 500.0};
                        if (!chosen(r)) continue;
                        if (!measure(r, one)) return 1;
                        for (int b = 0; b < 3; ++b) {
                            buckets[b] += one[b];
                            perSound.back()[sound] += one[b];
                        }
                    }
                    char label[64];
                    std::snprintf(label, sizeof label, "%-6s %3.0f %5d", synthName(synth), bpm, rate);
                    printRow(label, buckets[0] + buckets[1] + buckets[2]);
                    for (int b = 0; b < 3; ++b) {
                        std::snprintf(label, sizeof label, "  silence %s", bucketNames[b]);
                        printRow(label, buckets[b]);
                        total += buckets[b];
                    }
                }
            }
        }
        printRow("all", total);
        std::printf("\n");
        printHeader("synth sound (all tempos)");
        for (size_t s = 0; s < synths.size(); ++s)
            for (size_t sound = 0; sound < sounds(synths[s]).size(); ++sound)
                printRow(std::string(synthName(synths[s])) + " " + sounds(synths[s])[sound].name, perSound[s][sound]);
        std::printf("\n");
    }

    printHeader("other rates, 125 BPM");
    for (Synth synth : synths) {
        for (int rate : {8000, 22050, 192000}) {
            Scores all[3], sum;
            for (size_t sound = 0; sound < sounds(synth).size(); ++sound) {
                TakeRequest r{synth, int(sound), 125.0, rate, std::max(1, count / 2), seed++, 500.0};
                if (!chosen(r)) continue;
                if (!measure(r, all)) return 1;
            }
            for (const Scores& b : all) sum += b;
            printRow(std::string(synthName(synth)) + " " + std::to_string(rate), sum);
        }
    }
    std::printf("\n");

    // Silence after the measure: recordings cut at the measure's start, and recordings with up to
    // half a second before it too (where a measure opening with rests reads as one opening with
    // its first note, and ending with those rests: the "0 ms" bucket holds the former).
    printHeader("silence after, 125 BPM");
    for (Synth synth : synths) {
        for (double before : {0.0, 500.0}) {
            for (double trailing : {300.0, 3000.0}) {
                Scores all[3], sum;
                for (size_t sound = 0; sound < sounds(synth).size(); ++sound) {
                    TakeRequest r{synth, int(sound), 125.0, 44100, std::max(1, count / 2), seed++, before, trailing};
                    if (!chosen(r)) continue;
                    if (!measure(r, all)) return 1;
                }
                for (const Scores& b : all) sum += b;
                printRow(std::string(synthName(synth)) + " " + std::to_string(int(before)) + " before, " +
                             std::to_string(int(trailing)) + " after",
                         sum);
            }
        }
    }
    return 0;
}
