// WAV and AIFF recordings for the analyzer, through the public loading and detection calls:
// a refused file leaves no frames, an accepted one holds its frames as samples of full scale
// 1.0, and detection keeps the pattern playable and its steps past the count untouched.
#include "analyzer/PatternDetector.h"
#include "analyzer/WaveBuffer.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaveBuffer wave;
    const bool loaded = parseWaveImage(wave, data, size);
    if (!loaded) {
        FUZZ_CHECK(wave.frames() == 0);
        return 0;
    }
    FUZZ_CHECK(wave.frameCount >= 0 && wave.frames() == wave.frameCount);
    for (int32_t i = 0; i < wave.frames(); ++i) FUZZ_CHECK(std::fabs(wave.samples[size_t(i)]) <= 32768.0f / 32767.0f);
    normalizeWave(wave);
    for (int32_t i = 0; i < wave.frames(); ++i) FUZZ_CHECK(std::fabs(wave.samples[size_t(i)]) <= 1.0f);

    Pattern pattern{};
    for (PatternStep& s : pattern.steps) s = PatternStep{200, 0xE0};
    pattern.setStepCount(int(size % kMaxSteps) + 1);
    const Pattern before = pattern;
    applyDetection(wave, pattern, analyzerOptions());
    fuzz::checkPatternPlayable(pattern);
    for (int s = pattern.stepCount(); s < kMaxSteps; ++s)
        FUZZ_CHECK(std::memcmp(&pattern.steps[s], &before.steps[s], sizeof(PatternStep)) == 0);
    return 0;
}
