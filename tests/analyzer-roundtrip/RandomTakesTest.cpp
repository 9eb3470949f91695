// A fast slice of the detection benchmark: random measures with up to half a second of leading
// silence, played by KELO at two sounds and by another 303-style synth.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analyzer/PatternDetector.h"
#include "bench/detect/TakeSet.h"

namespace kelo::test {
namespace {

// KELO's bright saw at 125 BPM and its dark square, whose glides the filter lags, at 140;
// Nekobi glides in less than half KELO's time, and its square is resonant.
TEST(RandomTakes, KeloAndAnotherSynthAtRealTempo) {
    const struct { bench::Synth synth; int sound; double bpm; uint32_t seed; } cases[] = {
        {bench::Synth::Kelo, 0, 125.0, 11}, {bench::Synth::Kelo, 2, 140.0, 12},
        {bench::Synth::Nekobi, 0, 140.0, 13}, {bench::Synth::Nekobi, 1, 125.0, 14}};
    for (const auto& c : cases) {
        if (c.synth == bench::Synth::Nekobi && bench::nekobiPath().empty()) continue; // dpf-plugins-vst
        std::vector<bench::Take> takes;
        std::string error;
        ASSERT_TRUE(bench::renderTakes({c.synth, c.sound, c.bpm, 44100, 10, c.seed, 500.0}, takes, error)) << error;
        bench::Scores s;
        for (const bench::Take& t : takes) {
            WaveBuffer wave;
            t.load(wave);
            Pattern detected{};
            detected.setStepCount(16);
            EXPECT_TRUE(applyDetection(wave, detected, AnalyzerOptions{}));
            bench::scoreTake(t.played, detected, s);
        }
        const char* sound = bench::sounds(c.synth)[size_t(c.sound)].name;
        SCOPED_TRACE(std::string(bench::synthName(c.synth)) + " " + sound);
        std::printf(" %s %s: notes %.3f rests %.3f accents %.3f slides %.3f false slides %d/%d\n",
                    bench::synthName(c.synth), sound, s.notes.rate(), s.rests.rate(), s.accents.rate(),
                    s.slides.rate(), s.falseSlides.hits, s.falseSlides.total);
        // A note counts when it is heard at the right pitch.
        EXPECT_GE(s.notes.rate(), 0.95);
        EXPECT_GE(s.rests.rate(), 0.97);
        EXPECT_GE(s.accents.rate(), 0.9);
        EXPECT_GE(s.slides.rate(), 0.9);
        EXPECT_LE(s.falseSlides.hits, s.falseSlides.total / 20);
    }
}

} // namespace
} // namespace kelo::test
