#include "host/Plugin.h"

#include <cstddef>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if !defined(_WIN32)
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELO_HOST_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KELO_HOST_LEAK_CHECKED 1
#endif
// Under the leak checker a plug-in stays mapped after dlclose: once its libraries are unloaded,
// what their constructors allocated (pixman's tables) can no longer be attributed and reads as
// our leak. Everything else about closing is unchanged.
#if defined(KELO_HOST_LEAK_CHECKED)
constexpr int kKeepLoaded = RTLD_NODELETE;
#else
constexpr int kKeepLoaded = 0;
#endif
#endif

namespace kelo::host {

namespace {

using EntryProc = AEffect* (VSTCALLBACK*)(audioMasterCallback);

// The plug-in calls back before its AEffect is known to us (inside its entry function).
thread_local Plugin* loadingPlugin = nullptr;

} // namespace

std::string defaultPluginPath() {
#ifdef KELO_PLUGIN_PATH
    return KELO_PLUGIN_PATH;
#else
    return {};
#endif
}

Plugin::Plugin()
    : eventStorage_(new VstMidiEvent[kMaxEventsPerBlock]()), eventList_(new EventList()) {
    // Room enough that recording never allocates while a test counts allocations.
    sentMidi_.reserve(1 << 16);
    automations_.reserve(1 << 14);
    timeInfo_.sampleRate = 44100.0;
    timeInfo_.tempo = 120.0;
    timeInfo_.timeSigNumerator = 4;
    timeInfo_.timeSigDenominator = 4;
    timeInfo_.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
}

Plugin::~Plugin() { close(); }

bool Plugin::load(const std::string& path) {
    close();
    error_.clear();
    if (path.empty()) {
        error_ = "no plug-in path";
        return false;
    }
#if defined(_WIN32)
    HMODULE lib = LoadLibraryA(path.c_str());
    if (!lib) {
        error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
        return false;
    }
    library_ = lib;
    auto entry = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(lib, "VSTPluginMain")));
    if (!entry) entry = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(lib, "main")));
#else
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepLoaded);
    if (!library_) {
        const char* why = dlerror();
        error_ = why ? why : "dlopen failed";
        return false;
    }
    auto entry = reinterpret_cast<EntryProc>(dlsym(library_, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(library_, "main"));
#endif
    if (!entry) {
        error_ = "no VSTPluginMain entry";
        unloadLibrary();
        return false;
    }
    loadingPlugin = this;
    AEffect* e = entry(&Plugin::hostCallback);
    loadingPlugin = nullptr;
    if (!e || e->magic != kEffectMagic) {
        error_ = e ? "bad AEffect magic" : "entry returned null";
        unloadLibrary();
        return false;
    }
    e->resvd1 = reinterpret_cast<VstIntPtr>(this);
    effect_ = e;
    return true;
}

void Plugin::close() {
    if (effect_) {
        effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
        effect_ = nullptr;
    }
    unloadLibrary();
}

void Plugin::unloadLibrary() {
    if (!library_) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library_));
#else
    dlclose(library_);
#endif
    library_ = nullptr;
}

VstIntPtr Plugin::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!effect_) return 0;
    if (opcode == effClose) {
        close();
        return 0;
    }
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::setParameter(int index, float value) {
    if (effect_) effect_->setParameter(effect_, index, value);
}

float Plugin::getParameter(int index) { return effect_ ? effect_->getParameter(effect_, index) : 0.0f; }

