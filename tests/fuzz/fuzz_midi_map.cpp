// "MidiCC.ini" / ".map" text: entries stay parameter indexes or -1, key slots MIDI notes or
// -1, and a written map reads back to the same tables.
#include <string>

#include "files/CcMapFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

namespace {

void checkTables(const CcMap& map, const KeyCommandTable& keys) {
    for (int32_t e : map.entries) FUZZ_CHECK(e >= -1 && e < kNumParameters);
    for (int32_t s : keys.slots) FUZZ_CHECK(s >= -1 && s <= 127);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CcMap map;
    KeyCommandTable keys;
    setDefaultCcMap(map);
    setDefaultKeyCommands(keys);
    parseMidiMap(map, keys, text);
    checkTables(map, keys);

    const std::string written = formatMidiMap(map, keys);
    CcMap back;
    KeyCommandTable backKeys;
    std::memset(&back, 0x5A, sizeof back);
    std::memset(&backKeys, 0x5A, sizeof backKeys);
    FUZZ_CHECK(parseMidiMap(back, backKeys, written)); // a whole file is never taken for a cut one
    FUZZ_CHECK(std::memcmp(&back, &map, sizeof map) == 0);
    FUZZ_CHECK(std::memcmp(&backKeys, &keys, sizeof keys) == 0);
    return 0;
}
