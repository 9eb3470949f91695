#pragma once
// MIDI notes bound to step-programming commands; -1 = no key. One note, one slot.
#include <cstdint>

namespace kelo {

constexpr int kKeyCommandSlots = 13;

struct KeyCommandTable {
    int32_t slots[kKeyCommandSlots];
};

} // namespace kelo
