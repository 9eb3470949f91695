#pragma once
// MIDI notes bound to step-programming commands; -1 = no key. One note, one slot.
#include <cstdint>

namespace kelo {

constexpr int kKeyCommandSlots = 13;

struct KeyCommandTable {
    int32_t slots[kKeyCommandSlots];
};


// Default key bindings, each assigned with the one-note-one-slot rule.
void setDefaultKeyCommands(KeyCommandTable& table);
// Binds note to slot; any other slot holding the same note loses it.
void assignKeyCommand(KeyCommandTable& table, int slot, int note);

} // namespace kelo
