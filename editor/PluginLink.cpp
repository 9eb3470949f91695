#include "editor/PluginLink.h"

#include <cmath>
#include <cstring>

#include "plugin/Vez303.h"

namespace kelo {
namespace {

Vez303& instance(void* p) { return *static_cast<Vez303*>(p); }
Sequencer& seq(void* p) { return instance(p).sequencer(); }

// The link travels with its copy command as two words.
LinkArgs argsWithLink(PluginLink* link) {
    const auto u = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(link));
    LinkArgs a;
    a.i[0] = static_cast<int32_t>(static_cast<uint32_t>(u));
    a.i[1] = static_cast<int32_t>(static_cast<uint32_t>(u >> 32));
    return a;
}

PluginLink* linkFrom(const LinkArgs& a) {
    const uint64_t u = uint64_t(uint32_t(a.i[0])) | (uint64_t(uint32_t(a.i[1])) << 32);
    return reinterpret_cast<PluginLink*>(static_cast<uintptr_t>(u));
}

LinkArgs ints(int32_t a, int32_t b = 0) {
    LinkArgs args;
    args.i[0] = a;
    args.i[1] = b;
    return args;
}

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The sequencer's clamp, applied again whenever a command may have shrunk the pattern.
void keepCursorInside(Sequencer& s) { s.setEditCursor(s.editCursor); }

void makeCurrent(Sequencer& s, int index) {
    index = clampInt(index, 0, kNumPatterns - 1);
    if (index != s.currentPattern) s.patternChanged = 1;
    s.currentPattern = index;
    s.requestedPattern = index;
    keepCursorInside(s);
}

constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 999.0;

void applyTempo(Vez303& p, double bpm) {
    if (p.settings().syncMode != 0 || !std::isfinite(bpm)) return;
    p.sequencer().setTempo(bpm < kMinTempo ? kMinTempo : (bpm > kMaxTempo ? kMaxTempo : bpm));
}

// ---- the commands ----

void doCopy(void*, const LinkArgs& a) { linkFrom(a)->copyState(); }
void doApplyStaged(void*, const LinkArgs& a) { linkFrom(a)->applyStaged(); }
void doProgramCommand(void* p, const LinkArgs& a) { seq(p).programCommand(a.i[0]); }
void doSelectPattern(void* p, const LinkArgs& a) { makeCurrent(seq(p), a.i[0]); }
void doStepPattern(void* p, const LinkArgs& a) { makeCurrent(seq(p), seq(p).currentPattern + a.i[0]); }

void doSetStepCount(void* p, const LinkArgs& a) {
    Sequencer& s = seq(p);
    const int n = a.i[1] ? playedSteps(s.current()) + a.i[0] : a.i[0];
    s.current().setStepCount(clampInt(n, 1, kMaxSteps));
    keepCursorInside(s);
}

void doSetTempo(void* p, const LinkArgs& a) { applyTempo(instance(p), a.d); }

void doStepTempo(void* p, const LinkArgs& a) {
    // From the whole number the display shows.
    applyTempo(instance(p), std::floor(instance(p).sequencer().state.tempoBpm) + a.i[0]);
}

void doSetEditCursor(void* p, const LinkArgs& a) {
    seq(p).setEditCursor(a.i[0]);
    seq(p).patternChanged = 1;
}

void doSetShuffle(void* p, const LinkArgs& a) { seq(p).current().setShuffle(clampInt(a.i[0], 0, 127)); }

void doToggleTriplet(void* p, const LinkArgs&) {
    Pattern& pat = seq(p).current();
    pat.setTriplet(!pat.triplet());
}

void doSetSyncMode(void* p, const LinkArgs& a) { instance(p).settings().syncMode = a.i[0] ? 1 : 0; }

void doSetMidiMode(void* p, const LinkArgs& a) {
    Vez303& v = instance(p);
    Sequencer& s = v.sequencer();
    const int mode = a.i[0];
    if (mode == v.settings().midiMode) return;
    // Note mode never ticks the sequencer: stop it first, or its notes would hang.
    if (s.state.running) s.stopSequencer();
    v.settings().midiMode = mode;
    v.voiceControl().gate = 0;
    v.voiceControl().slideFrom = 0;
    s.noteHeld = 0;
}

void doAuditionStart(void* p, const LinkArgs& a) {
    Sequencer& s = seq(p);
    if (s.state.running) return;
    s.playNote(a.i[0], a.i[1]);
}

void doAuditionStop(void* p, const LinkArgs&) {
    Vez303& v = instance(p);
    if (v.sequencer().state.running) return;
    v.voiceControl().gate = 0;
    v.voiceControl().slideFrom = 0;
    v.sequencer().noteHeld = 0;
}

void doRaisePatternChanged(void* p, const LinkArgs&) { seq(p).patternChanged = 1; }

#if defined(KELO_EDITOR_HANDOVER)
uint64_t submit(Vez303& p, PluginLink::Action action, const LinkArgs& args) { return p.post(action, args); }
void waitFor(Vez303& p, uint64_t ticket) { p.waitFor(ticket); }
#else
// Without the instance's hand-over the command runs at once, on this thread.
uint64_t submit(Vez303& p, PluginLink::Action action, const LinkArgs& args) {
    action(&p, args);
    return 0;
}
void waitFor(Vez303&, uint64_t) {}
#endif

} // namespace

