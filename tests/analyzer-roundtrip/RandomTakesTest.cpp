// A fast slice of the detection benchmark: random measures at 125 BPM with up to half a
// second of leading silence, played by KELO at two sounds and by another 303-style synth.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analyzer/PatternDetector.h"
#include "bench/detect/TakeSet.h"

namespace kelo::test {
namespace {

using bench::Scores;

Scores transcribe(bench::Synth synth, int sound, uint32_t seed) {
    std::vector<bench::Take> takes;
    std::string error;
    bench::TakeRequest request{synth, sound, 125.0, 44100, 10, seed, 500.0};
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
    std::printf(" %s %s: notes %.3f rests %.3f pitch %.3f accents %.3f slides %.3f false slides %d/%d\n",
                bench::synthName(synth), bench::sounds(synth)[size_t(sound)].name, s.notes.rate(), s.rests.rate(),
                s.pitch.rate(), s.accents.rate(), s.slides.rate(), s.falseSlides.hits, s.falseSlides.total);
    return s;
}

void expectTargets(const Scores& s) {
    EXPECT_GE(s.notes.rate(), 0.95);
    EXPECT_GE(s.rests.rate(), 0.97);
    EXPECT_GE(s.accents.rate(), 0.9);
    EXPECT_GE(s.slides.rate(), 0.9);
    EXPECT_LE(s.falseSlides.hits, s.falseSlides.total / 20);
    // Measured 0.88 to 0.95 on these takes: notes slid into are the misses.
    EXPECT_GE(s.pitch.rate(), 0.85);
}

TEST(RandomTakes, KeloAtRealTempo) {
    Scores all = transcribe(bench::Synth::Kelo, 0, 11);
    all += transcribe(bench::Synth::Kelo, 1, 12);
    expectTargets(all);
}

TEST(RandomTakes, AnotherSynthAtRealTempo) {
    if (bench::nekobiPath().empty()) GTEST_SKIP() << "Nekobi not installed (apt-get install dpf-plugins-vst)";
    expectTargets(transcribe(bench::Synth::Nekobi, 1, 13));
}

} // namespace
} // namespace kelo::test
