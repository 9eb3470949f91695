#include "toolkit/CFrame.h"

#include <algorithm>

#include "platform/Services.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/controls/CTextEdit.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/OffscreenFrame.h"
#include "toolkit/platform/PolledTimer.h"

namespace kelo::gui {

int32 CFrame::kDefaultKnobMode = kCircularMode;

CFrame::CFrame(const CRect& size, VSTGUIEditorInterface* editor)
    : CViewContainer(CRect(0, 0, size.getWidth(), size.getHeight())), editor_(editor) {
    frame_ = this;
}

CFrame::~CFrame() {
    // Children still call back into the frame while they are removed.
    removeAll(true);
    idleTimer_.reset();
    platformFrame_.reset();
}

bool CFrame::open(void* parentWindow) {
    if (!parentWindow || platformFrame_) return false;
    return attachPlatformFrame(getPlatformFactory().createFrame(*this, size_, parentWindow));
}

bool CFrame::openOffscreen() {
    if (platformFrame_) return false;
    return attachPlatformFrame(OffscreenFrame::create(*this, size_));
}

bool CFrame::open(std::unique_ptr<IPlatformFrame> platformFrame) { return attachPlatformFrame(std::move(platformFrame)); }

bool CFrame::attachPlatformFrame(std::unique_ptr<IPlatformFrame> platformFrame) {
    if (!platformFrame || platformFrame_) return false;
    platformFrame_ = std::move(platformFrame);
    frame_ = this;
    CViewContainer::attached(nullptr);
    invalid();
    return true;
}

void CFrame::close() {
    if (focusView_ && textInput_) setTextInputFocus(false);
    focusView_ = nullptr;
    modalView_ = nullptr;
    mouseOverView_ = nullptr;
    removeAll(true);
    idleTimer_.reset();
    idleViews_.clear();
    if (isAttached()) CViewContainer::removed(nullptr);
    frame_ = this;
    // Dialogs asked for from this window end with it; their answers would find nobody.
    if (platformFrame_) platform::services().cancelDialogs(platformFrame_->getNativeHandle());
    platformFrame_.reset();
    forget();
}

void CFrame::idle() {
    if (inIdle_ || !platformFrame_) return;
    inIdle_ = true;
    // A handler may close the frame while we are in here.
    remember();
    platformFrame_->pollEvents();
    if (platformFrame_) firePolledTimers();
    if (platformFrame_) platform::services().poll();
    if (platformFrame_ && !kDirtyCallAlwaysOnMainThread) invalidateDirtyViews();
    if (platformFrame_) platformFrame_->presentInvalid();
    inIdle_ = false;
    forget();
}

int32 CFrame::getKnobMode() const {
    const int32 mode = editor_ ? editor_->getKnobMode() : -1;
    return mode == -1 ? kDefaultKnobMode : mode;
}

void CFrame::beginEdit(int32 tag) {
    if (editor_) editor_->beginEdit(tag);
}

void CFrame::endEdit(int32 tag) {
    if (editor_) editor_->endEdit(tag);
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView_) return;
    CView* old = focusView_;
    focusView_ = view;
    if (old) old->looseFocus();
    if (view && view == focusView_) view->takeFocus();
}

void CFrame::setModalView(CView* view) {
    modalView_ = view;
    if (view) {
        mouseDownView_ = nullptr;
        if (mouseOverView_) {
            CPoint p;
            mouseOverView_->onMouseExited(p, CButtonState());
            mouseOverView_ = nullptr;
        }
    }
}

void CFrame::setTextInputFocus(bool on) {
    textInput_ = on;
    if (platformFrame_) platformFrame_->setTextInputFocus(on);
}

int32 CFrame::onKeyDown(VstKeyCode& key) {
    // An open overlay (menu) owns the keyboard.
    if (modalView_) return modalView_->onKeyDown(key);
    int32 result = -1;
    if (focusView_ && focusView_->getMouseEnabled()) result = focusView_->onKeyDown(key);
    if (result == -1 && focusView_)
        for (CView* p = focusView_->getParentView(); p && p != this && result == -1; p = p->getParentView())
            result = p->onKeyDown(key);
    if (result == -1 && key.virt == VKEY_TAB) {
        advanceFocus((key.modifier & MODIFIER_SHIFT) != 0);
        result = 1;
    }
    return result;
}

int32 CFrame::onKeyUp(VstKeyCode& key) {
    if (modalView_) return modalView_->onKeyUp(key);
    int32 result = -1;
    if (focusView_ && focusView_->getMouseEnabled()) result = focusView_->onKeyUp(key);
    if (result == -1 && focusView_)
        for (CView* p = focusView_->getParentView(); p && p != this && result == -1; p = p->getParentView())
            result = p->onKeyUp(key);
    return result;
}

namespace {

void collectFocusable(CViewContainer* c, std::vector<CView*>& out) {
    for (CView* v : c->children()) {
        if (!v->isVisible() || !v->getMouseEnabled()) continue;
        if (v->wantsFocus()) out.push_back(v);
        if (auto* inner = dynamic_cast<CViewContainer*>(v)) collectFocusable(inner, out);
    }
}

} // namespace

