#pragma once
// The analyzer window: a panel over the editor to load a recording of one measure, look at
// it, preview it and the pattern, and transcribe it into the current pattern. The window
// always works on the pattern that is current when it opens and when each of its commands
// runs, and shows its number; edits reach the instance through the site, never in place.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "sequencer/Pattern.h"
#include "toolkit/CControl.h"

namespace kelo {

namespace gui {
class CTextLabel;
class CViewContainer;
} // namespace gui

class AudioPreview;
class CWaveDraw;
struct AnalyzerOptions;

// What the window needs from the instance and the editor around it.
class AnalyzerSite {
public:
    struct Current {
        int32_t index = 0; // the current pattern's number
        Pattern pattern{16, {}};
        bool running = false; // the sequencer plays (the pattern preview)
    };

    virtual ~AnalyzerSite() = default;
    // The instance as of now: returns once every edit sent so far has been applied.
    virtual Current resolve() = 0;
    // The newest copy the editor already holds (no waiting; for idle).
    virtual Current latest() = 0;

    // Edits of pattern `index`, applied at the instance's next block boundary.
    virtual void setStepCount(int32_t index, int32_t steps) = 0;
    virtual void setTriplet(int32_t index, bool on) = 0;
    virtual void setStepFlag(int32_t index, int32_t step, uint8_t mask, bool on) = 0;
    virtual void setStepNote(int32_t index, int32_t step, uint8_t note) = 0;
    // Steps 0..count-1 and the step count of `from` into pattern `index`.
    virtual void writeSteps(int32_t index, const Pattern& from, int32_t count) = 0;
    // The sequencer starts from its first step again; with `toggle` it also starts or stops.
    virtual void restartPattern(bool toggle) = 0;
    // Host sync off, the sequencer at this tempo.
    virtual void setTempo(double bpm) = 0;

    virtual AudioPreview& preview() = 0;
    virtual double hostSampleRate() = 0;
    // The editor's controls brought up to date and its window redrawn.
    virtual void refreshEditor() = 0;
    // A message to the user (no answer expected).
    virtual void tell(const std::string& text) = 0;
    // The native window dialogs belong to (null offscreen).
    virtual void* dialogOwner() = 0;
};

class AnalyzerHandler : public gui::IControlListener {
public:
    // Control tags of the panel.
    enum Tag : int32_t {
        kLoadAudio = 1,
        kPlayAudio = 2,
        kPlayPattern = 3,
        kDetect = 4,
        kRhythm = 5,
        kPitch = 6,
        kTriplet = 7,
        kMatchTempo = 8,
        kSteps = 9,
        kClose = 12,
        kPatternNumber = 13, // the label naming the pattern the window works on
        kTagCount = 14
    };
    static constexpr int32_t kWidth = 708;
    static constexpr int32_t kHeight = 362;

    // Builds the panel into `panel` (sized and placed by the caller, hidden), closed.
    AnalyzerHandler(AnalyzerSite& site, gui::CViewContainer* panel);
    ~AnalyzerHandler() override;
    AnalyzerHandler(const AnalyzerHandler&) = delete;
    AnalyzerHandler& operator=(const AnalyzerHandler&) = delete;

    // Shows the panel; an open window stays as it is.
    void open();
    // Hides it (as "Done" does); the recording and the options stay for the next opening.
    void close();
    bool isOpen() const { return open_; }
    // Labels and values from the state (resolved anew), then tempo matching when it is on.
    void refreshAnalyzer();

    void valueChanged(gui::CControl* control) override;
    void controlBeginEdit(gui::CControl* control) override;
    void controlEndEdit(gui::CControl* control) override;

    gui::CViewContainer* panel() const { return panel_; }
    gui::CControl* control(int32_t tag) const;
    CWaveDraw* waveView() const { return wave_; }
    // The pattern the window works on (its copy as last resolved).
    int32_t patternIndex() const { return current_.index; }

private:
    void resolve();
    void refreshFrom(bool withTempo);
    void onIdle();
    void loadAudio();
    void loadFile(const std::string& path);
    void detect();
    void setChecked(int32_t tag, bool on);

    AnalyzerSite& site_;
    gui::CViewContainer* panel_;
    std::array<gui::CControl*, kTagCount> controls_{};
    gui::CTextLabel* patternLabel_ = nullptr;
    CWaveDraw* wave_ = nullptr;
    AnalyzerSite::Current current_;
    bool open_ = false;
    // Dialog answers arriving after this window is gone find nothing to do.
    std::shared_ptr<AnalyzerHandler*> self_;
};

} // namespace kelo
