#include "plugin/Vez303.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/CcMapFile.h"
#include "files/EngineSettingsFile.h"
#include "files/PatternFile.h"
#include "platform/Platform.h"
#include "sequencer/MidiBytes.h"

namespace kelo {

namespace {

using midi::kAllNotesOff;
constexpr double kFixedHighpassCoeff = 0.064;

const char* programmingKeyName(int key) {
    switch (key) {
    case 36: return "Run/Stop";
    case 37: return "Pattern";
    case 38: return "C";
    case 39: return "Clear";
    case 40: return "D";
    case 41: return "D#";
    case 42: return "E";
    case 43: return "F";
    case 44: return "F#";
    case 45: return "G";
    case 46: return "G#";
    case 47: return "A";
    case 48: return "Start";
    case 49: return "B";
    case 50: return "C";
    case 72: return "Down";
    case 74: return "Up";
    case 76: return "Accent";
    case 77: return "Slide";
    case 82: return "Zero";
    case 83: return "Back";
    case 84: return "Next";
    default: return nullptr;
    }
}

// Integer part of a controller value. The small allowance keeps a value that arrived as a
// controller (c / 127 in float) from coming back out one lower.
int controllerValue(float value) {
    const int i = static_cast<int>(double(value) * 127.0 + 1e-4);
    return i < 0 ? 0 : (i > 127 ? 127 : i);
}

} // namespace

Vez303::Vez303(audioMasterCallback master, EditorFactory makeEditor)
    : AudioEffectX(master, kNumPrograms, kNumParameters),
      sampleRateCopy_(getSampleRate()),
      sequencer_(voiceControl_, settings_, ccMap_, tuning_, *this) {
    setNumInputs(0);
    setNumOutputs(2);
    setUniqueID(kUniqueId);
    setVersion(1);
    isSynth();
    canProcessReplacing();
    programsAreChunks();

    for (ProgramRecord& p : programs_) {
        vstCopyString(p.name, "Default", sizeof p.name);
        for (int i = 0; i < kProgramValues; ++i) p.values[i] = parameterDefault(i);
    }

    startUp();
    voice_.scope().clear();
    publishView(this);

    if (makeEditor) setEditor(makeEditor(*this));
}

Vez303::~Vez303() {
    // Nothing processes any more: what is still queued applies here.
    handover_.setProcessing(false);
    handover_.settle();
    if (settings_.midiOutputActive()) {
        sequencer_.releaseSentNotesNow();
        const int status = midi::kControlChange | settings_.midiChannel();
        sendMidiNow(0, status, kAllNotesOff, 0);
        queueMidiEvent(0, status, kAllNotesOff, 0);
    }
    if (!dataFolder_.empty())
        saveMidiMapIfChanged(ccMap_, sequencer_.keyCommands, ccMapOnDisk_, dataFolder_ + "MidiCC.ini");
    // The editor may call back into the instance while it closes: it goes while every
    // member is still alive.
    setEditor(nullptr);
}

void Vez303::startUp() {
    voiceControl_.pitchHz = 110.0f;
    sampleRateCopy_ = getSampleRate();
    events_.clear();

    tuning_.build();
    voice_.init(sampleRateCopy_);
    dataFolder_ = platform::dataFolder();
    sequencer_.seedRandom(platform::tickCount());

    for (auto& s : slots_) s.store(1.0f, std::memory_order_relaxed);
    sequencer_.setTempo(120.0);
    for (int index : kDefaultApplyOrder) setParameter(index, kParameterDefaults[index]);
    setParameter(kEditorSlotA, kEditorSlotAValue);
    setParameter(kEditorSlotB, kEditorSlotBValue);

    settings_ = EngineSettings{};
    setDefaultKeyCommands(sequencer_.keyCommands);
    // Without a data folder the relative names would land in the host's working directory.
    if (!dataFolder_.empty()) {
        readEngineSettings(settings_, dataFolder_ + "Config.ini", this);
        readEngineSettings(settings_, dataFolder_ + "User.ini", this);
    }
    if (settings_.midiTransmitKnobs < 0) settings_.midiTransmitKnobs = 0;

    setDefaultCcMap(ccMap_);
    if (!dataFolder_.empty())
        ccMapOnDisk_ = loadMidiMapFile(ccMap_, sequencer_.keyCommands, dataFolder_ + "MidiCC.ini");

    clearPatternBank();
    if (settings_.loadDefaultBank && !dataFolder_.empty())
        readBank(sequencer_.bank, dataFolder_ + "DefaultPatternBank.pat");
}

std::string Vez303::patternSearchMask() const {
    std::string mask = dataFolder_ + "Patterns/*.pat";
    const char sep = platform::pathSeparator();
    for (char& c : mask)
        if (c == '/') c = sep;
    return mask;
}

void Vez303::clearPatternBank() {
    const uint8_t flags = settings_.clearNotes ? uint8_t(StepGate) : uint8_t(0);
    for (Pattern& p : sequencer_.bank.patterns) {
        p.setTriplet(false);
        for (PatternStep& s : p.steps) {
            s.note = 0;
            s.flags = flags;
        }
    }
}

// ---------------------------------------------------------------------------------- dispatcher

void Vez303::applyResume(void* self, const Handover::Args&) {
    Vez303& p = *static_cast<Vez303*>(self);
    p.voiceControl_.gate = 0;
    p.voiceControl_.slideFrom = 0;
    p.voice_.resume();
    p.sequencer_.resume();
}

void Vez303::resume() {
    handover_.run(&Vez303::applyResume);
    handover_.setProcessing(true);
    wantEvents(1);
}

void Vez303::suspend() { handover_.setProcessing(false); }

void Vez303::applySampleRate(void* self, const Handover::Args& args) {
    Vez303& p = *static_cast<Vez303*>(self);
    p.AudioEffectX::setSampleRate(float(args.d));
    p.sampleRateCopy_ = float(args.d);
}

void Vez303::setSampleRate(float rate) {
    // Every rate-derived coefficient divides by it: keep the last usable rate instead.
    if (!(rate > 0.0f) || !std::isfinite(rate)) return;
    Handover::Args args;
    args.d = rate;
    handover_.run(&Vez303::applySampleRate, args);
}

void Vez303::publishView(void* self) {
    Vez303& p = *static_cast<Vez303*>(self);
    const EngineSettings& s = p.settings_;
    p.outputChannel_.store(s.midiOutputChannel, std::memory_order_relaxed);
    p.knobEchoChannel_.store(s.midiOutputActive() && s.midiTransmitKnobs ? s.midiChannel() : -1,
                             std::memory_order_relaxed);
    p.keyNameMode_.store(s.midiMode != 0 ? 2 : (s.midiKeyProgramming ? 1 : 0), std::memory_order_relaxed);
}

bool Vez303::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index > 1) return false;
    std::snprintf(properties->label, sizeof properties->label, "KELO %1d", int(index) + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool Vez303::getEffectName(char* name) {
    vstCopyString(name, "KELO", kShortTextSize);
    return true;
}

bool Vez303::getVendorString(char* text) {
    vstCopyString(text, "Orvanta", kLongTextSize);
    return true;
}

bool Vez303::getProductString(char* text) {
    vstCopyString(text, "KELO", kLongTextSize);
    return true;
}

VstInt32 Vez303::canDo(const char* text) {
    static const char* const supported[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
                                            "sendVstEvents",    "sendVstMidiEvent",    "sendVstTimeInfo"};
    if (!text) return -1;
    for (const char* s : supported)
        if (std::strcmp(text, s) == 0) return 1;
    return -1;
}

bool Vez303::getMidiKeyName(VstInt32 /*channel*/, MidiKeyName* keyName) {
    const int mode = keyNameMode_.load(std::memory_order_relaxed);
    if (mode == 2) return false;
    if (mode == 0) {
        std::snprintf(keyName->keyName, sizeof keyName->keyName, "Pattern %d", int(keyName->thisKeyNumber));
    } else if (const char* name = programmingKeyName(keyName->thisKeyNumber)) {
        vstCopyString(keyName->keyName, name, sizeof keyName->keyName);
    }
    return true;
}

// ---------------------------------------------------------------------------------- parameters

void Vez303::setParameter(VstInt32 index, float value) {
    // No slot, no controller and no control lives below 0; -1 would match every unmapped
    // controller and send Bank Select.
    if (index < 0) return;
    value = admitParameter(index, value);
    if (index < kNumParameters) {
        sequencer_.noteParameterChange(index);
        sequencer_.learnCommand = -1;
    }
    if (index < kNumParamSlots) slots_[index].store(value, std::memory_order_relaxed);

    const int channel = knobEchoChannel_.load(std::memory_order_relaxed);
    if (channel >= 0) {
        for (int c = 0; c < kCcMapSize; ++c) {
            if (ccMap_.entries[c] == index) {
                sendMidiNow(0, midi::kControlChange | channel, c, controllerValue(value));
                break;
            }
        }
    }
    if (editor) editor->setParameter(index, value);
}

float Vez303::getParameter(VstInt32 index) const {
    return (index >= 0 && index < kNumParamSlots) ? slots_[index].load(std::memory_order_relaxed) : 0.0f;
}

void Vez303::getParameterName(VstInt32 index, char* text) { vstCopyString(text, parameterName(index), kShortTextSize); }

void Vez303::getParameterLabel(VstInt32, char* text) { vstCopyString(text, " ", kShortTextSize); }

void Vez303::getParameterDisplay(VstInt32 index, char* text) {
    formatParameterDisplay(index, getParameter(index), text, kShortTextSize);
}

// ---------------------------------------------------------------------------------- programs

void Vez303::setProgram(VstInt32 program) {
    if (program < 0) program = 0;
    if (program >= kNumPrograms) program = kNumPrograms - 1;
    {
        std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
        curProgram = program;
    }
    // Re-announce every value so the editor and any MIDI receiver follow the switch.
    for (int slot = 0; slot < kNumParamSlots; ++slot) setParameter(slot, getParameter(slot));
}

void Vez303::setProgramName(char* name) {
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    vstCopyString(programs_[curProgram].name, name, kProgramNameSize);
}

void Vez303::getProgramName(char* name) {
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    vstCopyString(name, programs_[curProgram].name, kProgramNameSize);
}

bool Vez303::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    vstCopyString(text, programs_[index].name, kProgramNameSize);
    return true;
}

