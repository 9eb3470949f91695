#include "editor/controls/CMyAnimKnob.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace kelo {

using namespace gui;

CMyAnimKnob::CMyAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, int32_t frameCount,
                         int32_t frameHeight, CBitmap* strip, const CPoint& offset)
    : CKnob(size, listener, tag, strip, nullptr, offset), frameCount_(frameCount), frameHeight_(frameHeight) {
    inset_ = 0;
}

void CMyAnimKnob::setDragRange(float pixels) {
    if (pixels > 0 && std::isfinite(pixels)) knobRange_ = pixels;
}

void CMyAnimKnob::setSnapEnabled(bool state) { snap_ = state; }

void CMyAnimKnob::setSnapSteps(float steps) {
    if (steps > 0 && std::isfinite(steps)) snapSteps_ = steps;
}

void CMyAnimKnob::setInverse(bool state) {
    inverse_ = state;
    setDirty();
}

void CMyAnimKnob::setPointer(bool state) {
    pointer_ = state;
    setDirty();
}

void CMyAnimKnob::setPointerColor(const CColor& color) {
    pointerColor_ = color;
    setDirty();
}

void CMyAnimKnob::setPointerAngles(float startDegrees, float endDegrees) {
    startAngle_ = startDegrees;
    endAngle_ = endDegrees;
    setDirty();
}

void CMyAnimKnob::setPointerWidth(float width) {
    pointerWidth_ = width;
    setDirty();
}

void CMyAnimKnob::setPointerRadii(float inner, float outer) {
    innerRadius_ = inner;
    outerRadius_ = outer;
    setDirty();
}

void CMyAnimKnob::setValue(float value) {
    const bool differs = value != value_;
    CKnob::setValue(value);
    if (differs) setDirty();
}

int32_t CMyAnimKnob::frameOffset() const {
    // A strip without a whole frame shows its top: no division by a zero height, no walk past
    // it; a value that is no number shows the top too.
    if (!(value_ >= 0) || frameHeight_ <= 0 || frameCount_ < 1) return 0;
    const float v = std::min(inverse_ ? 1.0f - value_ : value_, 1.0f);
    const int64_t span = int64_t(frameCount_ - 1) * frameHeight_;
    // Truncated, not rounded: only the value 1 reaches the last frame.
    const auto y = std::clamp(static_cast<int64_t>(double(v) * double(span)), int64_t(0), span);
    return static_cast<int32_t>(y - y % frameHeight_);
}

void CMyAnimKnob::draw(CDrawContext* context) {
    if (background_) background_->draw(context, size_, CPoint(0, frameOffset()));
    if (pointer_) {
        const CPoint centre = size_.getCenter();
        const double angle = (startAngle_ + (endAngle_ - startAngle_) * value_) * std::numbers::pi / 180.0;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        const CPoint inner(centre.x + innerRadius_ * c, centre.y - innerRadius_ * s);
        const CPoint outer(centre.x + outerRadius_ * c, centre.y - outerRadius_ * s);
        context->setDrawMode(kAliasing);
        context->setLineWidth(2.0 * pointerWidth_);
        context->setFrameColor(CColor(0, 0, 0, 127));
        context->drawLine(inner, outer);
        context->setDrawMode(kAntiAliasing);
        context->setLineWidth(pointerWidth_);
        context->setFrameColor(pointerColor_);
        context->drawLine(inner, outer);
    }
    setDirty(false);
}

CMouseEventResult CMyAnimKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    firstPoint_ = where;
    lastPoint_ = CPoint(-1, -1);
    startValue_ = getOldValue();
    entryState_ = value_;
    range_ = knobRange_;
    coef_ = (getMax() - getMin()) / range_;
    oldButton_ = buttons;

    const int32_t mode = getFrame() ? getFrame()->getKnobMode() : CFrame::kDefaultKnobMode;
    const bool alt = (buttons & kAlt) != 0;
    if ((mode == kLinearMode) != alt) {
        // The fine adjust widens this drag only; the stored range stays.
        if (buttons & kZoomModifier) range_ *= zoomFactor_;
        coef_ = (getMax() - getMin()) / range_;
        modeLinear_ = true;
    } else {
        startValue_ = valueFromPoint(CPoint(where.x - size_.left, where.y - size_.top));
        modeLinear_ = false;
    }
    lastPoint_ = where;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CMyAnimKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    // Only the left button drags; other moves are ignored, but the drag (and its edit bracket)
    // stays with this knob until the release.
    if (!buttons.isLeftButton() || where == lastPoint_) return kMouseEventHandled;
    lastPoint_ = where;
    if (modeLinear_) {
        const CCoord diff = (firstPoint_.y - where.y) + (where.x - firstPoint_.x);
        if (buttons != oldButton_) {
            // Shift pressed or released mid-drag: re-anchor so the value does not jump.
            range_ = knobRange_;
            if (buttons & kZoomModifier) range_ *= zoomFactor_;
            const float coef = (getMax() - getMin()) / range_;
            entryState_ += static_cast<float>(diff * (coef_ - coef));
            coef_ = coef;
            oldButton_ = buttons;
        }
        value_ = entryState_ + static_cast<float>(diff * coef_);
        if (snap_ && (buttons & kZoomModifier)) value_ = std::trunc(snapSteps_ * value_) / snapSteps_;
        bounceValue();
    } else {
        value_ = valueFromPoint(CPoint(where.x - size_.left, where.y - size_.top));
        // Dragging across the gap at the bottom must not jump from one end to the other.
        const float half = getRange() / 2;
        if (startValue_ - value_ > half)
            value_ = getMax();
        else if (value_ - startValue_ > half)
            value_ = getMin();
        else
            startValue_ = value_;
    }
    if (value_ != getOldValue()) valueChanged();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

} // namespace kelo
