#pragma once
// The 13 host-visible parameters. Their index order is fixed: the state chunk, the controller
// map and the parameter files all address parameters by it.

namespace kelo {

enum ParameterIndex : int {
    kTune = 0,
    kCutoff,
    kResonance,
    kEnvmod,
    kDecay,
    kAccent,
    kDrive,
    kDistortion,
    kVolume,
    kTempo,
    kWaveform,
    kDistortionType,
    kHighpassFilter,
    kNumParameters
};

// The name a host shows for parameter `index`; "" for the tempo and outside the table.
inline const char* parameterName(int index) {
    static constexpr const char* kNames[kNumParameters] = {
        "Tune", "Cutoff", "Resonance", "Envmod", "Decay", "Accent", "Drive", "Distortion", "Volume",
        "", "Waveform", "Distortion Type", "Highpass Filter"};
    return index >= 0 && index < kNumParameters ? kNames[index] : "";
}

} // namespace kelo
