#include "sequencer/KeyCommandTable.h"

namespace kelo {

void assignKeyCommand(KeyCommandTable& table, int slot, int note) {
    if (slot < 0 || slot >= kKeyCommandSlots) return;
    for (int i = 0; i < kKeyCommandSlots; ++i)
        if (i != slot && table.slots[i] == note) table.slots[i] = -1;
    table.slots[slot] = note;
}

void setDefaultKeyCommands(KeyCommandTable& table) {
    static constexpr int kDefaults[kKeyCommandSlots] = {48, 72, 74, 76, 77, 36, 38,
                                                        84, 83, 82, 37, 39, 78};
    for (int i = 0; i < kKeyCommandSlots; ++i) table.slots[i] = -1;
    for (int i = 0; i < kKeyCommandSlots; ++i) assignKeyCommand(table, i, kDefaults[i]);
}

} // namespace kelo
