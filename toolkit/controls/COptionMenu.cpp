#include "toolkit/controls/COptionMenu.h"

#include <algorithm>
#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/IPlatformFont.h"

namespace kelo::gui {

const IdStringPtr COptionMenu::kMsgBeforePopup = "kMsgBeforePopup";

// ---- CMenuItem ----

CMenuItem::CMenuItem(const char* title, const char*, int32, CBitmap*, int32 flags)
    : title_(title ? title : ""), flags_(flags) {}

CMenuItem::CMenuItem(const char* title, COptionMenu* submenu, CBitmap*) : title_(title ? title : "") {
    setSubmenu(submenu);
}

CMenuItem::CMenuItem(const char* title, int32 tag) : title_(title ? title : ""), tag_(tag) {}

CMenuItem::~CMenuItem() {
    if (submenu_) submenu_->forget();
}

void CMenuItem::setSubmenu(COptionMenu* submenu) {
    if (submenu) submenu->remember();
    if (submenu_) submenu_->forget();
    submenu_ = submenu;
}

// ---- the overlay ----

// The open pop-up: one panel per menu level, drawn over the frame, taking every mouse event
// while it exists (the frame's modal view).
class MenuOverlay final : public CView {
public:
    static constexpr CCoord kItemHeight = 18;
    static constexpr CCoord kSeparatorHeight = 7;
    static constexpr CCoord kArrowHeight = 12;
    static constexpr CCoord kTextLeft = 20;
    static constexpr CCoord kTextRight = 20;
    static constexpr CCoord kMinWidth = 60;

    MenuOverlay(COptionMenu* top, const CRect& frameSize, const CRect& anchor, bool atAnchor)
        : CView(frameSize), top_(top) {
        top_->remember();
        setTransparency(true);
        openPanel(top_, anchor, atAnchor, -1);
        Panel& p = panels_.front();
        // Start with the current entry in view.
        if (top_->getCurrentIndex(true) >= 0) scrollTo(p, top_->getCurrentIndex(true));
    }
    ~MenuOverlay() override {
        while (!panels_.empty()) closeDeepest(false);
        top_->forget();
    }

    void open() { setWantsIdle(true); }

    // Chosen (menu, index) or cancelled (null). The overlay leaves the frame here.
    void close(COptionMenu* menu, int32 index) {
        if (closing_) return;
        closing_ = true;
        remember();
        setWantsIdle(false);
        for (const Panel& p : panels_) invalidRect(p.rect);
        COptionMenu* top = top_;
        if (CFrame* f = getFrame()) {
            if (f->getModalView() == this) f->setModalView(nullptr);
            f->removeView(this, true);
        }
        top->popupClosed(menu, index);
        forget();
    }

    bool removed(CView* parent) override {
        // The frame is going away (or someone removed us): the pop-up ends as cancelled.
        if (!closing_) {
            closing_ = true;
            CView::removed(parent);
            top_->popupClosed(nullptr, -1);
            return true;
        }
        return CView::removed(parent);
    }

    bool hitTest(const CPoint&, const CButtonState&) override { return true; }

    void draw(CDrawContext* context) override {
        for (const Panel& p : panels_) drawPanel(context, p);
        setDirty(false);
    }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState&) override {
        Hold hold(this);
        const int p = panelAt(where);
        if (p < 0) {
            // A press outside every panel cancels and goes nowhere else.
            close(nullptr, -1);
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        pressInside_ = true;
        if (arrowAt(panels_[p], where) != 0) {
            scroll(panels_[p], arrowAt(panels_[p], where));
            return kMouseEventHandled;
        }
        hover(p, where);
        return kMouseEventHandled;
    }

    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState&) override {
        Hold hold(this);
        const int p = panelAt(where);
        autoScroll_ = 0;
        if (p >= 0) {
            autoScroll_ = arrowAt(panels_[p], where);
            autoPanel_ = p;
            if (autoScroll_ == 0) hover(p, where);
        }
        return kMouseEventHandled;
    }

