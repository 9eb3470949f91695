#include "editor/controls/CMyOptionMenu.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kelo {

using namespace gui;

namespace {
// The toolkit menu's own style bit for entries with their own check marks.
constexpr int32_t kToggleCheckStyle = kMultipleCheckStyle & ~kCheckStyle;
} // namespace

CMyOptionMenu::CMyOptionMenu(const CRect& size, IControlListener* listener, int32_t tag, int32_t style)
    : COptionMenu(size, listener, tag, nullptr, nullptr, style) {
    setWantsFocus(false);
    // Nothing selected yet, so even the first entry's first choice is a change of value.
    value_ = -1.0f;
}

void CMyOptionMenu::setValue(float value) {
    const float before = value_;
    COptionMenu::setValue(value);
    if (value_ != before) setDirty();
}

void CMyOptionMenu::draw(CDrawContext*) { setDirty(false); }

CMenuItem* CMyOptionMenu::addEntry(CMenuItem* item, int32_t index) {
    if (!item) return nullptr;
    if (getNbEntries() >= maxEntries_) {
        item->forget();
        return nullptr;
    }
    return COptionMenu::addEntry(item, index);
}

void CMyOptionMenu::valueChanged() {
    choiceMenu_ = getLastItemMenu(choiceIndex_);
    COptionMenu::valueChanged();
}

COptionMenu* CMyOptionMenu::takeChoice(int32_t& index) {
    COptionMenu* menu = choiceMenu_;
    index = menu ? choiceIndex_ : -1;
    choiceMenu_ = nullptr;
    choiceIndex_ = -1;
    // A sub-menu only tells its dependents about a change of value: with nothing selected,
    // choosing the same entry again is a change again.
    if (auto* sub = dynamic_cast<CMyOptionMenu*>(menu); sub && sub != this) sub->value_ = -1.0f;
    return menu;
}

void CMyOptionMenu::reset() {
    value_ = -1.0f;
    clearCurrent();
    setDirty();
}

void CMyOptionMenu::setName(std::string_view name) { name_ = std::string(name.substr(0, kMaxNameLength)); }

const char* CMyOptionMenu::getName(char* buffer) const {
    if (buffer) std::memcpy(buffer, name_.c_str(), name_.size() + 1);
    return name_.c_str();
}

bool CMyOptionMenu::setEntryTitle(int32_t index, const char* title) {
    CMenuItem* item = getEntry(index);
    if (!item) return false;
    item->setTitle(title);
    return true;
}

void CMyOptionMenu::setMaxEntries(int32_t count) { maxEntries_ = std::clamp(count, 0, kMaxEntries); }

bool CMyOptionMenu::sortEntries(int32_t first) {
    const int32_t n = getNbEntries();
    if (first < 0) first = 0;
    if (first >= n) return false;
    std::vector<CMenuItem*> items = getItems();
    CMenuItem* current = getCurrent();
    auto byTitle = [](const CMenuItem* a, const CMenuItem* b) { return a->getTitle() < b->getTitle(); };
    for (auto run = items.begin() + first; run != items.end();) {
        auto end = std::find_if(run, items.end(), [](const CMenuItem* i) { return i->isSeparator(); });
        std::stable_sort(run, end, byTitle);
        run = end == items.end() ? end : end + 1;
    }
    // Rebuild the toolkit's list with every entry, separators included, in the new order.
    for (CMenuItem* item : items) item->remember();
    removeAllEntry();
    for (CMenuItem* item : items) COptionMenu::addEntry(item);
    if (current) {
        const auto at = static_cast<int32_t>(std::find(items.begin(), items.end(), current) - items.begin());
        // setCurrent toggles the entry's own check with that style; toggle first to keep it.
        if (getStyle() & kToggleCheckStyle) current->setChecked(!current->isChecked());
        setCurrent(at);
    }
    setDirty();
    return true;
}

} // namespace kelo
