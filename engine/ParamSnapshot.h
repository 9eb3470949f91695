#pragma once
// Parameter values (0..1) as read at the start of a sub-block. The voice and the output
// stage read parameters only from here, never from the live slots.

namespace kelo {

struct ParamSnapshot {
    float tune = 0.5f;        // 0
    float cutoff = 0.5f;      // 1
    float resonance = 0.0f;   // 2
    float envmod = 0.1f;      // 3
    float decay = 0.1f;       // 4
    float accent = 0.0f;      // 5
    float drive = 0.25f;      // 6
    float distortion = 0.0f;  // 7
    float volume = 1.0f;      // 8
    float waveform = 0.0f;    // 10
    float distType = 0.0f;    // 11
    float highpass = 0.0f;    // 12
};

} // namespace kelo