bool Vez303::copyProgram(VstInt32 destination) {
    if (destination < 0 || destination >= kNumPrograms) return false;
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    programs_[destination] = programs_[curProgram];
    return true;
}

// ---------------------------------------------------------------------------------- state chunk

// The chunk's patterns, settings and cursor are the audio thread's: they are collected and
// replaced at a block boundary. Programs and parameter slots are handled on the caller's thread.

void Vez303::collectChunk(void* self, const Handover::Args&) {
    Vez303& p = *static_cast<Vez303*>(self);
    ChunkStage& c = p.collected_;
    c.bank = p.sequencer_.bank;
    c.settings = p.settings_;
    c.editCursor = p.sequencer_.editCursor;
    c.currentPattern = p.sequencer_.currentPattern;
    c.editAdvance = p.sequencer_.editAdvance;
    c.patternLock = p.sequencer_.patternLock;
}

VstInt32 Vez303::getChunk(void** data, bool) {
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    handover_.run(&Vez303::collectChunk);
    for (int i = 0; i < kNumParamSlots; ++i) collected_.slots[i] = getParameter(i);
    ChunkState s = collected_.state();
    s.programs = programs_;
    s.currentProgram = &curProgram;
    writeStateChunk(s, chunk_);
    *data = chunk_;
    return VstInt32(kStateChunkSize);
}

