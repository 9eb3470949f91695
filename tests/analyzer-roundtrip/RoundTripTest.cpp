// Patterns of the default bank played by the plug-in file at 125 BPM with the sound the analyzer
// window asks for, written to a 16-bit WAV, loaded as "Load Audio" does and detected back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analyzer/PatternDetector.h"
#include "analyzer/WaveBuffer.h"
#include "files/PatternFile.h"
#include "host/Plugin.h"
#include "plugin/Parameters.h"
#include "tests/plugin/ScratchHome.h"
#include "tools/kelo-render/AudioWriter.h"

namespace kelo::test {
namespace {

constexpr int kRate = 44100, kBlock = 512;
constexpr double kBpm = 125.0;

// A miss the analyzer cannot avoid is one of: a rest after a sliding note (the slide holds the
// gate open through half of it, so it sounds); the pitch of a note slid into, up to two semitones
// off (the 65 ms glide is cut short by the release); an accent slid into (no new accent starts).
TEST(AnalyzerRoundTrip, TranscribesTheDefaultBank) {
    ScratchHome home;
    home.write("User.ini", "SyncMode = 1\n"); // the host's tempo drives the sequencer
    // The plug-in plays the bank it finds in its data folder.
    const auto bankFile = home.dataFolder() / "DefaultPatternBank.pat";
    std::filesystem::copy_file(KELO_DATA_DIR "/DefaultPatternBank.pat", bankFile);
    PatternBank bank{};
    ASSERT_TRUE(readBank(bank, bankFile.string()));
    host::Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    plugin.setTempo(kBpm);
    plugin.start(float(kRate), kBlock);
    // Minimum resonance; maximum cutoff, envmod, decay and accent; sawtooth; the saw runs hot,
    // so the volume keeps the 16-bit file unclipped without losing quiet notes.
    for (auto [p, v] : {std::pair{kTune, 0.5f}, {kCutoff, 1.0f}, {kResonance, 0.0f}, {kEnvmod, 1.0f},
                        {kDecay, 1.0f}, {kAccent, 1.0f}, {kWaveform, 0.0f}, {kVolume, 0.3f}})
        plugin.setParameter(p, v);
    std::vector<float> left(kBlock), right(kBlock);
    for (int i = 0; i < kRate / kBlock; ++i) plugin.process(kBlock, left.data(), right.data());
    int played = 0, steps = 0, hits = 0;
    std::vector<std::string> unexplained;
    // Every third straight or triplet pattern without shuffle (swing makes steps unequal).
    for (int index = 1; index < kNumPatterns; index += 3) {
        const Pattern& source = bank.patterns[index];
        if (source.shuffle() != 0) continue;
        SCOPED_TRACE("pattern " + std::to_string(index + 1));
        const int count = playedSteps(source);
        // Triplet steps are lengthened by the default TripletScale of 0.75.
        const double step = kRate * 60.0 / (kBpm * 4.0) / (source.triplet() ? 0.75 : 1.0);
        const auto frames = int32_t(std::lround(step * count));
        std::vector<float> take;
        plugin.sendEvents({{0, 0x90, uint8_t(index), 100}});
        for (int32_t done = 0; done < frames; done += kBlock) {
            const int n = std::min(kBlock, frames - done);
            plugin.process(n, left.data(), right.data());
            take.insert(take.end(), left.begin(), left.begin() + n);
        }
        plugin.sendEvents({{0, 0x80, uint8_t(index), 0}});
        for (int i = 0; i < kRate / 4 / kBlock; ++i) plugin.process(kBlock, left.data(), right.data());
        float peak = 0.0f;
        for (float s : take) peak = std::max(peak, std::fabs(s));
        EXPECT_GT(peak, 0.2f);
        EXPECT_LT(peak, 0.99f) << "clipped on the way into the file";
        char name[64];
        std::snprintf(name, sizeof name, "pattern%03d-%dstep.wav", index + 1, count);
        const std::string file = (home.dataFolder() / name).string();
        render::AudioWriter writer;
        std::string error;
        WaveBuffer wave;
        ASSERT_TRUE(writer.open(file, kRate, render::SampleFormat::Pcm16, error) &&
                    writer.write(take.data(), take.data(), take.size()) && writer.commit(error) &&
                    loadWaveFile(wave, file)) << error;
        normalizeWave(wave);
        // A fresh pattern takes its step count from the file name, as a load does.
        Pattern detected{};
        detected.setStepCount(stepCountFromFileName(name, 16));
        ASSERT_TRUE(applyDetection(wave, detected, AnalyzerOptions{}));
        ASSERT_EQ(detected.stepCount(), count);
        for (int i = count; i < kMaxSteps; ++i)
            EXPECT_EQ(detected.steps[i].note + detected.steps[i].flags, 0) << "step " << i;
        ++played;
        for (int i = 0; i < count; ++i) {
            const PatternStep &src = source.steps[i], &det = detected.steps[i];
            const uint8_t before = i > 0 ? source.steps[i - 1].flags : 0;
            const bool slid = (before & StepGate) && (before & StepSlide);
            const int differs = (src.flags ^ det.flags) & (StepGate | StepAccent | StepSlide);
            const int off = stepMidiNote(det) - stepMidiNote(src);
            const bool accentMissed = (src.flags & StepAccent) && !(det.flags & StepAccent);
            bool miss = (differs & StepGate) && !slid;
            if (src.flags & StepGate) {
                miss = (differs & ~StepAccent) || ((differs & StepAccent) && !(slid && accentMissed)) ||
                       (off != 0 && !(slid && std::abs(off) <= 2));
                hits += differs == 0 && off == 0;
            } else {
                hits += differs == 0;
            }
            ++steps;
            if (miss) unexplained.push_back(std::to_string(index + 1) + ":" + std::to_string(i + 1));
        }
        if (source.triplet()) continue; // Match Tempo knows nothing of triplet timing
        AnalyzerOptions options;
        options.matchTempo = true;
        EngineSettings settings;
        EXPECT_NEAR(matchTempo(wave, detected, options, double(kRate), settings, nullptr), kBpm, 0.05);
    }
    std::printf(" %d patterns, %d of %d steps read exactly\n", played, hits, steps);
    EXPECT_GE(played, 32);
    EXPECT_TRUE(unexplained.empty()) << "pattern:step " << ::testing::PrintToString(unexplained);
    // Measured: 589 of 594 (two rests after slides sound, three accents slid into are lost).
    EXPECT_GE(hits, steps * 99 / 100);
}

} // namespace
} // namespace kelo::test
