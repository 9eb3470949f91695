#pragma once
// The engine settings the voice and filter read, copied from the instance's settings
// before every sub-block so the engine stays independent of files and hosts.
#include <cstdint>

namespace kelo {

struct VoiceSettings {
    int32_t filterMode = 1;
    int32_t vcaLeveling = 0;
    int32_t vcaNoise = 1;
    int32_t outputClipping = 0;
    int32_t envmodKnob = 1;
    double vcoGain = 2.0;
    double tm3 = 0.5;
    double tm4 = 3.985;
    double tm6 = 0.25;
    double relativeTuning = 1.0015;
    double smoothSpeed = 0.002;
    double vcaDecay = 3.8953;
    int32_t activeClocks = 88200;
};

} // namespace kelo
