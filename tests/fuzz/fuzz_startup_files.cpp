// What a starting instance reads from the user's data folder: "Config.ini", "User.ini",
// "MidiCC.ini" and "DefaultPatternBank.pat". Input: the four files separated by NUL bytes,
// then MIDI messages of 4 bytes (offset, status, data1, data2) for the first blocks.
#include <cstdio>
#include <string_view>

#include "files/CcMapFile.h"
#include "platform/Platform.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

namespace {

const char* const kFiles[] = {"Config.ini", "User.ini", "MidiCC.ini", "DefaultPatternBank.pat"};

std::string dataFolder() {
    static const std::string folder = [] {
        fuzz::scratchHome();
        const std::string f = platform::dataFolder();
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

void put(const std::string& path, std::string_view text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::string get(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "(missing)";
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = dataFolder();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (const char* name : kFiles) {
        const size_t end = std::min(rest.find('\0'), rest.size());
        std::string text(rest.substr(0, end));
        // A map the reader would take for one caught half-written is read again after a
        // pause; a closing comment keeps the run fast (that path has its own target).
        if (std::string_view(name) == "MidiCC.ini") text += "\n;\n";
        put(folder + name, text);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    const std::string map = get(folder + "MidiCC.ini");

    {
        fuzz::Instance k;
        fuzz::checkSettingsInRange(k.plugin().settings());
        for (int c = 0; c < kCcMapSize; ++c)
            FUZZ_CHECK(k.plugin().ccMap().entries[c] >= -1 && k.plugin().ccMap().entries[c] < kNumParameters);
        for (const Pattern& p : k.plugin().sequencer().bank.patterns) fuzz::checkPatternPlayable(p);
        k.checkParameters();
        // A note of pattern mode and of note mode, then whatever the input holds.
        const uint8_t notes[] = {0, 0x90, 0, 100, 10, 0x90, 36, 127};
        k.render(128, notes, 2, 1e4f);
        const size_t messages = rest.size() / 4;
        k.render(256, reinterpret_cast<const uint8_t*>(rest.data()), messages > 16 ? 16 : messages, 1e4f);
        k.checkParameters();
    }
    // The instance changed nothing in the map, so it left the user's file alone.
    FUZZ_CHECK(get(folder + "MidiCC.ini") == map);
    return 0;
}
