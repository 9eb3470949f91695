#include "editor/controls/CIlluButton.h"

#include <algorithm>
#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

namespace {
constexpr float kFadeDone = 0.01f;
}

CIlluButton::CIlluButton(const CRect& size, IControlListener* listener, int32_t tag, CCoord imageHeight,
                         CBitmap* bitmap, const CPoint& offset)
    : CKickButton(size, listener, tag, imageHeight, bitmap, offset) {}

void CIlluButton::setLit(bool state) {
    if (state && lit_ && level_ != 1.0f) {
        level_ = 1.0f;
        if (fading_) setDirty();
    }
    if (state != lit_ && !fading_) setDirty();
    lit_ = state;
}

void CIlluButton::setLightLevel(float level) {
    level_ = level;
    setDirty();
}

void CIlluButton::setFading(bool state) { fading_ = state; }

void CIlluButton::setFadeFactor(float factor) {
    if (factor > 0 && factor <= 1) fadeFactor_ = factor;
}

void CIlluButton::stepFade() {
    const float target = lit_ ? 1.0f : 0.0f;
    level_ += (target - level_) * fadeFactor_;
    if (std::fabs(target - level_) > kFadeDone) setDirty();
}

void CIlluButton::draw(CDrawContext* context) {
    bounceValue();
    const bool pressed = value_ != 0;
    CPoint where = offset_;
    if (pressed) where.y += heightOfOneImage_;
    if (!background_) {
        // Whatever colour the previous view left in the context would be no colour at all.
        context->setFrameColor(kWhiteCColor);
        context->setDrawMode(kAliasing);
        context->setLineWidth(1);
        context->drawRect(size_, kDrawStroked);
        if (pressed) {
            context->drawLine(CPoint(size_.left, size_.top), CPoint(size_.right - 1, size_.bottom - 1));
            context->drawLine(CPoint(size_.left, size_.bottom - 1), CPoint(size_.right - 1, size_.top));
        }
    } else if (!fading_) {
        if (lit_) where.y += 2 * heightOfOneImage_;
        background_->draw(context, size_, where);
    } else {
        // A cross-fade: the unlit image stays opaque, so the panel never shows through mid-way.
        const float level = std::clamp(level_, 0.0f, 1.0f);
        background_->draw(context, size_, where);
        background_->draw(context, size_, CPoint(where.x, where.y + 2 * heightOfOneImage_), level);
    }
    setDirty(false);
}

CMouseEventResult CIlluButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    valueAtPress_ = value_;
    releasedInside_ = false;
    beginEdit();
    value_ = getMax();
    invalid();
    valueChanged();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CIlluButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    if (!(buttons & kLButton)) return kMouseEventHandled; // ignored; the release still comes here
    const float v = insideInclusive(where) ? getMax() : getMin();
    // Only a change is reported: every report is a step of the user's gesture.
    if (v != value_) {
        value_ = v;
        valueChanged();
    }
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CIlluButton::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    releasedInside_ = value_ == getMax();
    value_ = getMin();
    valueChanged();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CIlluButton::onMouseCancel() {
    if (!isEditing()) return kMouseEventHandled;
    // No report: the gesture did not end with a release (the edit bracket still closes).
    releasedInside_ = false;
    value_ = getMin();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

int32_t CIlluButton::onKeyDown(VstKeyCode& key) {
    if (key.virt == VKEY_RETURN && key.modifier == 0 && !isEditing()) {
        valueAtPress_ = value_;
        releasedInside_ = false;
    }
    return CKickButton::onKeyDown(key);
}

int32_t CIlluButton::onKeyUp(VstKeyCode& key) {
    if (key.virt == VKEY_RETURN && key.modifier == 0 && isEditing()) releasedInside_ = value_ == getMax();
    return CKickButton::onKeyUp(key);
}

} // namespace kelo
