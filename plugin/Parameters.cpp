#include "plugin/Parameters.h"

#include <cstdio>

#include "vst/AudioEffect.h"

namespace kelo {

const float kParameterDefaults[kNumParameters] = {
    0.5f,  // Tune
    0.5f,  // Cutoff
    0.0f,  // Resonance
    0.1f,  // Envmod
    0.1f,  // Decay
    0.0f,  // Accent
    0.25f, // Drive
    0.0f,  // Distortion
    1.0f,  // Volume
    0.42222222f, // tempo: 25 + 225 * v = 120 BPM
    0.0f,  // Waveform: sawtooth
    0.0f,  // Distortion Type: Saturate
    0.0f,  // Highpass Filter: off
};

const int kDefaultApplyOrder[kNumParameters] = {kTempo, kTune, kCutoff, kResonance, kEnvmod, kDecay, kAccent,
                                                kWaveform, kDistortion, kDrive, kVolume, kDistortionType,
                                                kHighpassFilter};

float parameterDefault(int slot) {
    if (slot >= 0 && slot < kNumParameters) return kParameterDefaults[slot];
    if (slot == kEditorSlotA) return kEditorSlotAValue;
    if (slot == kEditorSlotB) return kEditorSlotBValue;
    return 1.0f;
}

float admitParameter(int slot, float value) {
    if (value != value) return parameterDefault(slot);
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

void formatParameterDisplay(int index, float value, char* text, size_t capacity) {
    if (!text || capacity == 0) return;
    switch (index) {
    case kTempo: vstCopyString(text, "N/A", capacity); return;
    case kWaveform: vstCopyString(text, value >= 0.5f ? "Square" : "Sawtooth", capacity); return;
    case kDistortionType: vstCopyString(text, value >= 0.5f ? "Foldback" : "Saturate", capacity); return;
    case kHighpassFilter: vstCopyString(text, value > 0.5f ? "On" : "Off", capacity); return;
    default: std::snprintf(text, capacity, "%3.1f%%", double(value) * 100.0); return;
    }
}

} // namespace kelo
