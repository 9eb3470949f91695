#pragma once
// The editor's only way into the instance's playing state. While the host processes, the
// pattern bank, the sequencer and the settings belong to the audio thread: the editor never
// writes them in place. Each edit is a small command that the instance applies whole at the
// start of its next block, and what the panel shows is a copy of the state taken the same way
// (three buffers handed over with one atomic word, so neither side ever waits for the other).
#include <atomic>
#include <cstdint>

#include "files/CcMap.h"
#include "sequencer/KeyCommandTable.h"
#include "sequencer/Pattern.h"

#if __has_include("plugin/Handover.h")
#include "plugin/Handover.h"
#define KELO_EDITOR_HANDOVER 1
#endif

namespace kelo {

class Vez303;

#if defined(KELO_EDITOR_HANDOVER)
using LinkArgs = HandoverArgs;
#else
struct LinkArgs {
    int32_t i[4] = {};
    double d = 0.0;
};
#endif

// The part of the instance the panel shows, as one block boundary saw it.
struct PanelState {
    Pattern pattern{16, {}};      // the current pattern
    int32_t currentPattern = 0;
    int32_t requestedPattern = 0;
    int32_t editCursor = 0;
    int32_t editAdvance = 0;
    int32_t running = 0;
    double tempo = 120.0;
    // Settings the panel follows.
    int32_t syncMode = 0;
    int32_t midiMode = 0;
    int32_t programmingMode = 0;
    int32_t firstStep = 1;
    int32_t eggs = 0;
    int32_t midiKeyProgramming = 0;
    // Settings the menus' labels show.
    int32_t midiOutput = 0;
    int32_t midiOutputChannel = -1;
    int32_t midiTransmitKnobs = 0;
    int32_t clockSync = 0;
    int32_t loadParameters = 1;
    // MIDI learn and the maps its labels read.
    int32_t learnMode = 0;
    int32_t learnParameter = -1;
    int32_t learnCommand = -1;
    int32_t keyProgrammingLeft = 0;
    CcMap ccMap{};
    int32_t keyForTarget[40] = {}; // keyForCommand of every learn index, -1 none
    // Changes only incoming MIDI makes: pattern keys held, a note played in note mode.
    uint32_t midiActivity = 0;
    // The instance raised its "pattern changed" flag since the previous copy.
    int32_t patternChanged = 0;

    // The edit step (the cursor kept inside the pattern).
    const PatternStep& editStep() const {
        const int n = playedSteps(pattern);
        return pattern.steps[editCursor < 0 ? 0 : (editCursor >= n ? n - 1 : editCursor)];
    }
};

class PluginLink {
public:
    // A command: runs with the instance's state held, on whichever thread holds it.
    using Action = void (*)(void* plugin, const LinkArgs& args);

    explicit PluginLink(Vez303& plugin);
    // Waits until every command posted so far has been applied: none may outlive the link.
    ~PluginLink();
    PluginLink(const PluginLink&) = delete;
    PluginLink& operator=(const PluginLink&) = delete;

    Vez303& plugin() const { return plugin_; }

    // ---- the panel's copy (UI thread) ----
    // Asks for a new copy (unless one is on its way) and takes the newest one that arrived;
    // true when that is a new one.
    bool poll();
    const PanelState& state() const { return buffers_[read_]; }
    // Returns once the commands posted so far have been applied and a copy taken after them
    // is in state(). For opening, closing and tests; the idle path never waits.
    void sync();

    // ---- commands (UI thread) ----
    void post(Action action, const LinkArgs& args = {});
    void programCommand(int code);
    // The pattern selector: ignores the pattern lock.
    void selectPattern(int index);
    void stepPattern(int delta);
    void setStepCount(int steps);
    void stepStepCount(int delta);
    // Only while the instance keeps its own tempo (not the host's); held to 1..999 BPM.
    void setTempo(double bpm);
    void stepTempo(int delta);
    void setEditCursor(int step);
    void setShuffle(int amount);
    void toggleTriplet();
    void setSyncMode(int on);
    void setMidiMode(int mode);
    // Plays or releases a note on the voice while the sequencer is stopped.
    void auditionStart(int note, int velocity);
    void auditionStop();
    void raisePatternChanged();
    // The current pattern becomes `pattern` (header and all 64 steps).
    void replaceCurrentPattern(const Pattern& pattern);

    // Called with the state held: copies it into the next buffer; applies the staged pattern.
    void copyState();
    void applyStaged();

private:
    static constexpr int kFresh = 4;

    Vez303& plugin_;
    PanelState buffers_[3];
    int write_ = 0; // the state holder's
    int read_ = 1;  // the UI thread's
    std::atomic<int> middle_{2};
    std::atomic<bool> copyQueued_{false};
    Pattern staged_{16, {}};  // replaceCurrentPattern's, until applied
    uint64_t stagedTicket_ = 0;
};

} // namespace kelo
