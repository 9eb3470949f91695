#pragma once
// The editor's pop-up menus (pattern, options, pattern files, skins): what they hold and what
// their entries do. The panel only opens them and hands their choices over; everything about a
// menu's entries and commands lives here.
#include <cstdint>

#include "toolkit/Types.h"

namespace kelo {

namespace gui {
class COptionMenu;
class CFrame;
} // namespace gui

class CMyOptionMenu;
class Riv303Uru;

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
    // At close.
    void release();

    CMyOptionMenu* menu(int32_t tag) const;
    // Opens a menu with its top-left at `where` (frame coordinates); false when it has no
    // entries or is already open.
    bool popup(int32_t tag, gui::CFrame* frame, const gui::CPoint& where);
    // Whether the menu's pop-up is on screen (its button shows it lit).
    bool isPoppedUp(int32_t tag) const;

    // A choice: the top menu's valueChanged (sub-menus report here too, once).
    void menuChosen(gui::COptionMenu* menu);

    // Function buttons (0 and 1): run the pattern-menu command bound to the button.
    void runFunctionButton(int which);
    // The function button waiting to be bound to the next pattern-menu choice, -1 none.
    int waitingFunctionButton() const { return waiting_; }
    void cancelWaitingFunctionButton();

    // Titles that show state (the full refresh calls this).
    void refreshLabels();

private:
    void runPatternCommand(int index);
    void runOptionsCommand(int index);

    Riv303Uru& editor_;
    CMyOptionMenu* pattern_ = nullptr;
    CMyOptionMenu* options_ = nullptr;
    CMyOptionMenu* patternFiles_ = nullptr;
    CMyOptionMenu* skins_ = nullptr;
    int waiting_ = -1;
};

} // namespace kelo
