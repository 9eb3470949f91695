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

// Display text of `value` as parameter `index` shows it, at most capacity-1 characters.
void formatParameterDisplay(int index, float value, char* text, size_t capacity);

} // namespace kelo
