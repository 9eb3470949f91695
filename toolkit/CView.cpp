#include "toolkit/CView.h"

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace kelo::gui {

const IdStringPtr kMsgViewSizeChanged = "kMsgViewSizeChanged";
const IdStringPtr kMsgLooseFocus = "LooseFocus";

bool CView::kDirtyCallAlwaysOnMainThread = false;

CView::CView(const CRect& size) : size_(size), mouseableArea_(size) {}

CView::~CView() {
    if (background_) background_->forget();
    if (disabledBackground_) disabledBackground_->forget();
}

void CView::draw(CDrawContext* context) {
    if (background_) background_->draw(context, size_);
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) { draw(context); }

void CView::setDirty(bool state) {
    if (kDirtyCallAlwaysOnMainThread && state) {
        invalid();
        return;
    }
    dirty_ = state;
}

void CView::invalid() {
    setDirty(false);
    invalidRect(size_);
}

void CView::invalidRect(const CRect& r) {
    if (attached_ && visible_ && parent_) parent_->invalidRect(r);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseCancel() { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseEntered(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseExited(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }

bool CView::onWheel(const CPoint&, const float&, const CButtonState&) { return false; }

bool CView::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                    const CButtonState& buttons) {
    const float d = axis == kMouseWheelAxisX ? -distance : distance;
    return onWheel(where, d, buttons);
}

int32 CView::onKeyDown(VstKeyCode&) { return -1; }
int32 CView::onKeyUp(VstKeyCode&) { return -1; }

bool CView::hitTest(const CPoint& where, const CButtonState&) { return mouseableArea_.pointInside(where); }

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (rect == size_) return;
    // The old place must be repainted too, or a moved view leaves its image behind.
    if (invalidate && attached_ && visible_ && parent_) parent_->invalidRect(size_);
    size_ = rect;
    if (invalidate) setDirty();
    if (parent_) parent_->notify(this, kMsgViewSizeChanged);
}

CPoint& CView::localToFrame(CPoint& p) const {
    for (const CView* v = parent_; v; v = v->parent_) p.offset(v->size_.left, v->size_.top);
    return p;
}

CPoint& CView::frameToLocal(CPoint& p) const {
    for (const CView* v = parent_; v; v = v->parent_) p.offset(-v->size_.left, -v->size_.top);
    return p;
}

void CView::setVisible(bool state) {
    if (state == visible_) return;
    if (state) {
        visible_ = true;
        invalid();
    } else {
        invalid();
        visible_ = false;
    }
}

void CView::setMouseEnabled(bool state) {
    if (state == mouseEnabled_) return;
    mouseEnabled_ = state;
    if (disabledBackground_) setDirty();
}

void CView::setTransparency(bool state) {
    if (state == transparent_) return;
    transparent_ = state;
    setDirty();
}

void CView::setAlphaValue(float alpha) {
    if (alpha == alpha_) return;
    alpha_ = alpha;
    setDirty();
}

void CView::setBackground(CBitmap* background) {
    if (background == background_) return;
    if (background) background->remember();
    if (background_) background_->forget();
    background_ = background;
    setDirty();
}

void CView::setDisabledBackground(CBitmap* background) {
    if (background == disabledBackground_) return;
    if (background) background->remember();
    if (disabledBackground_) disabledBackground_->forget();
    disabledBackground_ = background;
    if (!mouseEnabled_) setDirty();
}

void CView::setWantsIdle(bool state) {
    if (state == wantsIdle_) return;
    wantsIdle_ = state;
    if (!attached_ || !frame_) return;
    if (state)
        frame_->registerIdleView(this);
    else
        frame_->unregisterIdleView(this);
}

bool CView::attached(CView* parent) {
    if (attached_) return false;
    parent_ = parent;
    if (parent) frame_ = parent->getFrame(); // the frame itself is attached without a parent
    attached_ = true;
    if (wantsIdle_ && frame_) frame_->registerIdleView(this);
    return true;
}

bool CView::removed(CView* /*parent*/) {
    if (!attached_) return false;
    if (frame_) frame_->viewWillBeRemoved(this);
    parent_ = nullptr;
    frame_ = nullptr;
    attached_ = false;
    return true;
}

} // namespace kelo::gui
