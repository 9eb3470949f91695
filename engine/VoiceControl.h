#pragma once
// Note state written by the sequencer and MIDI input, read by the voice.
// Every field is a single aligned word: written from the audio thread, polled by the editor.
#include <cstdint>

namespace kelo {

struct VoiceControl {
    float pitchHz = 110.0f;  // frequency of the current note
    int32_t gate = 0;        // 1 while a note is held
    int32_t trigger = 0;     // new (non-legato) note; the voice clears it after one sample
    int32_t accent = 0;      // sounding note is accented (held across slides)
    int32_t accentStep = 0;  // the note event itself is accented (charges the accent boost)
    int32_t slide = 0;       // current step slides into the next one (sequencer only)
    int32_t slideFrom = 0;   // glide to pitchHz instead of jumping
    int32_t resetPhase = 0;  // request: oscillator phase to 0 before the next sample; voice clears it
};

} // namespace kelo