void Vez303::applyStagedChunk(void* self, const Handover::Args&) {
    Vez303& p = *static_cast<Vez303*>(self);
    const ChunkStage& c = p.staged_;
    EngineSettings& es = p.settings_;
    Sequencer& seq = p.sequencer_;
    // A new mode or output leaves nothing playing that the new state could not stop: note
    // mode never ticks the sequencer, mode 2 ignores every stop, and output switched off
    // would strand the notes already sent.
    if (c.settings.midiMode != es.midiMode || c.settings.midiOutput != es.midiOutput) seq.halt(0);
    seq.bank = c.bank;
    es.midiMode = c.settings.midiMode;
    es.syncMode = c.settings.syncMode;
    es.highpass = c.settings.highpass;
    es.filterMode = c.settings.filterMode;
    es.midiOutput = c.settings.midiOutput;
    es.clockSync = c.settings.clockSync;
    es.midiTransmitKnobs = c.settings.midiTransmitKnobs;
    seq.currentPattern = c.currentPattern;
    seq.editCursor = c.editCursor;
    seq.editAdvance = c.editAdvance;
    seq.patternLock = c.patternLock;
}

VstInt32 Vez303::setChunk(void* data, VstInt32 byteSize, bool) {
    if (!data || byteSize < VstInt32(kStateChunkSize)) return byteSize;
    std::lock_guard<std::recursive_mutex> lock(dispatchLock_);
    // Keep the host's bytes, as getChunk's buffer does, then restore from our copy.
    std::memmove(chunk_, data, kStateChunkSize); // hosts may hand back our own buffer
    handover_.wait(stagedTicket_);                // the previous chunk has left the stage
    if (!readStateChunk(staged_.state(), chunk_, kStateChunkSize)) return byteSize;
    std::memcpy(programs_, staged_.programs, sizeof programs_);
    curProgram = staged_.currentProgram;
    for (int i = 0; i < kNumParamSlots; ++i)
        slots_[i].store(admitParameter(i, staged_.slots[i]), std::memory_order_relaxed);
    stagedTicket_ = handover_.submit(&Vez303::applyStagedChunk);
    return byteSize;
}

