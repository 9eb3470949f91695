#pragma once
// MIDI controller number -> parameter index (0..12) or -1.
#include <cstdint>

namespace kelo {

constexpr int kCcMapSize = 128;

struct CcMap {
    int32_t entries[kCcMapSize];
};

} // namespace kelo
