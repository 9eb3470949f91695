// Standard MIDI files for kelo-render: a refused file says why; an accepted one is a list of
// channel messages in time order, at finite times inside the song's length.
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/kelo-render/MidiFile.h"

using namespace kelo::render;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    MidiSong song;
    std::string error;
    if (!parseMidiFile(bytes, song, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(std::isfinite(song.lengthSeconds) && song.lengthSeconds >= 0.0);
    double last = 0.0;
    for (const TimedMidi& m : song.events) {
        FUZZ_CHECK(std::isfinite(m.seconds) && m.seconds >= last && m.seconds <= song.lengthSeconds);
        FUZZ_CHECK(m.status >= 0x80 && m.status < 0xF0);
        FUZZ_CHECK(m.data1 < 0x80 && m.data2 < 0x80);
        last = m.seconds;
    }
    return 0;
}
