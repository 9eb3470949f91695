#pragma once
// The preferences panel: the engine settings of "Config.ini" and two editor settings of
// "Gui.ini" as check boxes, four small knobs and two spin boxes over the editor. A change
// takes effect at once (in the instance at its next block boundary); "Reset" brings back the
// defaults, "Save Defaults" writes both files so new instances start with these settings.
#include <array>
#include <cstdint>

#include "editor/PluginLink.h"
#include "files/EngineSettings.h"
#include "toolkit/CControl.h"

namespace kelo {

namespace gui {
class CViewContainer;
} // namespace gui

class Riv303Uru;

class PreferencesHandler : public gui::IControlListener {
public:
    // Control tags (the rows' tags; 0 is every plain label).
    enum Tag : int32_t {
        kClearConfirm = 1,
        kAuditionNotes = 2,
        kClearNotes = 3,
        kProgrammingMode = 4,
        kLoadParameters = 5,
        kLoadDefaultBank = 6,
        kFilter24 = 7,
        kFilter18 = 8,
        kFilter18Pure = 9,
        kVcoTuningKnob = 10,
        kPreGainKnob = 11,
        kFilterVccKnob = 12,
        kVcfFreqKnob = 13,
        kVcoTuningValue = 14,
        kPreGainValue = 15,
        kFilterVccValue = 16,
        kVcfFreqValue = 17,
        kVolumeLeveling = 18,
        kVcaClicks = 19,
        kNonlinearVca = 20,
        kStandardTuning = 21,
        kSyncToHost = 22,
        kNoteMode = 23,
        kMidiOutput = 25,
        kReset = 26,
        kSaveDefaults = 27,
        kAccentLevel = 28,
        kOutputChannel = 29,
        kDone = 30,
        kTagCount = 31
    };
    static constexpr int32_t kWidth = 708;
    static constexpr int32_t kHeight = 362;

    // Builds the rows into `panel` (sized and placed by the caller, hidden).
    PreferencesHandler(Riv303Uru& editor, gui::CViewContainer* panel);
    ~PreferencesHandler() override;
    PreferencesHandler(const PreferencesHandler&) = delete;
    PreferencesHandler& operator=(const PreferencesHandler&) = delete;

    // Shows the panel with the settings in force; a shown panel stays as it is.
    void show();
    void hide();
    bool isShown() const { return shown_; }
    // Every control from the settings as last copied from the instance.
    void refresh();

    void valueChanged(gui::CControl* control) override;
    void controlEndEdit(gui::CControl* control) override;

    gui::CViewContainer* panel() const { return panel_; }
    gui::CControl* control(int32_t tag) const;

    // On the thread that holds the instance: applies a posted change.
    void apply(void* plugin, const LinkArgs& args);

private:
    // Sends one change to the instance. Unless `drag`, waits for it and copies the settings
    // back; during a drag the copy is kept up to date here instead.
    void change(int32_t what, int32_t value, double amount = 0.0, bool drag = false);
    void copyBack();
    void resetAll();
    void saveDefaults();
    void setChecked(int32_t tag, bool on);
    void setKnob(int32_t knob, int32_t caption, float value);

    Riv303Uru& editor_;
    gui::CViewContainer* panel_;
    std::array<gui::CControl*, kTagCount> controls_{};
    EngineSettings settings_; // the instance's, as of the last change or copy
    bool shown_ = false;
};

} // namespace kelo
