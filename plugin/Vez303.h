#pragma once
// The plug-in instance: what the host talks to. It owns every piece of the instrument's
// state in fixed-size members, so nothing on the audio path allocates.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "analyzer/AudioPreview.h"
#include "engine/OutputStage.h"
#include "engine/ParamSnapshot.h"
#include "engine/Tuning.h"
#include "engine/Voice.h"
#include "engine/VoiceControl.h"
#include "engine/VoiceSettings.h"
#include "files/CcMap.h"
#include "files/CcMapFile.h"
#include "files/EngineSettings.h"
#include "files/ParameterWriter.h"
#include "plugin/EventStore.h"
#include "plugin/Handover.h"
#include "plugin/OutgoingMidiQueue.h"
#include "plugin/Parameters.h"
#include "plugin/StateChunk.h"
#include "plugin/VolumeRamp.h"
#include "sequencer/Sequencer.h"
#include "vst/AudioEffect.h"

namespace kelo {

class Vez303 : public AudioEffectX, public SequencerHost, public ParameterWriter {
public:
    // Builds the editor for a finished instance; null means "no editor".
    using EditorFactory = AEffEditor* (*)(Vez303& plugin);

    static constexpr VstInt32 kUniqueId = vstFourCC('K', 'E', 'L', '3');
    static constexpr int kRenderCapacity = 44100;

    explicit Vez303(audioMasterCallback master, EditorFactory makeEditor = nullptr);
    ~Vez303() override;

    // ---- host dispatcher ----
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) const override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;

    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1; }
    VstInt32 canDo(const char* text) override;
    VstInt32 getNumMidiInputChannels() override { return 1; }
    VstInt32 getNumMidiOutputChannels() override { return 1; }
    bool hasMidiProgramsChanged(VstInt32 /*channel*/) override { return true; }
    bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName) override;

    // ---- audio thread ----
    VstInt32 processEvents(VstEvents* events) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // ---- SequencerHost ----
    bool sendMidiNow(int offset, int b0, int b1, int b2) override;
    void queueMidiEvent(int offset, int b0, int b1, int b2) override;
    double sampleRate() const override { return sampleRateCopy_; }

    // ---- for the editor, the analyzer and tests ----
    // While the instance processes, the state behind these accessors belongs to the audio
    // thread: change it through post() (see plugin/Handover.h), never in place.
    using Action = Handover::Apply; // called with the Vez303 as its target
    uint64_t post(Action action, const Handover::Args& args = {}) { return handover_.submit(action, args); }
    void waitFor(uint64_t ticket) { handover_.wait(ticket); }
    EngineSettings& settings() { return settings_; }
    Sequencer& sequencer() { return sequencer_; }
    VoiceControl& voiceControl() { return voiceControl_; }
    const Voice& voice() const { return voice_; }
    CcMap& ccMap() { return ccMap_; }
    const TuningTables& tuning() const { return tuning_; }
    const std::string& dataFolder() const { return dataFolder_; }
    // Where the editor lists pattern files: the data folder's "Patterns" folder, "*.pat".
    std::string patternSearchMask() const;
    const ProgramRecord& program(int index) const { return programs_[index & (kNumPrograms - 1)]; }
    float volumeGain() const { return volume_.gain(); }
    // The analyzer's recording, mixed into the output while its preview plays.
    AudioPreview& audioPreview() { return preview_; }
    // Taken by the user-interface thread only, around the analyzer's recording exchange; the
    // audio thread never takes it (its own hand-over is post(), above).
    std::mutex& uiLock() { return uiLock_; }

private:
    // The audio-thread half of a state chunk: what setChunk hands over and getChunk collects.
    struct ChunkStage {
        PatternBank bank;
        ProgramRecord programs[kNumPrograms];
        float slots[kNumParamSlots];
        EngineSettings settings;
        int32_t editCursor = 0, currentPattern = 0, editAdvance = 0, currentProgram = 0, patternLock = 0;
        ChunkState state() {
            return {&bank, programs, slots, &settings, &editCursor, &currentPattern, &editAdvance, &currentProgram,
                    &patternLock};
        }
    };

    static void applyStagedChunk(void* self, const Handover::Args&);
    static void collectChunk(void* self, const Handover::Args&);
    static void applyResume(void* self, const Handover::Args&);
    static void applySampleRate(void* self, const Handover::Args& args);
    static void publishView(void* self);

    void startUp();
    void clearPatternBank();
    void renderSubBlock(float** outputs, int32_t from, int32_t to);
    void flushOutgoingMidi();
    VoiceSettings voiceSettings() const;
    static int tickSequencer(void* self, int limit);

    // Declared before the sequencer, which keeps references to them.
    double sampleRateCopy_ = 44100.0;
    EngineSettings settings_;
    VoiceControl voiceControl_;
    CcMap ccMap_{};
    TuningTables tuning_{};
    Sequencer sequencer_;

    Voice voice_;
    OutputStage outputStage_;
    ParamSnapshot snapshot_;
    VolumeRamp volume_;
    AudioPreview preview_;

    // Any thread reads and writes them: each is one word, brought into 0..1 on the way in.
    std::atomic<float> slots_[kNumParamSlots]{};
    // The dispatcher's threads only, under dispatchLock_.
    ProgramRecord programs_[kNumPrograms]{};

    EventStore events_;
    OutgoingMidiQueue outgoing_;
    float renderBuffer_[kRenderCapacity]{};

    uint8_t chunk_[kStateChunkSize]{};
    ChunkStage staged_; // setChunk's, until applied
    ChunkStage collected_; // getChunk's
    uint64_t stagedTicket_ = 0;
    std::recursive_mutex dispatchLock_; // programs, chunk buffers; never on the audio thread

    // What the dispatcher's threads read of the settings, published by whoever holds the state.
    std::atomic<int32_t> knobEchoChannel_{-1};  // channel for knob moves, -1 none
    std::atomic<int32_t> outputChannel_{-1};    // MidiOutputChannel
    std::atomic<int32_t> keyNameMode_{0};       // MidiMode != 0 ? 2 : MidiKeyProgramming ? 1 : 0

    std::string dataFolder_;
    MidiMapOnDisk ccMapOnDisk_{}; // what "MidiCC.ini" held at start-up; written back only if changed
    std::mutex uiLock_;
    Handover handover_{this, &Vez303::publishView}; // last: its commands reach everything above
};

} // namespace kelo