    CMouseEventResult onMouseUp(CPoint& where, const CButtonState&) override {
        Hold hold(this);
        const bool pressed = pressInside_;
        pressInside_ = false;
        if (!pressed) return kMouseEventHandled;
        const int p = panelAt(where);
        if (p < 0 || arrowAt(panels_[p], where) != 0) return kMouseEventHandled;
        const int32 i = itemAt(panels_[p], where);
        if (i >= 0 && panels_[p].menu->getEntry(i)->isChoosable()) close(panels_[p].menu, i);
        return kMouseEventHandled;
    }

    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState&) override {
        if (axis != kMouseWheelAxisY) return true;
        int p = panelAt(where);
        if (p < 0) p = static_cast<int>(panels_.size()) - 1;
        // One entry per notch; up (positive) shows earlier entries.
        int32 steps = static_cast<int32>(std::lround(std::fabs(distance)));
        for (int32 i = 0; i < std::max(1, steps); ++i) scroll(panels_[size_t(p)], distance > 0 ? -1 : 1);
        return true;
    }

    int32 onKeyDown(VstKeyCode& key) override {
        Hold hold(this);
        Panel& d = panels_.back();
        switch (key.virt) {
        case VKEY_ESCAPE: close(nullptr, -1); return 1;
        case VKEY_UP:
        case VKEY_DOWN: {
            const int32 step = key.virt == VKEY_UP ? -1 : 1;
            for (int32 i = d.hot + step; i >= 0 && i < d.menu->getNbEntries(); i += step) {
                const CMenuItem* item = d.menu->getEntry(i);
                if (item->isChoosable() || (item->getSubmenu() && item->isEnabled())) {
                    setHot(static_cast<int>(panels_.size()) - 1, i, false);
                    scrollTo(panels_.back(), i);
                    break;
                }
            }
            return 1;
        }
        case VKEY_RIGHT:
            if (d.hot >= 0 && d.menu->getEntry(d.hot)->getSubmenu()) openSubmenuOf(static_cast<int>(panels_.size()) - 1);
            return 1;
        case VKEY_LEFT:
            if (panels_.size() > 1) closeDeepest(true);
            return 1;
        case VKEY_RETURN:
        case VKEY_ENTER:
            if (d.hot >= 0) {
                const CMenuItem* item = d.menu->getEntry(d.hot);
                if (item->isChoosable())
                    close(d.menu, d.hot);
                else if (item->getSubmenu())
                    openSubmenuOf(static_cast<int>(panels_.size()) - 1);
            }
            return 1;
        default: return 1; // keys belong to the open menu
        }
    }

    int32 onKeyUp(VstKeyCode&) override { return 1; }

    void onIdle() override {
        // Holding the pointer over a scroll arrow scrolls.
        if (autoScroll_ != 0 && autoPanel_ >= 0 && autoPanel_ < static_cast<int>(panels_.size()))
            scroll(panels_[autoPanel_], autoScroll_);
    }

    // For tests and keyboard users: the panels on screen (frame coordinates).
    struct Panel {
        COptionMenu* menu;
        CRect rect;
        int32 first = 0; // first visible entry
        int32 last = 0;  // one past the last visible entry
        int32 hot = -1;
        bool scrollable = false;
        std::vector<CRect> rows; // per entry; empty rectangles for entries out of view
    };
    const std::vector<Panel>& panels() const { return panels_; }

