#include "editor/AnalyzerBridge.h"

#include <algorithm>
#include <cmath>

#include "editor/Riv303Uru.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"

namespace kelo {
namespace {

Sequencer& seq(void* p) { return static_cast<Vez303*>(p)->sequencer(); }

// The pattern a command names, marked changed for the panel; the cursor stays inside the
// current one.
Pattern& edited(Sequencer& s, int32_t index) {
    s.patternChanged = 1;
    return s.bank.patterns[std::clamp(index, 0, kNumPatterns - 1)];
}

int32_t stepIndex(int32_t step) { return std::clamp(step, 0, kMaxSteps - 1); }

void doSetStepCount(void* p, const LinkArgs& a) {
    Sequencer& s = seq(p);
    edited(s, a.i[0]).setStepCount(a.i[1]);
    s.setEditCursor(s.editCursor);
}

void doSetTriplet(void* p, const LinkArgs& a) { edited(seq(p), a.i[0]).setTriplet(a.i[1] != 0); }

void doSetStepFlag(void* p, const LinkArgs& a) {
    PatternStep& step = edited(seq(p), a.i[0]).steps[stepIndex(a.i[1])];
    const auto mask = uint8_t(a.i[2]);
    step.flags = uint8_t(a.i[3] ? (step.flags | mask) : (step.flags & ~mask));
}

void doSetStepNote(void* p, const LinkArgs& a) {
    edited(seq(p), a.i[0]).steps[stepIndex(a.i[1])].note = uint8_t(a.i[2]);
}

void doApplyStaged(void* p, const LinkArgs& a) {
    const uint64_t u = uint64_t(uint32_t(a.i[0])) | (uint64_t(uint32_t(a.i[1])) << 32);
    reinterpret_cast<AnalyzerBridge*>(static_cast<uintptr_t>(u))->applyStaged(p);
}

void doRestart(void* p, const LinkArgs& a) {
    Sequencer& s = seq(p);
    if (a.i[0]) {
        if (s.state.running)
            s.stopSequencer();
        else
            s.startSequencer();
    }
    s.restartTiming();
}

void doSetTempo(void* p, const LinkArgs& a) {
    Vez303& v = *static_cast<Vez303*>(p);
    v.settings().syncMode = 0;
    // The tempo the panel can show; a recording of a few frames would ask for thousands.
    v.sequencer().setTempo(std::clamp(a.d, 1.0, 999.0));
}

LinkArgs ints(int32_t a, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
    LinkArgs args;
    args.i[0] = a;
    args.i[1] = b;
    args.i[2] = c;
    args.i[3] = d;
    return args;
}

AnalyzerSite::Current fromState(const PanelState& s) {
    AnalyzerSite::Current c;
    c.index = s.currentPattern;
    c.pattern = s.pattern;
    c.running = s.running != 0;
    return c;
}

} // namespace

AnalyzerSite::Current AnalyzerBridge::resolve() {
    editor_.link().sync();
    return fromState(editor_.link().state());
}

AnalyzerSite::Current AnalyzerBridge::latest() { return fromState(editor_.link().state()); }

void AnalyzerBridge::setStepCount(int32_t index, int32_t steps) {
    editor_.link().post(&doSetStepCount, ints(index, steps));
}

void AnalyzerBridge::setTriplet(int32_t index, bool on) { editor_.link().post(&doSetTriplet, ints(index, on)); }

void AnalyzerBridge::setStepFlag(int32_t index, int32_t step, uint8_t mask, bool on) {
    editor_.link().post(&doSetStepFlag, ints(index, step, mask, on));
}

void AnalyzerBridge::setStepNote(int32_t index, int32_t step, uint8_t note) {
    editor_.link().post(&doSetStepNote, ints(index, step, note));
}

void AnalyzerBridge::writeSteps(int32_t index, const Pattern& from, int32_t count) {
    staged_ = from;
    stagedIndex_ = index;
    stagedCount_ = std::clamp(count, 0, kMaxSteps);
    const auto u = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this));
    editor_.link().post(&doApplyStaged, ints(int32_t(uint32_t(u)), int32_t(uint32_t(u >> 32))));
    // The stage is read when the command runs.
    editor_.link().sync();
}

void AnalyzerBridge::applyStaged(void* plugin) {
    Sequencer& s = seq(plugin);
    Pattern& p = edited(s, stagedIndex_);
    std::copy(staged_.steps, staged_.steps + stagedCount_, p.steps);
    p.setStepCount(staged_.stepCount());
    s.setEditCursor(s.editCursor);
}

void AnalyzerBridge::restartPattern(bool toggle) { editor_.link().post(&doRestart, ints(toggle)); }

void AnalyzerBridge::setTempo(double bpm) {
    if (!std::isfinite(bpm) || bpm <= 0.0) return;
    LinkArgs a;
    a.d = bpm;
    editor_.link().post(&doSetTempo, a);
}

AudioPreview& AnalyzerBridge::preview() { return editor_.plugin().audioPreview(); }

double AnalyzerBridge::hostSampleRate() { return editor_.plugin().sampleRate(); }

void AnalyzerBridge::refreshEditor() {
    editor_.fullRefresh();
    if (gui::CFrame* frame = editor_.getFrame()) frame->invalid();
}

void AnalyzerBridge::tell(const std::string& text) { editor_.ask("Orvanta KELO", text, false, nullptr); }

void* AnalyzerBridge::dialogOwner() {
    gui::CFrame* frame = editor_.getFrame();
    return frame && frame->getPlatformFrame() ? frame->getPlatformFrame()->getNativeHandle() : nullptr;
}

} // namespace kelo
