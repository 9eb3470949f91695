#include "toolkit/CViewContainer.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace kelo::gui {

CViewContainer::CViewContainer(const CRect& size) : CView(size) {}

CViewContainer::CViewContainer(const CRect& size, CFrame* /*frame*/, CBitmap* background) : CView(size) {
    setBackground(background);
}

CViewContainer::~CViewContainer() { removeAll(true); }

bool CViewContainer::addView(CView* view) {
    if (!view || isChild(view)) return false;
    children_.push_back(view);
    if (isAttached()) {
        view->attached(this);
        view->invalid();
    }
    return true;
}

bool CViewContainer::addView(CView* view, const CRect& mouseableArea, bool mouseEnabled) {
    if (!view) return false;
    view->setMouseableArea(mouseableArea);
    view->setMouseEnabled(mouseEnabled);
    return addView(view);
}

bool CViewContainer::removeView(CView* view, bool withForget) {
    auto it = std::find(children_.begin(), children_.end(), view);
    if (it == children_.end()) return false;
    if (mouseDownView_ == view) {
        // Removed in the middle of a drag: the view ends what it started (an edit bracket).
        mouseDownView_ = nullptr;
        view->onMouseCancel();
        it = std::find(children_.begin(), children_.end(), view);
        if (it == children_.end()) return false;
    }
    view->invalid();
    children_.erase(it);
    if (view->isAttached()) view->removed(this);
    if (withForget) view->forget();
    return true;
}

bool CViewContainer::removeAll(bool withForget) {
    if (CView* v = mouseDownView_) {
        mouseDownView_ = nullptr;
        v->onMouseCancel();
    }
    while (!children_.empty()) {
        CView* view = children_.back();
        children_.pop_back();
        if (view->isAttached()) {
            view->invalid();
            view->removed(this);
        }
        if (withForget) view->forget();
    }
    return true;
}

bool CViewContainer::isChild(const CView* view) const {
    return std::find(children_.begin(), children_.end(), view) != children_.end();
}

CView* CViewContainer::getView(int32 index) const {
    return index >= 0 && index < getNbViews() ? children_[static_cast<size_t>(index)] : nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
    const CPoint local = toLocal(where);
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getViewSize().pointInside(local)) continue;
        if (deep)
            if (auto* c = dynamic_cast<CViewContainer*>(v))
                if (CView* inner = c->getViewAt(local, true)) return inner;
        return v;
    }
    return nullptr;
}

void CViewContainer::setBackgroundColor(const CColor& color) {
    if (color == backgroundColor_) return;
    backgroundColor_ = color;
    setDirty();
}

void CViewContainer::invalidateDirtyViews() {
    if (!isVisible()) return;
    if (CView::isDirty()) {
        invalid();
        return;
    }
    for (CView* v : children_) {
        if (!v->isVisible() || !v->isDirty()) continue;
        if (auto* c = dynamic_cast<CViewContainer*>(v))
            c->invalidateDirtyViews();
        else
            v->invalid();
    }
}

void CViewContainer::draw(CDrawContext* context) { drawRect(context, size_); }

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect area = updateRect;
    area.bound(size_);
    area.bound(oldClip);
    if (area.isEmpty()) return;

    context->setClipRect(area);
    drawBackgroundRect(context, area);

    const CPoint oldOffset = context->getOffset();
    context->setOffset(CPoint(oldOffset.x + size_.left, oldOffset.y + size_.top));
    CRect local = area;
    local.offset(-size_.left, -size_.top);
    for (CView* v : children_) {
        if (!v->isVisible() || !v->getViewSize().rectOverlap(local)) continue;
        CRect childClip = v->getViewSize();
        childClip.bound(local);
        context->setClipRect(childClip);
        v->drawRect(context, childClip);
    }
    context->setOffset(oldOffset);
    context->setClipRect(oldClip);
    setDirtyFlag(false);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect) {
    if (background_) {
        background_->draw(context, size_, backgroundOffset_);
    } else if (!getTransparency() || backgroundColor_.alpha != 255) {
        context->setDrawMode(kAliasing);
        context->setLineWidth(1);
        context->setFillColor(backgroundColor_);
        context->setFrameColor(backgroundColor_);
        context->drawRect(rect, kDrawFilled);
    }
}

