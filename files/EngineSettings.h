#pragma once
// Behaviour switches and engine trim values, read from "Config.ini" and "User.ini".
// Fields are single aligned words: the audio thread reads them without a lock.
#include <cstdint>
#include <string>

namespace kelo {

// The range every numeric setting is held to when it is read: at any value inside, alone or
// together, the output stays bounded (a typo must not send +110 dBFS to the speakers). A
// value outside is taken as the nearest end. The switches are not listed: every integer is
// a valid switch value (0 off, anything else on, as each key says).
template <class T>
struct SettingRange {
    T lowest, highest;
    constexpr T hold(T v) const { return v < lowest ? lowest : (v > highest ? highest : v); }
};
namespace settingRange {
inline constexpr SettingRange<int32_t> filterMode{0, 2};       // the three filter types
inline constexpr SettingRange<int32_t> accentVelocity{0, 127};  // a MIDI velocity
inline constexpr SettingRange<int32_t> activeClocks{0, 2147483647}; // samples; below 0 acts as 0
inline constexpr SettingRange<int32_t> clockSync{0, 1};          // 24 or 48 PPQ
inline constexpr SettingRange<float> vcoGain{0.0f, 3.0f};        // the Pre-gain knob reaches 1..3
inline constexpr SettingRange<float> vcoTuning{0.0f, 1.0f};      // octave ratio 1.5..2.5
inline constexpr SettingRange<float> tm6{0.0f, 1.0f};
inline constexpr SettingRange<float> tm3{0.0f, 1.0f};
inline constexpr SettingRange<float> tm4{0.0f, 4.0f};            // above about 4.01 the filter runs away
inline constexpr SettingRange<float> relativeTuning{0.9f, 1.1f};
inline constexpr SettingRange<float> smoothSpeed{0.00001f, 1.0f}; // above 1 the smoothing overshoots
inline constexpr SettingRange<double> tripletScale{0.25, 2.0};   // steps 4x longer .. 2x shorter
inline constexpr SettingRange<float> vcaDecay{0.01f, 100.0f};    // seconds; shorter ones blow up
} // namespace settingRange

struct EngineSettings {
    int32_t filterMode = 1;
    int32_t slopeFlag = 0;        // 1 only when "Filterslope = 18" was read; kept in the state chunk
    int32_t vcaLeveling = 0;
    int32_t vcaNoise = 1;
    float vcoGain = 2.0f;
    float vcoTuning = 0.5f;
    float tm6 = 0.25f;
    float tm3 = 0.5f;
    float tm4 = 3.985f;
    int32_t tuningMode = 0;
    int32_t syncMode = 0;
    int32_t midiMode = 0;
    int32_t highpass = 0;
    int32_t firstStep = 1;
    int32_t programmingMode = 0;
    int32_t clearNotes = 1;
    int32_t accentVelocity = 100;
    int32_t guiKnobMode = 2;
    int32_t eggs = 1;
    float relativeTuning = 1.0015f;
    int32_t emulationMode = 3;
    float smoothSpeed = 0.002f;
    int32_t activeClocks = 88200;
    int32_t midiOutput = 0;
    int32_t midiOutputChannel = -1;
    int32_t envmodKnob = 1;
    int32_t clockSync = 0;
    double tripletScale = 0.75;
    int32_t capNotes = 0;
    float vcaDecay = 3.8953f;
    int32_t loadParameters = 1;
    int32_t loadDefaultBank = 1;
    int32_t outputClipping = 0;
    int32_t resetOscillator = 0;
    int32_t midiTransmitKnobs = 0;
    int32_t midiKeyProgramming = 0;
    // Read and stored, never used (older files carry them).
    int32_t filterTuning = 0;
    int32_t resonanceKnob = 0;
    int32_t antiLogVolume = 0;
    int32_t cutoffKnob = 0;

    // MIDI output is live only when switched on and given a channel.
    bool midiOutputActive() const { return midiOutput != 0 && midiOutputChannel >= 0; }
    int midiChannel() const { return midiOutputChannel & 0x0F; }
};

} // namespace kelo
