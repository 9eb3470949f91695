// ".param" companion files and the parameter lines of pattern comments: only the 13
// parameters receive values, always normalised; a written file reads back to its values and
// writes again to the same text.
#include <string>

#include "files/ParameterFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::CheckedParameters params;
    parseParameterFile(params, text);

    const std::string written = formatParameterFile(params);
    fuzz::CheckedParameters back;
    parseParameterFile(back, written);
    for (int i = 0; i < kNumParameters; ++i) {
        FUZZ_CHECK(back.set[i]);
        FUZZ_CHECK(std::fabs(back.values[i] - params.values[i]) <= 6e-7f); // six decimals, then a float
    }
    FUZZ_CHECK(formatParameterFile(back) == written);

    ParameterCapture capture;
    clearParameterCapture(capture);
    parseParameterLine(capture, text);
    for (int i = 0; i < kCaptureSlots; ++i) {
        FUZZ_CHECK(std::isfinite(capture.values[i]));
        FUZZ_CHECK(i < CaptureNameCount || (capture.present[i] == 0 && capture.values[i] == -1.0f));
    }
    EngineSettings settings;
    fuzz::CheckedParameters applied;
    applyParameterLines(capture, settings, applied,
                        [](double bpm) { FUZZ_CHECK(std::isfinite(bpm) && bpm >= 0.000001); });
    return 0;
}
