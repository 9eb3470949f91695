#pragma once
// Shared pieces of the fuzz targets: invariant checks that stop the run with a finding, a
// parameter sink that checks every value it is given, and a plug-in instance driven through
// its VST interface by a minimal host in a scratch home.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include "files/EngineSettings.h"
#include "files/ParameterTable.h"
#include "files/ParameterWriter.h"
#include "plugin/Vez303.h"
#include "sequencer/Pattern.h"

// A broken invariant is a finding, exactly like a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace kelo::fuzz {

inline bool inUnit(float v) { return v >= 0.0f && v <= 1.0f; }

// Readers hand parameter values here: only the 13 parameters, only normalised values.
struct CheckedParameters : ParameterWriter {
    float values[kNumParameters] = {};
    bool set[kNumParameters] = {};
    void setParameter(int index, float value) override {
        FUZZ_CHECK(index >= 0 && index < kNumParameters);
        FUZZ_CHECK(inUnit(value));
        values[index] = value;
        set[index] = true;
    }
    float getParameter(int index) const override {
        FUZZ_CHECK(index >= 0 && index < kNumParameters);
        return values[index];
    }
};

// Every numeric setting inside its range, whatever a file said.
inline void checkSettingsInRange(const EngineSettings& s) {
    namespace r = settingRange;
    const auto in = [](const auto& range, auto v) { return v >= range.lowest && v <= range.highest; };
    FUZZ_CHECK(in(r::filterMode, s.filterMode));
    FUZZ_CHECK(in(r::accentVelocity, s.accentVelocity));
    FUZZ_CHECK(in(r::activeClocks, s.activeClocks));
    FUZZ_CHECK(in(r::clockSync, s.clockSync));
    FUZZ_CHECK(in(r::vcoGain, s.vcoGain));
    FUZZ_CHECK(in(r::vcoTuning, s.vcoTuning));
    FUZZ_CHECK(in(r::tm6, s.tm6));
    FUZZ_CHECK(in(r::tm3, s.tm3));
    FUZZ_CHECK(in(r::tm4, s.tm4));
    FUZZ_CHECK(in(r::relativeTuning, s.relativeTuning));
    FUZZ_CHECK(in(r::smoothSpeed, s.smoothSpeed));
    FUZZ_CHECK(in(r::tripletScale, s.tripletScale));
    FUZZ_CHECK(in(r::vcaDecay, s.vcaDecay));
    FUZZ_CHECK(s.midiTransmitKnobs >= 0);
}

// A step count the sequencer can play.
inline void checkPatternPlayable(const Pattern& p) {
    FUZZ_CHECK(p.stepCount() >= 1 && p.stepCount() <= kMaxSteps);
}

// A fresh, empty home for the whole run, so instances read only what a target writes there.
inline std::string scratchHome() {
    static const std::string home = [] {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        const std::filesystem::path dir = base / ("kelo-fuzz-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir, ec);
        std::filesystem::create_directories(dir, ec);
        setenv("HOME", dir.string().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / ".config").string().c_str(), 1);
        static std::string removeAtExit;
        removeAtExit = dir.string();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return dir.string();
    }();
    return home;
}

// One plug-in instance behind a minimal host: it answers the version, the time (host tempo
// from the target) and takes whatever MIDI the plug-in sends. One lives at a time, always in
// the same memory: a fresh quarter megabyte per input would cost more than the input itself.
class Instance {
public:
    static constexpr float kRate = 44100.0f;

    Instance() {
        plugin_ = new (storage_) Vez303(&Instance::callback);
        effect_ = plugin_->getAeffect();
        time_.sampleRate = kRate;
        time_.tempo = 120.0;
        time_.timeSigNumerator = time_.timeSigDenominator = 4;
        time_.flags = kVstTransportPlaying | kVstTempoValid;
        dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
    }
    // What effClose does, but the memory stays for the next instance.
    ~Instance() {
        dispatch(effMainsChanged, 0, 0);
        plugin_->~Vez303();
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    Vez303& plugin() { return *plugin_; }
    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatcher(effect_, op, index, value, ptr, opt);
    }
    static void setHostTempo(double bpm) { time_.tempo = bpm; }

    // The instance's chunk, copied into `out` (whose memory is kept from call to call).
    void getChunk(std::vector<uint8_t>& out) {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, 0, 0, &data);
        FUZZ_CHECK(size > 0 && data != nullptr);
        const auto* bytes = static_cast<const uint8_t*>(data);
        out.assign(bytes, bytes + size);
    }
    // Hands the bytes as they are: libFuzzer's input block is exactly `size` bytes long, so a
    // read past it is a finding, and so is a write into it.
    VstIntPtr setChunk(const uint8_t* data, size_t size) {
        return dispatch(effSetChunk, 0, VstIntPtr(size), const_cast<uint8_t*>(data));
    }

    // Hands up to 64 MIDI messages (4 bytes each: offset, status, data1, data2) for one block
    // and renders it; every sample must be finite and below `bound`. Answers the block's peak.
    float render(int frames, const uint8_t* midi, size_t messages, float bound) {
        messages = messages > kMaxMessages ? kMaxMessages : messages;
        struct {
            VstInt32 numEvents;
            VstIntPtr reserved;
            VstEvent* events[kMaxMessages];
        } list{};
        for (size_t i = 0; i < messages; ++i) {
            VstMidiEvent& e = events_[i];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = frames > 0 ? midi[4 * i] % frames : 0;
            std::memcpy(e.midiData, midi + 4 * i + 1, 3);
            list.events[i] = reinterpret_cast<VstEvent*>(&e);
        }
        list.numEvents = VstInt32(messages);
        if (messages > 0) dispatch(effProcessEvents, 0, 0, &list);
        out_[0].assign(size_t(frames), 0.0f);
        out_[1].assign(size_t(frames), 0.0f);
        float* outputs[2] = {out_[0].data(), out_[1].data()};
        effect_->processReplacing(effect_, nullptr, outputs, frames);
        float peak = 0.0f;
        for (const std::vector<float>& channel : out_)
            for (float x : channel) {
                FUZZ_CHECK(std::isfinite(x));
                FUZZ_CHECK(std::fabs(x) < bound);
                peak = std::fmax(peak, std::fabs(x));
            }
        return peak;
    }

    // The 13 host parameters are normalised values.
    void checkParameters() {
        for (int i = 0; i < kNumParameters; ++i) FUZZ_CHECK(inUnit(effect_->getParameter(effect_, i)));
    }

private:
    static constexpr size_t kMaxMessages = 64;

    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&time_);
        case audioMasterWantMidi:
        case audioMasterProcessEvents: return 1;
        default: return 0;
        }
    }

    static inline VstTimeInfo time_{};
    alignas(Vez303) static inline unsigned char storage_[sizeof(Vez303)];
    Vez303* plugin_ = nullptr;
    AEffect* effect_ = nullptr;
    VstMidiEvent events_[kMaxMessages];
    std::vector<float> out_[2];
};

} // namespace kelo::fuzz
