#pragma once
// Standard MIDI files (formats 0 and 1) read into channel messages stamped in seconds, with
// every track merged and the file's tempo map applied.
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::render {

struct TimedMidi {
    double seconds = 0.0;
    uint8_t status = 0; // channel message status byte, channel bits kept
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

struct MidiSong {
    std::vector<TimedMidi> events; // in time order; equal times keep track, then file order
    double lengthSeconds = 0.0;    // the last event or end-of-track, whichever is later
};

// Parses a whole file image; false with a reason in `error` for anything that is not a
// well-formed format 0 or 1 file. Bytes are never read past the end of the image.
bool parseMidiFile(const std::vector<uint8_t>& bytes, MidiSong& song, std::string& error);

} // namespace kelo::render
