#include "editor/InstanceAccess.h"

#include <algorithm>
#include <cstdint>

#include "editor/PluginLink.h"
#include "plugin/Vez303.h"

namespace kelo {
namespace {

LinkArgs argsWith(InstanceAccess* access, bool put) {
    const auto u = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(access));
    LinkArgs a;
    a.i[0] = static_cast<int32_t>(static_cast<uint32_t>(u));
    a.i[1] = static_cast<int32_t>(static_cast<uint32_t>(u >> 32));
    a.i[2] = put ? 1 : 0;
    return a;
}

void doAccess(void* plugin, const LinkArgs& a) {
    const uint64_t u = uint64_t(uint32_t(a.i[0])) | (uint64_t(uint32_t(a.i[1])) << 32);
    auto* access = reinterpret_cast<InstanceAccess*>(static_cast<uintptr_t>(u));
    if (a.i[2])
        access->applyPut(plugin);
    else
        access->copyOut(plugin);
}

} // namespace

InstanceAccess::InstanceAccess(PluginLink& link) : link_(link), stage_(std::make_unique<Tables>()) {}

InstanceAccess::~InstanceAccess() = default;

void InstanceAccess::run(bool put) {
    link_.post(&doAccess, argsWith(this, put));
    // Waits for everything posted so far, this command included.
    link_.sync();
}

InstanceAccess::Tables& InstanceAccess::fetch() {
    run(false);
    return *stage_;
}

void InstanceAccess::putPatterns(int first, int count) {
    first_ = std::clamp(first, 0, kNumPatterns);
    count_ = std::clamp(count, 0, kNumPatterns - first_);
    if (count_ == 0) return;
    put_ = Put::Patterns;
    run(true);
}

void InstanceAccess::putMidiMap() {
    put_ = Put::MidiMap;
    run(true);
}

void InstanceAccess::putSettings() {
    put_ = Put::Settings;
    run(true);
}

void InstanceAccess::copyOut(void* plugin) {
    Vez303& v = *static_cast<Vez303*>(plugin);
    Sequencer& s = v.sequencer();
    Tables& t = *stage_;
    t.bank = s.bank;
    t.currentPattern = s.currentPattern;
    t.settings = v.settings();
    t.ccMap = v.ccMap();
    t.keys = s.keyCommands;
}

void InstanceAccess::applyPut(void* plugin) {
    Vez303& v = *static_cast<Vez303*>(plugin);
    Sequencer& s = v.sequencer();
    const Tables& t = *stage_;
    switch (put_) {
    case Put::Patterns:
        std::copy(t.bank.patterns + first_, t.bank.patterns + first_ + count_, s.bank.patterns + first_);
        s.setEditCursor(s.editCursor);
        s.patternChanged = 1;
        break;
    case Put::MidiMap:
        v.ccMap() = t.ccMap;
        s.keyCommands = t.keys;
        break;
    case Put::Settings: {
        const EngineSettings& now = v.settings();
        if (now.midiOutputActive() &&
            (!t.settings.midiOutputActive() || t.settings.midiChannel() != now.midiChannel()))
            s.setMidiOutput(false);
        v.settings() = t.settings;
        s.patternChanged = 1;
        break;
    }
    }
}

} // namespace kelo
