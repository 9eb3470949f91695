#pragma once
// The plug-in's editor: the panel the host opens. It holds no sound state of its own: knobs
// write the plug-in's parameters, keys and displays send commands to the instance (applied at
// its next block), and the idle routine brings the panel up to date from a copy of the
// instance's state. The whole look comes from the skin; a control whose tag the skin does not
// define is not created.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/Menus.h"
#include "editor/PluginLink.h"
#include "editor/SkinDefinition.h"
#include "editor/SkinLoader.h"
#include "files/EditorSettings.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CControl.h"
#if defined(_WIN32)
#include "toolkit/win32/OleSession.h"
#endif

namespace kelo {

namespace gui {
class CBitmap;
class CViewContainer;
} // namespace gui

class AnalyzerBridge;
class AnalyzerHandler;
class CAnimSprite;
class CFloatingDisplay;
class PreferencesHandler;
class CMySplashScreen;
class Vez303;

class Riv303Uru : public gui::AEffGUIEditor, public gui::IControlListener, public gui::CBaseObject {
public:
    // Controls without a skin element of their own.
    static constexpr int32_t kBugSpriteTag = 2016;
    static constexpr int32_t kMaxTag = 2048;

    // Timers of the idle routine, in milliseconds.
    static constexpr uint32_t kMidiLedMs = 75;
    static constexpr uint32_t kRepeatMs = 50;
    static constexpr uint32_t kBlinkMs = 200;
    static constexpr uint32_t kRefreshMs = 500;
    static constexpr uint32_t kHoldOffMs = 300;
    static constexpr int kLightShowFrames = 14;

    explicit Riv303Uru(Vez303& plugin);
    ~Riv303Uru() override;

    // ---- the host's editor calls ----
    bool getRect(ERect** rect) override;
    bool open(void* parentWindow) override;
    // The same panel in memory (tests, tools, benchmarks).
    bool openOffscreen();
    void close() override;
    void idle() override;
    bool setKnobMode(VstInt32 mode) override;
    gui::int32 getKnobMode() const override;
    // Only the controls bound to a parameter start and end an edit at the host.
    void beginEdit(gui::int32 tag) override;
    void endEdit(gui::int32 tag) override;
    // Every parameter write of the panel: through the host, so it records automation.
    virtual void setParameterAutomated(int index, float value);

    // ---- controls ----
    void valueChanged(gui::CControl* control) override;
    void controlBeginEdit(gui::CControl* control) override;
    void controlEndEdit(gui::CControl* control) override;
    gui::CMessageResult notify(gui::CBaseObject* sender, gui::IdStringPtr message) override;

    // ---- for the menus, the panels and tests ----
    Vez303& plugin() const { return plugin_; }
    PluginLink& link() { return link_; }
    EditorSettings& settings() { return settings_; }
    // The skin of the Gui.ini setting, loaded when first needed (getRect, open).
    const SkinDefinition& skin() {
        ensureSkin();
        return skin_;
    }
    SkinOrigin skinOrigin() {
        ensureSkin();
        return skinOrigin_;
    }
    EditorMenus& menus() { return menus_; }
    bool isOpen() const { return open_; }
    // The control of a tag, or null (the skin may leave any control out).
    gui::CControl* control(int32_t tag) const;
    gui::CViewContainer* panel() const { return panel_; }
    // Hidden panels the preferences and the analyzer are built into.
    gui::CViewContainer* preferencesPanel() const { return preferences_; }
    gui::CViewContainer* analyzerPanel() const { return analyzer_; }
    // Their handlers while the editor is open, else null.
    PreferencesHandler* preferences() const { return preferencesHandler_.get(); }
    AnalyzerHandler* analyzer() const { return analyzerHandler_.get(); }
    // The copy/paste clipboard of the pattern menu.
    Pattern& clipboard() { return clipboard_; }