void Plugin::start(float sampleRate, int blockSize) {
    timeInfo_.sampleRate = sampleRate;
    dispatcher(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatcher(effSetBlockSize, 0, blockSize);
    resume();
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char buffer[256] = {};
    dispatcher(opcode, index, value, buffer);
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

VstIntPtr Plugin::sendEvents(const std::vector<MidiIn>& events) {
    const int n = events.size() < size_t(kMaxEventsPerBlock) ? int(events.size()) : kMaxEventsPerBlock;
    VstEvent* pointers[kMaxEventsPerBlock];
    for (int i = 0; i < n; ++i) {
        VstMidiEvent& e = eventStorage_[i];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = events[size_t(i)].offset;
        e.midiData[0] = static_cast<char>(events[size_t(i)].status);
        e.midiData[1] = static_cast<char>(events[size_t(i)].data1);
        e.midiData[2] = static_cast<char>(events[size_t(i)].data2);
        pointers[i] = reinterpret_cast<VstEvent*>(&e);
    }
    return sendRawEvents(pointers, n);
}

VstIntPtr Plugin::sendRawEvents(VstEvent* const* events, int count) {
    if (count > kMaxEventsPerBlock) count = kMaxEventsPerBlock;
    eventList_->numEvents = count;
    eventList_->reserved = 0;
    for (int i = 0; i < count; ++i) eventList_->events[i] = events[i];
    return dispatcher(effProcessEvents, 0, 0, eventList_.get());
}

void Plugin::process(int frames, float* left, float* right) {
    if (!effect_) return;
    float* outputs[2] = {left, right};
    ++block_;
    processing_ = true;
    effect_->processReplacing(effect_, nullptr, outputs, frames);
    processing_ = false;
}

Block Plugin::render(int frames, const std::vector<MidiIn>& events) {
    Block b;
    b.left.assign(size_t(frames > 0 ? frames : 0), 0.0f);
    b.right.assign(size_t(frames > 0 ? frames : 0), 0.0f);
    if (!events.empty()) sendEvents(events);
    process(frames, b.left.data(), b.right.data());
    return b;
}

void Plugin::clearLogs() {
    sentMidi_.clear();
    automations_.clear();
    callbackCounts_.fill(0);
    processEventsCalls_ = 0;
}

int Plugin::callbackCount(VstInt32 opcode) const {
    return (opcode >= 0 && size_t(opcode) < callbackCounts_.size()) ? callbackCounts_[size_t(opcode)] : 0;
}

VstIntPtr VSTCALLBACK Plugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt) {
    Plugin* self = effect && effect->resvd1 ? reinterpret_cast<Plugin*>(effect->resvd1) : loadingPlugin;
    if (!self) return opcode == audioMasterVersion ? kHostVersion : 0;
    return self->answer(opcode, index, value, ptr, opt);
}

VstIntPtr Plugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    // opt carries the value of audioMasterAutomate; the other opcodes ignore it.
    if (opcode >= 0 && size_t(opcode) < callbackCounts_.size()) ++callbackCounts_[size_t(opcode)];
    const int64_t block = processing_ ? block_ : 0;
    switch (opcode) {
    case audioMasterVersion: return versionAnswer_;
    case audioMasterAutomate: automations_.push_back({block, index, opt}); return 0;
    case audioMasterWantMidi: lastWantMidi_ = value; return 1;
    case audioMasterGetTime:
        lastTimeFilter_ = value;
        return timeInfoEnabled_ ? reinterpret_cast<VstIntPtr>(&timeInfo_) : 0;
    case audioMasterProcessEvents: {
        const auto* list = static_cast<const VstEvents*>(ptr);
        if (!list) return 0;
        ++processEventsCalls_;
        // Lists are longer than VstEvents declares: read the pointers from the bytes.
        const auto* pointers = reinterpret_cast<const unsigned char*>(list) + offsetof(VstEvents, events);
        for (int i = 0; i < list->numEvents; ++i) {
            const VstEvent* e;
            std::memcpy(&e, pointers + sizeof e * size_t(i), sizeof e);
            if (!e) continue;
            SentMidi m;
            m.block = block;
            m.type = e->type;
            m.byteSize = e->byteSize;
            m.deltaFrames = e->deltaFrames;
            m.callIndex = processEventsCalls_;
            m.blocksStarted = block_;
            if (e->type == kVstMidiType) {
                const auto* me = reinterpret_cast<const VstMidiEvent*>(e);
                std::memcpy(m.bytes, me->midiData, 4);
            }
            sentMidi_.push_back(m);
        }
        return 1;
    }
    case audioMasterGetSampleRate: return VstIntPtr(timeInfo_.sampleRate);
    case audioMasterCanDo: {
        const char* what = static_cast<const char*>(ptr);
        if (!what) return 0;
        for (const char* s : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
                              "receiveVstMidiEvent"})
            if (std::strcmp(what, s) == 0) return 1;
        return 0;
    }
    default: return 0;
    }
}

} // namespace kelo::host
