// A fast slice of the detection benchmark: random measures at 125 and 140 BPM with up to half
// a second of leading silence, played by KELO at two sounds and by another 303-style synth.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analyzer/PatternDetector.h"
#include "bench/detect/TakeSet.h"

namespace kelo::test {
namespace {

using bench::Scores;

Scores transcribe(bench::Synth synth, int sound, double bpm, uint32_t seed) {
    std::vector<bench::Take> takes;
    std::string error;
    bench::TakeRequest request{synth, sound, bpm, 44100, 10, seed, 500.0};
    EXPECT_TRUE(bench::renderTakes(request, takes, error)) << error;
    Scores s;
    for (const bench::Take& t : takes) {
        WaveBuffer wave;
        t.load(wave);
        Pattern detected{};
        detected.setStepCount(16);
        AnalyzerOptions options;
        EXPECT_TRUE(applyDetection(wave, detected, options));
        bench::scoreTake(t.played, detected, s);
    }
    std::printf(" %s %s: notes %.3f (heard %.3f) rests %.3f accents %.3f slides %.3f false slides %d/%d\n",
                bench::synthName(synth), bench::sounds(synth)[size_t(sound)].name, s.notes.rate(), s.heard.rate(),
                s.rests.rate(), s.accents.rate(), s.slides.rate(), s.falseSlides.hits, s.falseSlides.total);
    return s;
}

// A note counts when it is heard at the right pitch.
void expectTargets(const Scores& s) {
    EXPECT_GE(s.notes.rate(), 0.95);
    EXPECT_GE(s.rests.rate(), 0.97);
    EXPECT_GE(s.accents.rate(), 0.9);
    EXPECT_GE(s.slides.rate(), 0.9);
    EXPECT_LE(s.falseSlides.hits, s.falseSlides.total / 20);
}

// The bright saw at 125 BPM; the dark square, whose glides the filter lags, at 140.
TEST(RandomTakes, KeloAtRealTempo) {
    Scores all = transcribe(bench::Synth::Kelo, 0, 125.0, 11);
    all += transcribe(bench::Synth::Kelo, 2, 140.0, 12);
    expectTargets(all);
}

// Nekobi glides in less than half KELO's time; its square is resonant.
TEST(RandomTakes, AnotherSynthAtRealTempo) {
    if (bench::nekobiPath().empty()) GTEST_SKIP() << "Nekobi not installed (apt-get install dpf-plugins-vst)";
    Scores all = transcribe(bench::Synth::Nekobi, 0, 140.0, 13);
    all += transcribe(bench::Synth::Nekobi, 1, 125.0, 14);
    expectTargets(all);
}

} // namespace
} // namespace kelo::test