private:
    struct Hold {
        explicit Hold(CBaseObject* o) : object(o) { o->remember(); }
        ~Hold() { object->forget(); }
        CBaseObject* object;
    };

    static CCoord rowHeight(const CMenuItem* item) { return item->isSeparator() ? kSeparatorHeight : kItemHeight; }

    int depthOf(const Panel& p) const { return static_cast<int>(&p - panels_.data()); }

    CCoord textWidth(const std::string& s) const {
        if (IPlatformFont* f = kNormalFont->getPlatformFont()) return f->getStringWidth(s);
        return static_cast<CCoord>(s.size()) * 7;
    }

    void openPanel(COptionMenu* menu, CRect anchor, bool atAnchor, int parentPanel) {
        const CRect frameRect(0, 0, size_.getWidth(), size_.getHeight());
        CCoord width = kMinWidth;
        CCoord content = 2;
        for (const CMenuItem* item : menu->getItems()) {
            width = std::max(width, std::ceil(textWidth(item->getTitle())) + kTextLeft + kTextRight);
            content += rowHeight(item);
        }
        if (parentPanel < 0) width = std::max(width, anchor.getWidth());
        width = std::min(width, frameRect.getWidth());
        Panel p{menu, CRect()};
        CCoord height = content;
        if (height > frameRect.getHeight()) {
            height = frameRect.getHeight();
            p.scrollable = true;
        }
        CCoord x;
        CCoord y;
        if (parentPanel < 0) {
            x = anchor.left;
            y = atAnchor ? anchor.top : anchor.bottom;
            // No room below: open above the control if that fits, else as low as fits.
            if (y + height > frameRect.bottom) y = (anchor.top - height >= 0) ? anchor.top - height : frameRect.bottom - height;
        } else {
            const CRect& pr = panels_[size_t(parentPanel)].rect;
            x = pr.right - 2;
            if (x + width > frameRect.right) x = pr.left - width + 2;
            y = anchor.top - 1;
            if (y + height > frameRect.bottom) y = frameRect.bottom - height;
        }
        x = std::clamp(x, 0.0, std::max(0.0, frameRect.right - width));
        y = std::clamp(y, 0.0, std::max(0.0, frameRect.bottom - height));
        p.rect = CRect(std::floor(x), std::floor(y), std::floor(x) + width, std::floor(y) + height);
        menu->remember();
        panels_.push_back(p);
        layout(panels_.back());
        invalidRect(panels_.back().rect);
    }

    void layout(Panel& p) {
        const int32 n = p.menu->getNbEntries();
        p.rows.assign(size_t(n), CRect());
        CCoord top = p.rect.top + 1 + (p.scrollable ? kArrowHeight : 0);
        const CCoord bottom = p.rect.bottom - 1 - (p.scrollable ? kArrowHeight : 0);
        p.first = std::clamp(p.first, 0, std::max(0, n - 1));
        int32 i = p.first;
        for (; i < n; ++i) {
            const CCoord h = rowHeight(p.menu->getEntry(i));
            if (top + h > bottom) break;
            p.rows[size_t(i)] = CRect(p.rect.left + 1, top, p.rect.right - 1, top + h);
            top += h;
        }
        p.last = i;
    }

    void scroll(Panel& p, int32 step) {
        if (!p.scrollable) return;
        const int32 n = p.menu->getNbEntries();
        if ((step < 0 && p.first == 0) || (step > 0 && p.last >= n)) return;
        p.first += step;
        layout(p);
        closeDeeperThan(depthOf(p));
        invalidRect(p.rect);
    }

    void scrollTo(Panel& p, int32 index) {
        if (!p.scrollable || (index >= p.first && index < p.last)) return;
        while (index < p.first && p.first > 0) {
            --p.first;
            layout(p);
        }
        while (index >= p.last && p.last < p.menu->getNbEntries()) {
            ++p.first;
            layout(p);
        }
        invalidRect(p.rect);
    }

    // +1 / -1 over the lower / upper scroll arrow, else 0.
    int32 arrowAt(const Panel& p, const CPoint& where) const {
        if (!p.scrollable || !p.rect.pointInside(where)) return 0;
        if (where.y < p.rect.top + 1 + kArrowHeight) return -1;
        if (where.y >= p.rect.bottom - 1 - kArrowHeight) return 1;
        return 0;
    }

    int panelAt(const CPoint& where) const {
        for (int i = static_cast<int>(panels_.size()) - 1; i >= 0; --i)
            if (panels_[size_t(i)].rect.pointInside(where)) return i;
        return -1;
    }

    int32 itemAt(const Panel& p, const CPoint& where) const {
        for (int32 i = p.first; i < p.last; ++i)
            if (p.rows[size_t(i)].pointInside(where)) return i;
        return -1;
    }

    void hover(int p, const CPoint& where) { setHot(p, itemAt(panels_[size_t(p)], where), true); }

    void setHot(int p, int32 index, bool openSubmenus) {
        if (panels_[size_t(p)].hot != index) {
            panels_[size_t(p)].hot = index;
            invalidRect(panels_[size_t(p)].rect);
            closeDeeperThan(p);
        }
        if (!openSubmenus || index < 0 || static_cast<int>(panels_.size()) != p + 1) return;
        const CMenuItem* item = panels_[size_t(p)].menu->getEntry(index);
        if (item->getSubmenu() && item->isEnabled()) openSubmenuOf(p);
    }

    void openSubmenuOf(int p) {
        Panel& panel = panels_[size_t(p)];
        if (panel.hot < 0) return;
        COptionMenu* sub = panel.menu->getEntry(panel.hot)->getSubmenu();
        if (!sub || sub->getNbEntries() == 0) return;
        closeDeeperThan(p);
        const CRect row = panels_[size_t(p)].rows[size_t(panels_[size_t(p)].hot)];
        openPanel(sub, row, false, p);
    }

    void closeDeeperThan(int p) {
        while (static_cast<int>(panels_.size()) > p + 1) closeDeepest(true);
    }

    void closeDeepest(bool repaint) {
        Panel p = panels_.back();
        panels_.pop_back();
        if (repaint) invalidRect(p.rect);
        p.menu->forget();
    }

    void drawPanel(CDrawContext* context, const Panel& p) const {
        const CColor face(245, 245, 245);
        const CColor border(110, 110, 110);
        const CColor highlight(56, 117, 215);
        context->setDrawMode(kAliasing);
        context->setLineWidth(1);
        context->setFillColor(face);
        context->setFrameColor(border);
        context->drawRect(p.rect, kDrawFilledAndStroked);
        CRect oldClip;
        context->getClipRect(oldClip);
        CRect clip = p.rect;
        clip.bound(oldClip);
        context->setClipRect(clip);
        context->setFont(kNormalFont);
        for (int32 i = p.first; i < p.last; ++i) {
            const CMenuItem* item = p.menu->getEntry(i);
            const CRect& r = p.rows[size_t(i)];
            const CCoord mid = std::floor(r.top + r.getHeight() / 2);
            if (item->isSeparator()) {
                context->setDrawMode(kAliasing);
                context->setFrameColor(CColor(190, 190, 190));
                context->drawLine(CPoint(r.left + 4, mid), CPoint(r.right - 4, mid));
                continue;
            }
            const bool hot = i == p.hot && !item->isTitle() && item->isEnabled();
            if (hot) {
                context->setFillColor(highlight);
                context->drawRect(r, kDrawFilled);
            }
            CColor text = hot ? kWhiteCColor : kBlackCColor;
            if (!item->isEnabled()) text = CColor(160, 160, 160);
            if (item->isTitle()) text = CColor(90, 90, 90);
            if (p.menu->showsCheck(i)) {
                context->setDrawMode(kAntiAliasing);
                context->setLineWidth(2);
                context->setFrameColor(text);
                context->drawLines({CPoint(r.left + 5, mid), CPoint(r.left + 8, mid + 3), CPoint(r.left + 14, mid - 4)});
                context->setLineWidth(1);
            }
            if (item->getSubmenu()) {
                context->setDrawMode(kAntiAliasing);
                context->setFillColor(text);
                context->drawPolygon({CPoint(r.right - 12, mid - 4), CPoint(r.right - 7, mid), CPoint(r.right - 12, mid + 4)},
                                     kDrawFilled);
            }
            context->setFontColor(text);
            context->drawString(item->getTitle(), CRect(r.left + kTextLeft, r.top, r.right - kTextRight, r.bottom),
                                kLeftText);
        }
        if (p.scrollable) {
            context->setDrawMode(kAntiAliasing);
            const CCoord cx = std::floor(p.rect.left + p.rect.getWidth() / 2);
            const CCoord up = p.rect.top + 1 + kArrowHeight / 2;
            const CCoord down = p.rect.bottom - 1 - kArrowHeight / 2;
            context->setFillColor(p.first > 0 ? kBlackCColor : CColor(200, 200, 200));
            context->drawPolygon({CPoint(cx - 5, up + 3), CPoint(cx + 5, up + 3), CPoint(cx, up - 3)}, kDrawFilled);
            context->setFillColor(p.last < p.menu->getNbEntries() ? kBlackCColor : CColor(200, 200, 200));
            context->drawPolygon({CPoint(cx - 5, down - 3), CPoint(cx + 5, down - 3), CPoint(cx, down + 3)}, kDrawFilled);
        }
        context->setClipRect(oldClip);
    }

    COptionMenu* top_;
    std::vector<Panel> panels_;
    int32 autoScroll_ = 0;
    int autoPanel_ = -1;
    bool pressInside_ = false;
    bool closing_ = false;
};

