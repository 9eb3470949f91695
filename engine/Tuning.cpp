#include "engine/Tuning.h"

#include <cmath>

namespace kelo {

void TuningTables::build() {
    for (int n = 0; n < 128; ++n) {
        equal[n] = static_cast<float>(8.175798915636872 * std::pow(1.059463094359, n));
        stretched[n] = static_cast<float>(8.22218793583489 * std::pow(1.061463094359, n));
    }
}

float TuningTables::pitch(int note, int tuningMode) const {
    // Out-of-range notes are clamped, never used as an index.
    if (note < 0) note = 0;
    if (note > 127) note = 127;
    return tuningMode != 0 ? stretched[note] : equal[note];
}

int foldNote(int note, bool cap) {
    if (note <= 83) return note;
    if (cap) return 83;
    return note - 12 - 12 * ((note - 84) / 12);
}

} // namespace kelo