    // Loads a skin into the definition now (the open panel keeps its own until it is opened
    // again); false, with the definition unchanged, when neither it nor a fallback loads.
    bool loadSkin(const std::string& name);
    // Loads exactly this skin from `store`, with no fallback (a skin author's preview).
    bool useSkin(const SkinStore& store, const std::string& name);
    // Reads and writes "Gui.ini" in the data folder.
    bool readSettings();
    void writeSettings() const;
    // Brings every control up to date now / at the next 500 ms tick.
    void fullRefresh();
    void requestRefresh() { refreshPending_ = true; }
    // The pattern-file display's text (the last pattern file's name).
    void setPatchName(const std::string& name);
    // The about box.
    void showAbout();
    // The preferences panel and the analyzer window, over the panel; one at a time, and one
    // already shown is left as it is.
    void openPreferences();
    void openAnalyzer();
    // Asks something of the user on behalf of the open panel; the answer is dropped when the
    // panel closes first.
    void ask(const std::string& title, const std::string& text, bool yesNo, std::function<void(bool yes)> done);

protected:
    // A parameter the host or the audio thread changed (marked lock-free, applied here).
    void parameterChanged(VstInt32 index) override;

private:
    struct LearnLabel {
        int32_t index;   // parameter index 0..12, or key code + 13
        int32_t tag;     // the control it labels
        CFloatingDisplay* display;
    };

    bool openFrame(void* parentWindow, bool offscreen);
    void ensureSkin();
    void buildControls();
    bool elementUsable(int32_t tag) const;
    gui::CBitmap* bitmapOf(int32_t tag) const;
    gui::CRect rectOf(int32_t tag) const;
    void add(gui::CControl* control);
    void buildKnob(int32_t tag);
    void buildMovie(int32_t tag);
    void buildKick(int32_t tag);
    void buildOnOff(int32_t tag);
    void buildRocker(int32_t tag);
    void buildIllu(int32_t tag);
    void buildDigits(int32_t tag);
    void buildLearnLabels();
    void buildError();

    // The panel from the copy of the instance's state, timers included.
    void applyState(bool parameters);
    void applyLights();
    void applyParameters();
    void refreshLearnLabels();
    void setValueUnlessEditing(int32_t tag, float value);
    void setLit(int32_t tag, bool lit);
    void setLed(int32_t tag, bool on);

    void runStepKey(int code);
    void pressClear();
    void auditionPress(int32_t tag);
    void auditionRelease();
    void startHold(int32_t tag);
    void stepHeld(int32_t tag);
    void checkEgg();
    void idleTimers(uint32_t now);
    void lightShowFrame(int frame);
    void popupMenu(int32_t menuTag, int32_t buttonTag);
    void* messageOwner() const;

    Vez303& plugin_;
    PluginLink link_;
    EditorMenus menus_;
    std::shared_ptr<uint32_t> alive_; // the open session's number, 0 while closed
    EditorSettings settings_;
    bool settingsRead_ = false;
    bool reinstallShown_ = false;
    SkinDefinition skin_;
    SkinOrigin skinOrigin_ = SkinOrigin::None;
    bool skinTried_ = false;
    Pattern clipboard_{16, {}};
#if defined(_WIN32)
    gui::win32::OleSession ole_; // file dialogs need OLE on this thread; undone only if it was done
#endif

    // Open state.
    bool open_ = false;
    uint32_t session_ = 0; // counts opens: answers of a closed session are dropped
    gui::CViewContainer* panel_ = nullptr;
    gui::CViewContainer* preferences_ = nullptr;
    gui::CViewContainer* analyzer_ = nullptr;
    std::unique_ptr<PreferencesHandler> preferencesHandler_;
    std::unique_ptr<AnalyzerBridge> analyzerBridge_;
    std::unique_ptr<AnalyzerHandler> analyzerHandler_;
    std::array<gui::CControl*, kMaxTag> controls_{};
    std::vector<LearnLabel> learnLabels_;
    bool buildErrorShown_ = false;
    bool inIdle_ = false;

    // Idle timers (tick counts in ms, compared by unsigned difference).
    uint32_t lastMidiLed_ = 0;
    uint32_t lastRepeat_ = 0;
    uint32_t lastBlink_ = 0;
    uint32_t lastRefresh_ = 0;
    bool blinkPhase_ = false;
    bool refreshPending_ = false;
    // Rockers and the held length keys: auto-repeat starts at this time.
    struct Hold {
        int32_t tag;
        uint32_t from;
    };
    std::vector<Hold> holds_;
    int lightShow_ = kLightShowFrames; // next frame of the start-up light show; done at 14
    // Between its first and its last frame the show owns the note keys.
    bool lightShowRunning() const { return lightShow_ > 0 && lightShow_ < kLightShowFrames; }
    uint32_t lastLightShow_ = 0;
    uint32_t lastMidiActivity_ = 0;
    bool auditioning_ = false;
    bool applied_ = false; // a copy of the state has been shown since the panel opened
    PanelState shown_;     // the copy the panel shows
};

} // namespace kelo