// ---- COptionMenu ----

COptionMenu::COptionMenu() : COptionMenu(CRect(), nullptr, -1) {}

COptionMenu::COptionMenu(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                         CBitmap* bgWhenClick, int32 style)
    : CParamDisplay(size, background, style) {
    listener_ = listener;
    tag_ = tag;
    if (bgWhenClick) {
        bgWhenClick->remember();
        bgWhenClick_ = bgWhenClick;
    }
    setWantsFocus(true);
}

COptionMenu::~COptionMenu() {
    removeAllEntry();
    if (bgWhenClick_) bgWhenClick_->forget();
}

CMenuItem* COptionMenu::addEntry(CMenuItem* item, int32 index) {
    if (!item) return nullptr;
    if (index < 0 || index > getNbEntries())
        items_.push_back(item);
    else
        items_.insert(items_.begin() + index, item);
    return item;
}

CMenuItem* COptionMenu::addEntry(const char* title, int32 index, int32 itemFlags) {
    if (title && std::string(title) == "-") return addSeparator(index);
    return addEntry(new CMenuItem(title, nullptr, 0, nullptr, itemFlags), index);
}

CMenuItem* COptionMenu::addEntry(COptionMenu* submenu, const char* title) {
    return addEntry(new CMenuItem(title, submenu));
}

