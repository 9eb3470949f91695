#pragma once
// What the analyzer window asks of the editor and the instance, carried out through the
// PluginLink: its pattern edits are commands applied at the instance's block boundaries, and
// the pattern it works on is always the one that is current.
#include "analyzer/window/AnalyzerHandler.h"
#include "editor/PluginLink.h"

namespace kelo {

class Riv303Uru;

class AnalyzerBridge : public AnalyzerSite {
public:
    explicit AnalyzerBridge(Riv303Uru& editor) : editor_(editor) {}

    Current resolve() override;
    Current latest() override;
    void setStepCount(int32_t index, int32_t steps) override;
    void setTriplet(int32_t index, bool on) override;
    void setStepFlag(int32_t index, int32_t step, uint8_t mask, bool on) override;
    void setStepNote(int32_t index, int32_t step, uint8_t note) override;
    void writeSteps(int32_t index, const Pattern& from, int32_t count) override;
    void restartPattern(bool toggle) override;
    void setTempo(double bpm) override;
    AudioPreview& preview() override;
    double hostSampleRate() override;
    void refreshEditor() override;
    void tell(const std::string& text) override;
    void* dialogOwner() override;

    // On the thread that holds the instance: writeSteps' staged steps into the bank.
    void applyStaged(void* plugin);

private:
    Riv303Uru& editor_;
    Pattern staged_{16, {}};
    int32_t stagedIndex_ = 0;
    int32_t stagedCount_ = 0;
};

} // namespace kelo
