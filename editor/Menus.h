#pragma once
// The editor's pop-up menus (pattern, options, pattern files, skins): what they hold and what
// their entries do. The panel only opens them and hands their choices over; everything about a
// menu's entries lives here, and the commands themselves in MenuCommands.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/Types.h"

namespace kelo {

namespace gui {
class COptionMenu;
class CFrame;
} // namespace gui

class CMyOptionMenu;
class MenuCommands;
class Riv303Uru;
struct PatternFileNode;

// Entry indices as the toolkit counts them, separators included. Function-button bindings are
// pattern-menu indices kept in Gui.ini, so the pattern menu's are a stored format.
namespace menu {

enum OptionsEntry : int32_t {
    kLearn = 0,
    kMidiOutput = 1,
    kTransmitKnobs = 2,
    kKeyProgramming = 3,
    kClockSync = 4,
    kLoadCcMap = 6,
    kSaveCcMap = 7,
    kViewConfiguration = 8,
    kReloadConfiguration = 9,
    kAssignFunction1 = 11,
    kAssignFunction2 = 12,
    kSelectSkin = 14,
    kDefaultSkin = 15,
    kPreferences = 17,
    kAbout = 18,
    kHomePage = 20,
    kCheckForUpdate = 21,
    kOptionsEntries = 22
};

enum PatternEntry : int32_t {
    kCopy = 1,
    kPaste = 2,
    kTransposeUp12 = 4,
    kTransposeDown12 = 5,
    kTransposeUp1 = 6,
    kTransposeDown1 = 7,
    kShiftLeft = 9,
    kShiftRight = 10,
    kNotesOff = 12,
    kAccentsOff = 13,
    kSlidesOff = 14,
    kRandomizeAll = 16,
    kRandomizePitches = 17,
    kAlter = 18,
    kImportPatterns = 20,
    kExportPatterns = 21,
    kImportRebirth = 22,
    kExportMidi = 23,
    kAnalyze = 25,
    kPatternEntries = 26
};

enum PatternFileEntry : int32_t { kLoadPattern = 0, kSavePattern = 1, kLoadParameters = 3, kFirstFile = 5 };

// The pattern menu's entry at `index` runs a command (it is no separator and inside the menu).
bool isPatternCommand(int32_t index);
// Its title, "" for none.
const char* patternEntryTitle(int32_t index);

} // namespace menu

class EditorMenus {
public:
    static constexpr int32_t kPatternMenuTag = 10000;
    static constexpr int32_t kOptionsMenuTag = 10001;
    static constexpr int32_t kPatternFileMenuTag = 111;
    static constexpr int32_t kSkinMenuTag = 114;
    static constexpr int32_t kPatternFileMenuEntries = 512;

    explicit EditorMenus(Riv303Uru& editor);
    ~EditorMenus();
    EditorMenus(const EditorMenus&) = delete;
    EditorMenus& operator=(const EditorMenus&) = delete;

    // At open, in the panel's building order: the skin menu, the pattern-file menu, the
    // pattern menu, the options menu. They are not views of the panel until popped up.
    void build();
    // At close. Answers of dialogs the menus asked are dropped from here on.
    void release();

    CMyOptionMenu* menu(int32_t tag) const;
    // Opens a menu with its top-left at `where` (frame coordinates); false when it has no
    // entries or is already open.
    bool popup(int32_t tag, gui::CFrame* frame, const gui::CPoint& where);
    // Whether the menu's pop-up is on screen (its button shows it lit).
    bool isPoppedUp(int32_t tag) const;

    // A choice: the top menu's valueChanged (sub-menus report here too, once).
    void menuChosen(gui::COptionMenu* menu);

    // Function buttons (0 and 1): run the pattern-menu command bound to the button. A press
    // never binds, not even while the other button waits for its command.
    void runFunctionButton(int which);
    // The next pattern-menu choice binds this button instead of running.
    void assignFunctionButton(int which);
    bool functionButtonWaiting(int which) const { return which >= 0 && which < 2 && waiting_[size_t(which)]; }
    // The first function button waiting to be bound, -1 none.
    int waitingFunctionButton() const { return waiting_[0] ? 0 : (waiting_[1] ? 1 : -1); }
    // Waiting buttons stop waiting and stay unbound.
    void cancelWaitingFunctionButton();
    // Bindings that name no command of the pattern menu (a hand-edited Gui.ini) become none.
    void validateFunctionButtons();

    // Titles and marks that show state (the full refresh calls this).
    void refreshLabels();
    // The pattern-file menu anew from the "Patterns" folder.
    void rebuildPatternFiles();

    MenuCommands& commands() { return *commands_; }

private:
    void buildSkins();
    void buildPatternFiles();
    void addPatternFiles(CMyOptionMenu* to, const std::vector<PatternFileNode>& nodes);
    void markCurrentSkin();

    void patternChosen(int32_t index);
    void optionsChosen(int32_t index);
    void skinChosen(int32_t index);
    void patternFileChosen(gui::COptionMenu* where, int32_t index);
    void runPatternCommand(int32_t index);

    Riv303Uru& editor_;
    std::unique_ptr<MenuCommands> commands_;
    CMyOptionMenu* pattern_ = nullptr;
    CMyOptionMenu* options_ = nullptr;
    CMyOptionMenu* patternFiles_ = nullptr;
    CMyOptionMenu* skins_ = nullptr;
    // The file behind each entry of the pattern-file menu and its folder menus, by index
    // ("" for the entries that are no file).
    std::map<const gui::COptionMenu*, std::vector<std::string>> filePaths_;
    std::array<bool, 2> waiting_{};
};

} // namespace kelo