CMenuItem* COptionMenu::addSeparator(int32 index) {
    return addEntry(new CMenuItem("", nullptr, 0, nullptr, CMenuItem::kSeparator), index);
}

bool COptionMenu::removeEntry(int32 index) {
    if (index < 0 || index >= getNbEntries()) return false;
    CMenuItem* item = items_[size_t(index)];
    items_.erase(items_.begin() + index);
    item->forget();
    return true;
}

bool COptionMenu::removeAllEntry() {
    auto items = std::move(items_);
    items_.clear();
    for (CMenuItem* item : items) item->forget();
    return true;
}

CMenuItem* COptionMenu::getEntry(int32 index) const {
    return index >= 0 && index < getNbEntries() ? items_[size_t(index)] : nullptr;
}

COptionMenu* COptionMenu::getSubMenu(int32 index) const {
    CMenuItem* item = getEntry(index);
    return item ? item->getSubmenu() : nullptr;
}

int32 COptionMenu::getCurrentIndex(bool countSeparator) const {
    if (countSeparator || currentIndex_ < 0) return currentIndex_;
    int32 separators = 0;
    for (int32 i = 0; i <= currentIndex_ && i < getNbEntries(); ++i)
        if (items_[size_t(i)]->isSeparator()) ++separators;
    return currentIndex_ - separators;
}

bool COptionMenu::setCurrent(int32 index, bool countSeparator) {
    int32 at = index;
    if (!countSeparator) {
        // index-th entry that is not a separator
        at = -1;
        for (int32 i = 0, n = 0; i < getNbEntries(); ++i) {
            if (items_[size_t(i)]->isSeparator()) continue;
            if (n++ == index) {
                at = i;
                break;
            }
        }
    }
    CMenuItem* item = getEntry(at);
    if (!item || item->isSeparator()) return false;
    currentIndex_ = at;
    if (style_ & (kMultipleCheckStyle & ~kCheckStyle)) item->setChecked(!item->isChecked());
    setDirty();
    return true;
}

void COptionMenu::clearCurrent() {
    if (currentIndex_ < 0) return;
    currentIndex_ = -1;
    setDirty();
}

COptionMenu* COptionMenu::getLastItemMenu(int32& index) const {
    index = lastMenu_ ? static_cast<int32>(lastMenu_->getValue()) : -1;
    return lastMenu_;
}

bool COptionMenu::checkEntry(int32 index, bool state) {
    CMenuItem* item = getEntry(index);
    if (!item || item->isSeparator()) return false;
    item->setChecked(state);
    return true;
}

bool COptionMenu::checkEntryAlone(int32 index) {
    if (!getEntry(index)) return false;
    for (int32 i = 0; i < getNbEntries(); ++i) items_[size_t(i)]->setChecked(i == index);
    return true;
}

bool COptionMenu::isCheckEntry(int32 index) const {
    CMenuItem* item = getEntry(index);
    return item && item->isChecked();
}

bool COptionMenu::showsCheck(int32 index) const {
    const CMenuItem* item = getEntry(index);
    if (!item) return false;
    return ((style_ & (kMultipleCheckStyle & ~kCheckStyle)) && item->isChecked()) ||
           ((style_ & kCheckStyle) && index == currentIndex_);
}

