#pragma once
// Whole tables of the instance for the menus' file commands: the pattern bank, the controller
// map with the programming keys, the engine settings. Reading and writing them goes through the
// PluginLink as commands applied at a block boundary, and every call returns once its command
// has run: the stage is never touched by both threads at once, and the audio thread never sees
// a table half-changed.
#include <cstdint>
#include <memory>

#include "files/CcMap.h"
#include "files/EngineSettings.h"
#include "sequencer/KeyCommandTable.h"
#include "sequencer/Pattern.h"

namespace kelo {

class PluginLink;

class InstanceAccess {
public:
    struct Tables {
        PatternBank bank;
        int32_t currentPattern;
        EngineSettings settings;
        CcMap ccMap;
        KeyCommandTable keys;
    };

    explicit InstanceAccess(PluginLink& link);
    ~InstanceAccess();
    InstanceAccess(const InstanceAccess&) = delete;
    InstanceAccess& operator=(const InstanceAccess&) = delete;

    // The stage, filled with the instance's tables as they are now. A command edits it and
    // hands the part it changed back with one of the put calls.
    Tables& fetch();
    Tables& stage() { return *stage_; }

    // Patterns first .. first + count - 1 of the stage replace the bank's (held to the bank);
    // the edit cursor stays inside the current pattern and the panel redraws.
    void putPatterns(int first, int count);
    void putMidiMap();
    // The stage's settings replace the instance's. MIDI output that goes off is switched off
    // the way that sends All Notes Off, so no note hangs on the receiving instrument.
    void putSettings();

    // On the thread that holds the instance.
    void copyOut(void* plugin);
    void applyPut(void* plugin);

private:
    enum class Put { Patterns, MidiMap, Settings };
    // Posts `copyOut` or `applyPut` and returns once it has run.
    void run(bool put);

    PluginLink& link_;
    std::unique_ptr<Tables> stage_;
    Put put_ = Put::Patterns;
    int32_t first_ = 0;
    int32_t count_ = 0;
};

} // namespace kelo
