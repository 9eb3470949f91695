#pragma once
// The editor's pop-up menus (options, pattern, pattern files, skins): an option menu that
// draws nothing in the panel (the editor pops it up), keeps a name, holds a bounded number of
// entries and sorts runs of them by title for the file lists.
//
// Choices: the toolkit reports a choice in a sub-menu both to the sub-menu's dependents and as
// the top menu's valueChanged. takeChoice() hands out each pop-up's choice once, as (menu,
// index), and leaves the chosen sub-menu ready to report the same entry again next time.
#include <string>
#include <string_view>

#include "toolkit/controls/COptionMenu.h"

namespace kelo {

class CMyOptionMenu : public gui::COptionMenu {
public:
    static constexpr int32_t kMaxEntries = 1024;
    static constexpr size_t kMaxNameLength = 255;

    // Starts with nothing selected (value -1). Not focusable: it is never a target of the
    // keyboard while closed.
    CMyOptionMenu(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, int32_t style = 0);

    // Only for 0 <= index < entry count, as the toolkit menu's; marks the menu for redrawing
    // when the value changed.
    void setValue(float value) override;
    void draw(gui::CDrawContext* context) override;
    // Every way of adding (titles, sub-menus, separators) comes through here. Beyond the entry
    // limit nothing is added: the item is released and the answer is null.
    using gui::COptionMenu::addEntry;
    gui::CMenuItem* addEntry(gui::CMenuItem* item, int32_t index = -1) override;
    void valueChanged() override;

    // Nothing selected: value -1 and no current entry.
    virtual void reset();
    virtual void setName(std::string_view name);
    // Copies the name (with its terminating zero) into `buffer` of 256 bytes when given.
    virtual const char* getName(char* buffer = nullptr) const;
    // Sorts the entries from `first` to the end by title, byte-wise ascending (capitals before
    // lower case), stable. Separators keep their places, and entries are sorted within the runs
    // between them, so the indices the menu shows are the indices its owner reads. False when
    // `first` is beyond the entries.
    virtual bool sortEntries(int32_t first);
    virtual bool setEntryTitle(int32_t index, const char* title);

    // The entry limit, held to 0..kMaxEntries (the pattern-file menus use 512).
    void setMaxEntries(int32_t count);
    int32_t getMaxEntries() const { return maxEntries_; }

    // The last pop-up's choice, once: the menu it was made in (this one or a sub-menu) and the
    // index there; null when there is none (cancelled, or already taken). A chosen sub-menu of
    // this class is left with nothing selected, so choosing the same entry again tells its
    // dependents again.
    gui::COptionMenu* takeChoice(int32_t& index);

private:
    std::string name_;
    int32_t maxEntries_ = kMaxEntries;
    gui::COptionMenu* choiceMenu_ = nullptr;
    int32_t choiceIndex_ = -1;
};

} // namespace kelo
