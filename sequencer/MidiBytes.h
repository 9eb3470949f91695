#pragma once
// MIDI status bytes (channel bits clear) and controller numbers the instrument sends and reads.
#include <cstdint>

namespace kelo::midi {

constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kAllNotesOff = 123;

} // namespace kelo::midi