bool CViewContainer::isDirty() const {
    if (CView::isDirty()) return true;
    const CRect bounds(0, 0, size_.getWidth(), size_.getHeight());
    for (const CView* v : children_)
        if (v->isVisible() && v->isDirty() && v->getViewSize().rectOverlap(bounds)) return true;
    return false;
}

void CViewContainer::invalidRect(const CRect& r) {
    if (!isAttached() || !isVisible()) return;
    CRect inParent = r;
    inParent.offset(size_.left, size_.top);
    inParent.bound(size_);
    if (inParent.isEmpty()) return;
    if (parent_) parent_->invalidRect(inParent);
}

void CViewContainer::invalid() {
    setDirty(false);
    invalidRect(CRect(0, 0, size_.getWidth(), size_.getHeight()));
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CPoint local = toLocal(where);
    // Copy: a handler may add or remove views.
    const std::vector<CView*> views = children_;
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->hitTest(local, buttons)) continue;

        auto* control = dynamic_cast<CControl*>(v);
        if (control && control->getListener() &&
            (buttons & (kAlt | kShift | kControl | kApple | kRButton)) != 0) {
            if (control->getListener()->controlModifierClicked(control, buttons) != 0) return kMouseEventHandled;
        }
        if (v->wantsFocus() && getFrame()) getFrame()->setFocusView(v);

        CPoint p = local;
        const CMouseEventResult result = v->onMouseDown(p, buttons);
        if (result != kMouseEventNotHandled && result != kMouseEventNotImplemented) {
            if (result == kMouseEventHandled) mouseDownView_ = v;
            return result;
        }
        // Only transparent views let a press through to the views below.
        if (!v->getTransparency()) return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const CButtonState& buttons) {
    CView* v = mouseDownView_;
    if (!v) return kMouseEventNotHandled;
    CPoint local = toLocal(where);
    v->remember();
    const CMouseEventResult result = v->onMouseUp(local, buttons);
    if (mouseDownView_ == v) mouseDownView_ = nullptr;
    v->forget();
    return result;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    CView* v = mouseDownView_;
    if (!v) return kMouseEventNotHandled;
    CPoint local = toLocal(where);
    v->remember();
    const CMouseEventResult result = v->onMouseMoved(local, buttons);
    if (result != kMouseEventHandled && result != kMouseEventNotImplemented && mouseDownView_ == v)
        mouseDownView_ = nullptr;
    v->forget();
    return result;
}

CMouseEventResult CViewContainer::onMouseCancel() {
    CView* v = mouseDownView_;
    mouseDownView_ = nullptr;
    return v ? v->onMouseCancel() : kMouseEventNotHandled;
}

bool CViewContainer::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                             const CButtonState& buttons) {
    const CPoint local = toLocal(where);
    const std::vector<CView*> views = children_;
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->getMouseableArea().pointInside(local)) continue;
        if (v->onWheel(local, axis, distance, buttons)) return true;
        if (!v->getTransparency()) return false;
    }
    return false;
}

bool CViewContainer::attached(CView* parent) {
    if (!CView::attached(parent)) return false;
    for (CView* v : children_) v->attached(this);
    return true;
}

bool CViewContainer::removed(CView* parent) {
    if (!isAttached()) return false;
    mouseDownView_ = nullptr;
    for (CView* v : children_) v->removed(this);
    return CView::removed(parent);
}

CMessageResult CViewContainer::notify(CBaseObject* /*sender*/, IdStringPtr /*message*/) { return kMessageUnknown; }

} // namespace kelo::gui
