// "Config.ini" / "User.ini" text: every numeric setting lands inside its range, parameters
// only receive normalised values, and what the writer stores reads back to itself.
#include <string>

#include "files/EngineSettingsFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    EngineSettings s;
    fuzz::CheckedParameters params; // Tempo and DefaultVolume arrive here
    parseEngineSettings(s, text, &params);
    fuzz::checkSettingsInRange(s);
    for (int i = 0; i < kNumParameters; ++i) FUZZ_CHECK(!params.set[i] || i == kTempo || i == kVolume);

    // Read over settings already read, as "User.ini" is read over "Config.ini".
    parseEngineSettings(s, text, &params);
    fuzz::checkSettingsInRange(s);

    const std::string written = formatEngineSettings(s);
    EngineSettings back;
    parseEngineSettings(back, written, nullptr);
    FUZZ_CHECK(formatEngineSettings(back) == written);
    return 0;
}
