#pragma once
// Pop-up menus. Indices count separators (a separator occupies a position), except
// getCurrentIndex() without its argument.
//
// The pop-up is drawn inside the editor window as an overlay (the same on every platform):
// long lists scroll, sub-menus cascade, everything stays inside the frame. It does not block:
// popup() opens it and returns; the choice arrives later, like this:
//   - the menu holding the chosen item gets setValue(index) (its dependents hear it if the
//     value changed),
//   - the top menu's listener gets valueChanged(top menu), its dependents one
//     "kMessageValueChanged",
// and every pop-up, chosen or cancelled, is bracketed by beginEdit/endEdit of the top menu.
// The release of the press that opened the menu is never a choice.
#include <string>
#include <vector>

#include "toolkit/controls/CParamDisplay.h"

namespace kelo::gui {

class COptionMenu;
class MenuOverlay;

class CMenuItem : public CBaseObject {
public:
    enum Flags : int32 { kNoFlags = 0, kDisabled = 1 << 0, kTitle = 1 << 1, kChecked = 1 << 2, kSeparator = 1 << 3 };

    explicit CMenuItem(const char* title, const char* keycode = nullptr, int32 keyModifiers = 0,
                       CBitmap* icon = nullptr, int32 flags = kNoFlags);
    // Remembers the sub-menu.
    CMenuItem(const char* title, COptionMenu* submenu, CBitmap* icon = nullptr);
    CMenuItem(const char* title, int32 tag);
    ~CMenuItem() override;

    void setTitle(const char* title) { title_ = title ? title : ""; }
    const std::string& getTitle() const { return title_; }
    void setSubmenu(COptionMenu* submenu);
    COptionMenu* getSubmenu() const { return submenu_; }
    void setChecked(bool state) { setFlag(kChecked, state); }
    bool isChecked() const { return (flags_ & kChecked) != 0; }
    void setEnabled(bool state) { setFlag(kDisabled, !state); }
    bool isEnabled() const { return (flags_ & kDisabled) == 0; }
    void setIsTitle(bool state) { setFlag(kTitle, state); }
    bool isTitle() const { return (flags_ & kTitle) != 0; }
    void setIsSeparator(bool state) { setFlag(kSeparator, state); }
    bool isSeparator() const { return (flags_ & kSeparator) != 0; }
    void setTag(int32 tag) { tag_ = tag; }
    int32 getTag() const { return tag_; }
    // What a user can choose: not a separator, title, disabled item or sub-menu.
    bool isChoosable() const { return !isSeparator() && !isTitle() && isEnabled() && !submenu_; }

private:
    void setFlag(int32 f, bool on) { flags_ = on ? (flags_ | f) : (flags_ & ~f); }

    std::string title_;
    COptionMenu* submenu_ = nullptr;
    int32 flags_ = kNoFlags;
    int32 tag_ = -1;
};

class COptionMenu : public CParamDisplay {
public:
    COptionMenu();
    COptionMenu(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, int32 style = 0);
    ~COptionMenu() override;

    // ---- entries (indices count separators) ----
    // Appends, or inserts at 0 <= index <= count; takes over the caller's reference. Answers the item.
    virtual CMenuItem* addEntry(CMenuItem* item, int32 index = -1);
    // "-" makes a separator.
    virtual CMenuItem* addEntry(const char* title, int32 index = -1, int32 itemFlags = CMenuItem::kNoFlags);
    virtual CMenuItem* addEntry(COptionMenu* submenu, const char* title);
    virtual CMenuItem* addSeparator(int32 index = -1);
    virtual bool removeEntry(int32 index);
    virtual bool removeAllEntry();
    int32 getNbEntries() const { return static_cast<int32>(items_.size()); }
    CMenuItem* getEntry(int32 index) const;
    COptionMenu* getSubMenu(int32 index) const;
    const std::vector<CMenuItem*>& getItems() const { return items_; }

    // ---- current entry and results ----
    // Without countSeparator, separators at or before the current entry are not counted.
    int32 getCurrentIndex(bool countSeparator = false) const;
    // Refuses separators and out-of-range indices; changes neither value nor dependents.
    virtual bool setCurrent(int32 index, bool countSeparator = true);
    // Nothing is current any more (index -1); value and dependents are untouched.
    void clearCurrent();
    CMenuItem* getCurrent() const { return getEntry(currentIndex_); }
    // Index chosen in the last pop-up, inside the menu where it was chosen; -1 after a cancel.
    int32 getLastResult() const { return lastResult_; }
    // The menu (this one or a sub-menu) of the last choice, and its index there.
    COptionMenu* getLastItemMenu(int32& index) const;
    bool checkEntry(int32 index, bool state);
    bool checkEntryAlone(int32 index);
    bool isCheckEntry(int32 index) const;

    // Ignored entirely outside 0..count-1; with style bit 0 it toggles the entry's check.
    void setValue(float value) override;
    float getMin() const override { return 0.0f; }
    float getMax() const override { return static_cast<float>(items_.empty() ? 0 : items_.size() - 1); }
    void setMin(float) override {}
    void setMax(float) override {}

    // ---- pop-up ----
    // Opens the overlay; false when not attached or already open.
    virtual bool popup();
    // For a menu that is not in the frame: shows it at `where` (frame coordinates); it is
    // added to the frame while open and removed (not forgotten) afterwards.
    bool popup(CFrame* frame, const CPoint& where);
    bool isPoppedUp() const { return inPopup_; }
    // Whether an entry shows a check mark: style bit 0 and a checked item, or kCheckStyle and
    // the current entry.
    bool showsCheck(int32 index) const;
    void setBackgroundWhenClick(CBitmap* bitmap);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    int32 onKeyDown(VstKeyCode& key) override;
    // Removed while popped up: the pop-up is cancelled first.
    bool removed(CView* parent) override;

    static const IdStringPtr kMsgBeforePopup;

private:
    friend class MenuOverlay;
    void beforePopup();
    // From the overlay: chosen (menu and index) or cancelled (null).
    void popupClosed(COptionMenu* menu, int32 index);

    std::vector<CMenuItem*> items_;
    CBitmap* bgWhenClick_ = nullptr;
    int32 currentIndex_ = -1;
    int32 lastResult_ = -1;
    COptionMenu* lastMenu_ = nullptr;
    MenuOverlay* overlay_ = nullptr;
    bool inPopup_ = false;
    bool detached_ = false;   // added to the frame only for this pop-up
    CView* focusBefore_ = nullptr;
};

} // namespace kelo::gui