void CFrame::advanceFocus(bool reverse) {
    std::vector<CView*> views;
    collectFocusable(this, views);
    if (views.empty()) return;
    auto it = std::find(views.begin(), views.end(), focusView_);
    size_t i;
    if (it == views.end())
        i = reverse ? views.size() - 1 : 0;
    else {
        const size_t at = static_cast<size_t>(it - views.begin());
        i = reverse ? (at + views.size() - 1) % views.size() : (at + 1) % views.size();
    }
    setFocusView(views[i]);
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    mouseDownView_ = nullptr;
    // A click anywhere ends a text edit.
    if (focusView_ && dynamic_cast<CTextEdit*>(focusView_)) setFocusView(nullptr);
    if (modalView_) {
        if (!modalView_->isVisible() || !modalView_->getMouseEnabled()) return kMouseEventNotHandled;
        CView* modal = modalView_;
        const CMouseEventResult result = modal->onMouseDown(where, buttons);
        if (result == kMouseEventHandled && modalView_ == modal) mouseDownView_ = modal;
        return result;
    }
    return CViewContainer::onMouseDown(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    const CMouseEventResult result = CViewContainer::onMouseUp(where, buttons);
    updateMouseOver(where, buttons);
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (mouseDownView_) return CViewContainer::onMouseMoved(where, buttons);
    if (modalView_) {
        // Hover inside an overlay (menus): the modal view sees every move.
        CPoint p = where;
        return modalView_->onMouseMoved(p, CButtonState(buttons.getModifierState()));
    }
    updateMouseOver(where, buttons);
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseExited(CPoint& /*where*/, const CButtonState& buttons) {
    if (mouseOverView_) {
        CView* v = mouseOverView_;
        mouseOverView_ = nullptr;
        CPoint p;
        v->onMouseExited(p, CButtonState(buttons.getModifierState()));
    }
    return kMouseEventHandled;
}

void CFrame::updateMouseOver(const CPoint& where, const CButtonState& buttons) {
    if (mouseDownView_ || modalView_) return;
    CView* v = getViewAt(where, true);
    if (v && !v->getMouseEnabled()) v = nullptr;
    if (v == mouseOverView_) return;
    const CButtonState mods(buttons.getModifierState());
    if (CView* old = mouseOverView_) {
        mouseOverView_ = nullptr;
        CPoint p = where;
        old->frameToLocal(p);
        old->onMouseExited(p, mods);
    }
    mouseOverView_ = v;
    if (v) {
        CPoint p = where;
        v->frameToLocal(p);
        v->onMouseEntered(p, mods);
    }
}

bool CFrame::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                     const CButtonState& buttons) {
    // No wheel while a drag is going on.
    if (mouseDownView_) return false;
    if (modalView_) {
        if (!modalView_->isVisible() || !modalView_->getMouseEnabled()) return false;
        return modalView_->onWheel(where, axis, distance, buttons);
    }
    return CViewContainer::onWheel(where, axis, distance, buttons);
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
    return platformFrame_ && platformFrame_->getCurrentMousePosition(where);
}

void CFrame::invalidRect(const CRect& r) {
    if (!platformFrame_) return;
    CRect b = r;
    b.bound(CRect(0, 0, size_.getWidth(), size_.getHeight()));
    if (!b.isEmpty()) platformFrame_->invalidRect(b);
}

void CFrame::invalid() {
    setDirty(false);
    invalidRect(CRect(0, 0, size_.getWidth(), size_.getHeight()));
}

void CFrame::setViewSize(const CRect& rect, bool invalidate) {
    const CRect r(0, 0, rect.getWidth(), rect.getHeight());
    CView::setViewSize(r, false);
    mouseableArea_ = r;
    if (platformFrame_) platformFrame_->setSize(r);
    if (invalidate) invalid();
}

OffscreenFrame* CFrame::getOffscreenFrame() const { return dynamic_cast<OffscreenFrame*>(platformFrame_.get()); }

void CFrame::registerIdleView(CView* view) {
    if (std::find(idleViews_.begin(), idleViews_.end(), view) != idleViews_.end()) return;
    idleViews_.push_back(view);
    if (!idleTimer_) idleTimer_ = getPlatformFactory().createTimer(1000 / idleRate, [this] { fireIdleViews(); });
}

void CFrame::unregisterIdleView(CView* view) { std::erase(idleViews_, view); }

void CFrame::fireIdleViews() {
    const auto views = idleViews_;
    for (CView* v : views)
        if (std::find(idleViews_.begin(), idleViews_.end(), v) != idleViews_.end()) v->onIdle();
}

void CFrame::viewWillBeRemoved(CView* view) {
    if (view == this) return;
    if (focusView_ == view) {
        if (textInput_) setTextInputFocus(false);
        focusView_ = nullptr;
    }
    if (modalView_ == view) modalView_ = nullptr;
    if (mouseOverView_ == view) mouseOverView_ = nullptr;
    if (mouseDownView_ == view) mouseDownView_ = nullptr;
    unregisterIdleView(view);
}

// ---- IPlatformFrameCallback ----

void CFrame::platformDrawRect(IPlatformDrawContext& context, const CRect& updateRect) {
    CDrawContext dc(context);
    dc.setClipRect(updateRect);
    drawRect(&dc, updateRect);
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint where, CButtonState buttons) {
    return onMouseDown(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseMoved(CPoint where, CButtonState buttons) {
    return onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint where, CButtonState buttons) { return onMouseUp(where, buttons); }

CMouseEventResult CFrame::platformOnMouseExited(CPoint where, CButtonState buttons) {
    return onMouseExited(where, buttons);
}

bool CFrame::platformOnMouseWheel(CPoint where, CMouseWheelAxis axis, float distance, CButtonState buttons) {
    return onWheel(where, axis, distance, buttons);
}

bool CFrame::platformOnKeyDown(VstKeyCode& key) { return onKeyDown(key) > 0; }
bool CFrame::platformOnKeyUp(VstKeyCode& key) { return onKeyUp(key) > 0; }

void CFrame::platformOnTimer() {
    if (editor_)
        editor_->idle();
    else
        idle();
}

} // namespace kelo::gui
