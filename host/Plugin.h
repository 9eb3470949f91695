#pragma once
// A minimal VST 2.4 host for tests and tools: loads a plug-in file, drives it the way a DAW
// does and records what the plug-in sends back (MIDI, automation, other callbacks).
//
//   kelo::host::Plugin p;
//   p.load();                      // KELO_PLUGIN_PATH unless a path is given
//   p.start(44100.0f, 512);        // sample rate, block size, effMainsChanged(1)
//   auto out = p.render(512, {{0, 0x90, 36, 100}});
//   p.sentMidi();                  // what the plug-in sent through audioMasterProcessEvents
//
// Rendering through process() with caller-owned buffers and sendEvents() before it does not
// allocate on the host side, so allocation counters only see the plug-in.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vst/VstAbi.h"

namespace kelo::host {

// The plug-in built alongside the tests (empty when the build did not define it).
std::string defaultPluginPath();

// One MIDI message for the plug-in, at a sample offset inside the next block.
struct MidiIn {
    int32_t offset = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// One event the plug-in sent. block: the number of the processReplacing call that was running
// (1 for the first), or 0 when it was sent outside processing (dispatcher, setParameter).
struct SentMidi {
    int64_t block = 0;
    int32_t type = 0;
    int32_t byteSize = 0;
    int32_t deltaFrames = 0;
    uint8_t bytes[4] = {};
    int32_t callIndex = 0; // which audioMasterProcessEvents call carried it (counting from 1)
    int64_t blocksStarted = 0; // processReplacing calls begun when it arrived
};

struct Automation {
    int64_t block = 0;
    int32_t index = 0;
    float value = 0.0f;
};

struct Block {
    std::vector<float> left;
    std::vector<float> right;
};

class Plugin {
public:
    static constexpr int kMaxEventsPerBlock = 1024;
    static constexpr int kHostVersion = 2400;

    Plugin();
    ~Plugin(); // closes the plug-in and unloads its file
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Loads the file and calls its entry; false (with error() saying why) on any failure.
    bool load(const std::string& path = defaultPluginPath());
    // effClose, then the file is unloaded. The logs stay readable.
    void close();
    bool loaded() const { return effect_ != nullptr; }
    const std::string& error() const { return error_; }
    AEffect* effect() const { return effect_; }

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                         float opt = 0.0f);
    void setParameter(int index, float value);
    float getParameter(int index);

    // effSetSampleRate, effSetBlockSize and effMainsChanged(1).
    void start(float sampleRate = 44100.0f, int blockSize = 512);
    void resume() { dispatcher(effMainsChanged, 0, 1); }
    void suspend() { dispatcher(effMainsChanged, 0, 0); }

    // Text answers of the dispatcher (the buffer is zero-filled first).
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);
    std::string parameterName(int index) { return text(effGetParamName, index); }
    std::string parameterLabel(int index) { return text(effGetParamLabel, index); }
    std::string parameterDisplay(int index) { return text(effGetParamDisplay, index); }
    std::string programName() { return text(effGetProgramName); }
    VstIntPtr canDo(const char* what) { return dispatcher(effCanDo, 0, 0, const_cast<char*>(what)); }

    // Hands MIDI to the plug-in (effProcessEvents) for the next block.
    VstIntPtr sendEvents(const std::vector<MidiIn>& events);
    // Hands raw events, exactly as given.
    VstIntPtr sendRawEvents(VstEvent* const* events, int count);
    // One processReplacing call into caller-owned buffers.
    void process(int frames, float* left, float* right);
    // sendEvents (when there are any) and process into fresh buffers.
    Block render(int frames, const std::vector<MidiIn>& events = {});

    // Time info answered to audioMasterGetTime.
    void setTempo(double bpm) { timeInfo_.tempo = bpm; }
    void setTimeInfoEnabled(bool on) { timeInfoEnabled_ = on; }
    VstTimeInfo& timeInfo() { return timeInfo_; }

    const std::vector<SentMidi>& sentMidi() const { return sentMidi_; }
    const std::vector<Automation>& automations() const { return automations_; }
    void clearLogs();
    int64_t blockNumber() const { return block_; }
    // How often the plug-in called the host with this opcode.
    int callbackCount(VstInt32 opcode) const;
    VstIntPtr lastWantMidiValue() const { return lastWantMidi_; }
    VstIntPtr lastTimeFilter() const { return lastTimeFilter_; }
    // What audioMasterVersion answers (a plug-in treats 0 as "no host").
    void setVersionAnswer(VstIntPtr v) { versionAnswer_ = v; }

private:
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void unloadLibrary();

    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMaxEventsPerBlock];
    };

    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    std::string error_;
    std::unique_ptr<VstMidiEvent[]> eventStorage_;
    std::unique_ptr<EventList> eventList_;
    VstTimeInfo timeInfo_{};
    bool timeInfoEnabled_ = true;
    bool processing_ = false;
    int64_t block_ = 0;
    int32_t processEventsCalls_ = 0;
    std::vector<SentMidi> sentMidi_;
    std::vector<Automation> automations_;
    std::array<int, 64> callbackCounts_{};
    VstIntPtr lastWantMidi_ = 0;
    VstIntPtr lastTimeFilter_ = 0;
    VstIntPtr versionAnswer_ = kHostVersion;
};

} // namespace kelo::host