// ---------------------------------------------------------------------------------- MIDI out

bool Vez303::sendMidiNow(int offset, int b0, int b1, int b2) {
    if (outputChannel_.load(std::memory_order_relaxed) < 0) return false;
    VstMidiEvent event = makeMidiEvent(offset, b0, b1, b2);
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    return sendVstEventsToHost(&list);
}

void Vez303::queueMidiEvent(int offset, int b0, int b1, int b2) {
    // A full queue goes to the host now rather than lose what follows: a dropped note-off
    // or all-notes-off leaves a note hanging downstream for good.
    if (!outgoing_.push(offset, b0, b1, b2)) {
        flushOutgoingMidi();
        outgoing_.push(offset, b0, b1, b2);
    }
}

void Vez303::flushOutgoingMidi() {
    outgoing_.flush([this](VstEvents* list) { sendVstEventsToHost(list); });
}

// ---------------------------------------------------------------------------------- audio

VstInt32 Vez303::processEvents(VstEvents* events) {
    events_.store(events);
    return 1;
}

int Vez303::tickSequencer(void* self, int limit) {
    return static_cast<Vez303*>(self)->sequencer_.sequencerRun(limit);
}

VoiceSettings Vez303::voiceSettings() const {
    VoiceSettings v;
    v.filterMode = settings_.filterMode;
    v.vcaLeveling = settings_.vcaLeveling;
    v.vcaNoise = settings_.vcaNoise;
    v.outputClipping = settings_.outputClipping;
    v.envmodKnob = settings_.envmodKnob;
    v.vcoGain = settings_.vcoGain;
    v.tm3 = settings_.tm3;
    v.tm4 = settings_.tm4;
    v.tm6 = settings_.tm6;
    v.relativeTuning = settings_.relativeTuning;
    v.smoothSpeed = settings_.smoothSpeed;
    v.vcaDecay = settings_.vcaDecay;
    v.activeClocks = settings_.activeClocks;
    return v;
}

