#include "editor/Menus.h"

#include "editor/Riv303Uru.h"
#include "editor/controls/CMyOptionMenu.h"
#include "editor/SkinTags.h"
#include "toolkit/CFrame.h"

namespace kelo {

using namespace gui;

namespace {

// Pattern menu entries.
enum PatternEntry : int32_t { kCopyPattern = 0, kPastePattern };
// Options menu entries.
enum OptionsEntry : int32_t { kAbout = 0 };

} // namespace

EditorMenus::EditorMenus(Riv303Uru& editor) : editor_(editor) {}

EditorMenus::~EditorMenus() { release(); }

void EditorMenus::build() {
    release();
    skins_ = new CMyOptionMenu(CRect(), &editor_, kSkinMenuTag);
    patternFiles_ = new CMyOptionMenu(CRect(), &editor_, kPatternFileMenuTag);
    patternFiles_->setMaxEntries(kPatternFileMenuEntries);
    pattern_ = new CMyOptionMenu(CRect(), &editor_, kPatternMenuTag);
    pattern_->addEntry("Copy Pattern");
    pattern_->addEntry("Paste Pattern");
    options_ = new CMyOptionMenu(CRect(), &editor_, kOptionsMenuTag);
    options_->addEntry("About KELO");
}

void EditorMenus::release() {
    for (CMyOptionMenu** m : {&pattern_, &options_, &patternFiles_, &skins_}) {
        if (*m) (*m)->forget();
        *m = nullptr;
    }
    waiting_ = -1;
}

CMyOptionMenu* EditorMenus::menu(int32_t tag) const {
    switch (tag) {
    case kPatternMenuTag: return pattern_;
    case kOptionsMenuTag: return options_;
    case kPatternFileMenuTag: return patternFiles_;
    case kSkinMenuTag: return skins_;
    default: return nullptr;
    }
}

bool EditorMenus::popup(int32_t tag, CFrame* frame, const CPoint& where) {
    CMyOptionMenu* m = menu(tag);
    return m && frame && m->popup(frame, where);
}

bool EditorMenus::isPoppedUp(int32_t tag) const {
    const CMyOptionMenu* m = menu(tag);
    return m && m->isPoppedUp();
}

void EditorMenus::menuChosen(COptionMenu* chosen) {
    auto* top = dynamic_cast<CMyOptionMenu*>(chosen);
    if (!top) return;
    int32_t index = -1;
    COptionMenu* where = top->takeChoice(index);
    if (!where || index < 0) return;
    if (top == pattern_ && where == pattern_) runPatternCommand(index);
    if (top == options_ && where == options_) runOptionsCommand(index);
}

void EditorMenus::runPatternCommand(int index) {
    switch (index) {
    case kCopyPattern: editor_.clipboard() = editor_.link().state().pattern; break;
    case kPastePattern: editor_.link().replaceCurrentPattern(editor_.clipboard()); break;
    default: break;
    }
}

void EditorMenus::runOptionsCommand(int index) {
    if (index == kAbout) editor_.showAbout();
}

void EditorMenus::runFunctionButton(int which) {
    if (which < 0 || which > 1) return;
    const int bound = which == 0 ? editor_.settings().functionButton1 : editor_.settings().functionButton2;
    if (bound >= 0 && pattern_ && bound < pattern_->getNbEntries()) runPatternCommand(bound);
}

void EditorMenus::cancelWaitingFunctionButton() {
    if (waiting_ == 0) editor_.settings().functionButton1 = -1;
    if (waiting_ == 1) editor_.settings().functionButton2 = -1;
    waiting_ = -1;
}

void EditorMenus::refreshLabels() {}

} // namespace kelo