void COptionMenu::setValue(float value) {
    const int32 index = static_cast<int32>(value);
    if (index < 0 || index >= getNbEntries()) return;
    currentIndex_ = index;
    if (style_ & (kMultipleCheckStyle & ~kCheckStyle)) {
        CMenuItem* item = items_[size_t(index)];
        item->setChecked(!item->isChecked());
    }
    CControl::setValue(value);
    setDirty();
}

void COptionMenu::setBackgroundWhenClick(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (bgWhenClick_) bgWhenClick_->forget();
    bgWhenClick_ = bitmap;
    setDirty();
}

void COptionMenu::beforePopup() {
    changed(kMsgBeforePopup);
    for (CMenuItem* item : items_)
        if (COptionMenu* sub = item->getSubmenu()) sub->beforePopup();
}

bool COptionMenu::popup() {
    CFrame* frame = getFrame();
    if (!frame || !isAttached() || inPopup_ || items_.empty()) return false;
    beforePopup();
    inPopup_ = true;
    if (bgWhenClick_) invalid();
    beginEdit();
    lastResult_ = -1;
    lastMenu_ = nullptr;
    CPoint topLeft(size_.left, size_.top);
    localToFrame(topLeft);
    const CRect anchor(topLeft, size_.getSize());
    overlay_ = new MenuOverlay(this, frame->getViewSize(), anchor, (style_ & kPopupStyle) != 0);
    frame->addView(overlay_);
    frame->setModalView(overlay_);
    overlay_->open();
    return true;
}

bool COptionMenu::popup(CFrame* frame, const CPoint& where) {
    if (!frame || isAttached() || inPopup_) return false;
    focusBefore_ = frame->getFocusView();
    setViewSize(CRect(where.x, where.y, where.x, where.y), false);
    setMouseableArea(getViewSize());
    remember(); // the frame takes this reference; removeView without forget returns it
    frame->addView(this);
    detached_ = true;
    if (!popup()) {
        detached_ = false;
        frame->removeView(this, true);
        return false;
    }
    return true;
}

namespace {

bool inTree(const CViewContainer* c, const CView* v) {
    for (const CView* child : c->children()) {
        if (child == v) return true;
        if (auto* inner = dynamic_cast<const CViewContainer*>(child); inner && inTree(inner, v)) return true;
    }
    return false;
}

} // namespace

void COptionMenu::popupClosed(COptionMenu* menu, int32 index) {
    remember(); // listeners may drop their references
    overlay_ = nullptr;
    if (menu) {
        deferChanges(true);
        lastMenu_ = menu;
        lastResult_ = index;
        menu->setValue(static_cast<float>(index));
        valueChanged();
        invalid();
        deferChanges(false);
    }
    endEdit();
    inPopup_ = false;
    if (bgWhenClick_) invalid();
    if (detached_) {
        detached_ = false;
        if (CFrame* f = getFrame()) {
            CView* focus = focusBefore_;
            focusBefore_ = nullptr;
            f->removeView(this, false);
            forget(); // the reference the frame held
            if (focus && inTree(f, focus)) f->setFocusView(focus);
        }
    }
    forget();
}

bool COptionMenu::removed(CView* parent) {
    if (overlay_) overlay_->close(nullptr, -1);
    return CParamDisplay::removed(parent);
}

void COptionMenu::draw(CDrawContext* context) {
    drawBack(context, inPopup_ && bgWhenClick_ ? bgWhenClick_ : nullptr);
    if (const CMenuItem* item = getCurrent()) drawText(context, item->getTitle());
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!(buttons & (kLButton | kRButton | kApple))) return kMouseEventNotHandled;
    popup();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int32 COptionMenu::onKeyDown(VstKeyCode& key) {
    if (overlay_) return overlay_->onKeyDown(key);
    if (key.virt == VKEY_RETURN && key.modifier == 0) {
        popup();
        return 1;
    }
    if ((key.virt == VKEY_UP || key.virt == VKEY_DOWN) && !(style_ & (kMultipleCheckStyle & ~kCheckStyle))) {
        const int32 step = key.virt == VKEY_UP ? -1 : 1;
        for (int32 i = currentIndex_ + step; i >= 0 && i < getNbEntries(); i += step) {
            if (!items_[size_t(i)]->isChoosable()) continue;
            beginEdit();
            setValue(static_cast<float>(i));
            lastResult_ = i;
            valueChanged();
            endEdit();
            invalid();
            break;
        }
        return 1;
    }
    return -1;
}

} // namespace kelo::gui
