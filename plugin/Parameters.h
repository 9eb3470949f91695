#pragma once
// The host-visible parameter table: names, display texts and start-up values.
#include <cstddef>
#include <cstdint>

#include "files/ParameterTable.h"
#include "plugin/StateChunk.h"

namespace kelo {

// Slots above the table (kNumParamSlots in all) belong to the editor.
// Host buffers for parameter texts and effect names hold 32 bytes; vendor and product 64.
constexpr size_t kShortTextSize = 32;
constexpr size_t kLongTextSize = 64;

// Start-up values of the table, indexed by parameter.
extern const float kParameterDefaults[kNumParameters];
// The order in which start-up applies them (tempo first).
extern const int kDefaultApplyOrder[kNumParameters];

// Two editor slots start at values of their own.
constexpr int kEditorSlotA = 18;
constexpr float kEditorSlotAValue = 0.5f;
constexpr int kEditorSlotB = 33;
constexpr float kEditorSlotBValue = 0.25f;

// Start-up value of a parameter slot: the table's default, two editor slots at their own
// values, every other slot 1.0.
float parameterDefault(int slot);
// A value as it may enter a slot: within 0..1, and the slot's default for NaN. Hosts and
// chunks send anything; one infinite Volume would make every sample of the mix non-finite.
float admitParameter(int slot, float value);

// Display text of `value` as parameter `index` shows it, at most capacity-1 characters.
void formatParameterDisplay(int index, float value, char* text, size_t capacity);

} // namespace kelo
