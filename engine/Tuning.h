#pragma once
// Note-number -> frequency tables and the folding of high notes.

namespace kelo {

struct TuningTables {
    float equal[128];     // 8.175798915636872 * 1.059463094359^n (note 69 = 440 Hz)
    float stretched[128]; // 8.22218793583489 * 1.061463094359^n
    void build();
    float pitch(int note, int tuningMode) const;
};

// Notes above 83 either stop at 83 (cap) or drop by whole octaves into 72..83.
int foldNote(int note, bool cap);

} // namespace kelo