PluginLink::PluginLink(Vez303& plugin) : plugin_(plugin) {}

PluginLink::~PluginLink() {
    // Queued copies point at this object.
    waitFor(plugin_, submit(plugin_, [](void*, const LinkArgs&) {}, LinkArgs{}));
}

bool PluginLink::poll() {
    if (!copyQueued_.exchange(true, std::memory_order_acq_rel)) submit(plugin_, &doCopy, argsWithLink(this));
    if (!(middle_.load(std::memory_order_acquire) & kFresh)) return false;
    read_ = middle_.exchange(read_, std::memory_order_acq_rel) & 3;
    return true;
}

void PluginLink::sync() {
    // A copy still queued was taken before the commands that follow it: wait for a new one.
    waitFor(plugin_, submit(plugin_, &doCopy, argsWithLink(this)));
    if (middle_.load(std::memory_order_acquire) & kFresh) read_ = middle_.exchange(read_, std::memory_order_acq_rel) & 3;
}

void PluginLink::copyState() {
    Vez303& v = plugin_;
    Sequencer& s = v.sequencer();
    const EngineSettings& es = v.settings();
    PanelState& c = buffers_[write_];
    c.pattern = s.current();
    c.currentPattern = s.currentPattern;
    c.requestedPattern = s.requestedPattern;
    c.editCursor = s.editCursor;
    c.editAdvance = s.editAdvance;
    c.running = s.state.running;
    c.tempo = s.state.tempoBpm;
    c.syncMode = es.syncMode;
    c.midiMode = es.midiMode;
    c.programmingMode = es.programmingMode;
    c.firstStep = es.firstStep;
    c.eggs = es.eggs;
    c.midiKeyProgramming = es.midiKeyProgramming;
    c.midiOutput = es.midiOutput;
    c.midiOutputChannel = es.midiOutputChannel;
    c.midiTransmitKnobs = es.midiTransmitKnobs;
    c.clockSync = es.clockSync;
    c.loadParameters = es.loadParameters;
    c.learnMode = s.learnMode;
    c.learnParameter = s.learnParameter;
    c.learnCommand = s.learnCommand;
    c.keyProgrammingLeft = s.keyboardProgrammingLeft() ? 1 : 0;
    c.ccMap = v.ccMap();
    for (int t = 0; t < 40; ++t) c.keyForTarget[t] = s.keyForCommand(t);
    uint32_t activity = s.noteHeld ? 0x9E3779B9u : 0u;
    for (int k = 0; k < 128; ++k)
        if (s.heldKeys[k]) activity = activity * 31u + uint32_t(k + 1);
    if (es.midiMode == 1 && s.noteHeld) activity = activity * 31u + uint32_t(s.state.lastNote);
    c.midiActivity = activity;
    c.patternChanged = s.patternChanged;
    s.patternChanged = 0;
    write_ = middle_.exchange(write_ | kFresh, std::memory_order_acq_rel) & 3;
    copyQueued_.store(false, std::memory_order_release);
}

void PluginLink::post(Action action, const LinkArgs& args) { submit(plugin_, action, args); }

void PluginLink::replaceCurrentPattern(const Pattern& pattern) {
    waitFor(plugin_, stagedTicket_); // the previous one has left the stage
    staged_ = pattern;
    stagedTicket_ = submit(plugin_, &doApplyStaged, argsWithLink(this));
}

void PluginLink::applyStaged() {
    Sequencer& s = plugin_.sequencer();
    s.current() = staged_;
    s.current().setStepCount(playedSteps(staged_));
    keepCursorInside(s);
    s.patternChanged = 1;
}
void PluginLink::programCommand(int code) { post(&doProgramCommand, ints(code)); }
void PluginLink::selectPattern(int index) { post(&doSelectPattern, ints(index)); }
void PluginLink::stepPattern(int delta) { post(&doStepPattern, ints(delta)); }
void PluginLink::setStepCount(int steps) { post(&doSetStepCount, ints(steps, 0)); }
void PluginLink::stepStepCount(int delta) { post(&doSetStepCount, ints(delta, 1)); }

void PluginLink::setTempo(double bpm) {
    LinkArgs a;
    a.d = bpm;
    post(&doSetTempo, a);
}

void PluginLink::stepTempo(int delta) { post(&doStepTempo, ints(delta)); }
void PluginLink::setEditCursor(int step) { post(&doSetEditCursor, ints(step)); }
void PluginLink::setShuffle(int amount) { post(&doSetShuffle, ints(amount)); }
void PluginLink::toggleTriplet() { post(&doToggleTriplet); }
void PluginLink::setSyncMode(int on) { post(&doSetSyncMode, ints(on)); }
void PluginLink::setMidiMode(int mode) { post(&doSetMidiMode, ints(mode)); }
void PluginLink::auditionStart(int note, int velocity) { post(&doAuditionStart, ints(note, velocity)); }
void PluginLink::auditionStop() { post(&doAuditionStop); }
void PluginLink::raisePatternChanged() { post(&doRaisePatternChanged); }

} // namespace kelo