void Vez303::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    const int32_t frames = sampleFrames > 0 ? sampleFrames : 0;
    if (!handover_.enterBlock()) {
        // Another thread is replacing the state this moment: a silent block, and its events
        // wait for the next one.
        for (int ch = 0; ch < 2 && outputs; ++ch)
            if (outputs[ch]) std::memset(outputs[ch], 0, sizeof(float) * size_t(frames));
        events_.keep();
        return;
    }
    sequencer_.beginBlock();
    handover_.applyPending();
    sampleRateCopy_ = getSampleRate();
    handover_.noteBlockLength(frames / sampleRateCopy_);

    const VstTimeInfo* time = getTimeInfo(kVstTempoValid);
    if (settings_.syncMode == 1 && time && time->tempo >= 0.000001) sequencer_.setTempo(time->tempo);

    events_.clampToBlock(frames);
    int32_t position = 0;
    for (int i = 0; i < events_.count(); ++i) {
        const VstEvent& e = events_.at(i);
        const int32_t offset = e.deltaFrames;
        // Render up to the event first, so the sequencer stamps those frames' MIDI from the
        // previous position and the event takes effect at its own sample.
        if (offset != position) {
            renderSubBlock(outputs, position, offset);
            position = offset;
        }
        sequencer_.setEventOffset(offset);
        if (e.type == kVstMidiType) {
            const auto& m = reinterpret_cast<const VstMidiEvent&>(e);
            sequencer_.handleMidiMessage(uint8_t(m.midiData[0]) & 0xF0, uint8_t(m.midiData[1]) & 0x7F,
                                         uint8_t(m.midiData[2]) & 0x7F);
        }
        flushOutgoingMidi();
    }
    if (position < frames) renderSubBlock(outputs, position, frames);
    flushOutgoingMidi();
    events_.clear();
    handover_.leaveBlock();
}

void Vez303::renderSubBlock(float** outputs, int32_t from, int32_t to) {
    const int32_t n = to - from;
    if (n <= 0) return;

    snapshot_.waveform = getParameter(kWaveform);
    snapshot_.tune = getParameter(kTune);
    snapshot_.cutoff = getParameter(kCutoff);
    snapshot_.resonance = getParameter(kResonance);
    snapshot_.envmod = getParameter(kEnvmod);
    snapshot_.decay = getParameter(kDecay);
    snapshot_.accent = getParameter(kAccent);
    snapshot_.volume = getParameter(kVolume);
    snapshot_.drive = getParameter(kDrive);
    snapshot_.distortion = getParameter(kDistortion);
    snapshot_.distType = getParameter(kDistortionType);
    snapshot_.highpass = getParameter(kHighpassFilter);

    const VoiceSettings vs = voiceSettings();
    const double fs = sampleRateCopy_;
    sequencer_.refreshStepLength(fs);
    VoiceTick tick = settings_.midiMode == 1 ? nullptr : &Vez303::tickSequencer;
    outputStage_.configure(snapshot_.drive, snapshot_.distortion, kFixedHighpassCoeff,
                           static_cast<int>(snapshot_.distType), snapshot_.highpass > 0.5f);
    volume_.begin(snapshot_.volume * snapshot_.volume, n);
    // The voice does no work at volume 0. While the ramp still fades down from an audible
    // gain, it must compute the sound the ramp fades out, or the fade would be a cut.
    ParamSnapshot voiceParams = snapshot_;
    if (!(voiceParams.volume > 0.0f) && volume_.gain() > 0.0f) voiceParams.volume = volume_.gain();

    // A host block may exceed the render buffer: the sub-block is rendered in pieces.
    for (int32_t pos = from; pos < to;) {
        const int32_t m = (to - pos) < kRenderCapacity ? (to - pos) : kRenderCapacity;
        float* buf = renderBuffer_;
        voice_.render(buf, m, fs, voiceParams, voiceControl_, vs, tick, this);
        outputStage_.process(buf, m, fs);
        // The pattern restarts with the recording so the two stay in step.
        if (preview_.mix(buf, m, fs)) sequencer_.restartTiming();
        volume_.apply(buf, m);
        if (outputs) {
            for (int ch = 0; ch < 2; ++ch)
                if (outputs[ch]) std::memcpy(outputs[ch] + pos, buf, sizeof(float) * size_t(m));
        }
        pos += m;
    }
    volume_.end();
}

} // namespace kelo
