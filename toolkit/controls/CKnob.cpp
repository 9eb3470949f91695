#include "toolkit/controls/CKnob.h"

#include <cmath>
#include <numbers>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace kelo::gui {

namespace {
constexpr double kPi = std::numbers::pi;
}

CKnob::CKnob(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background, CBitmap* handle,
             const CPoint& offset, int32 drawStyle)
    : CControl(size, listener, tag, background), offset_(offset), drawStyle_(drawStyle),
      startAngle_(static_cast<float>(3 * kPi / 4)), rangeAngle_(static_cast<float>(3 * kPi / 2)) {
    if (handle) {
        handle->remember();
        handle_ = handle;
        inset_ = static_cast<CCoord>(static_cast<int>(handle->getWidth() / 2 + 2.5));
    } else {
        inset_ = 3;
    }
    setWantsFocus(true);
}

CKnob::~CKnob() {
    if (handle_) handle_->forget();
}

void CKnob::setHandleBitmap(CBitmap* handle) {
    if (handle) handle->remember();
    if (handle_) handle_->forget();
    handle_ = handle;
    if (handle_) inset_ = static_cast<CCoord>(static_cast<int>(handle_->getWidth() / 2 + 2.5));
    setDirty();
}

void CKnob::setStartAngle(float a) {
    startAngle_ = a;
    setDirty();
}

void CKnob::setRangeAngle(float a) {
    rangeAngle_ = a;
    setDirty();
}

void CKnob::setMin(float v) {
    CControl::setMin(v);
    setDirty();
}

void CKnob::setMax(float v) {
    CControl::setMax(v);
    setDirty();
}

void CKnob::setViewSize(const CRect& rect, bool invalid) {
    CControl::setViewSize(rect, invalid);
    setDirty();
}

float CKnob::valueFromPoint(const CPoint& point) const {
    const double half = rangeAngle_ / 2.0;
    const double mid = startAngle_ + half;
    const double cx = size_.getWidth() / 2;
    const double cy = size_.getHeight() / 2;
    double rx = cx - inset_;
    double ry = cy - inset_;
    if (rx <= 0) rx = cx > 0 ? cx : 1;
    if (ry <= 0) ry = cy > 0 ? cy : 1;
    double alpha = std::atan2((point.y - cy) / ry, (point.x - cx) / rx) - mid;
    // Into [-pi, pi), with a little slack so the point straight below (the middle of the gap,
    // a tie) is the minimum whatever the rounding of the float angles.
    constexpr double slack = 1e-6;
    while (alpha >= kPi - slack) alpha -= 2 * kPi;
    while (alpha < -kPi - slack) alpha += 2 * kPi;
    if (half < 0) alpha = -alpha;
    if (alpha > half) return getMax();
    if (alpha < -half) return getMin();
    return getMin() + static_cast<float>(0.5 + alpha / rangeAngle_) * getRange();
}

void CKnob::valueToPoint(CPoint& point) const {
    const double a = startAngle_ + getValueNormalized() * rangeAngle_;
    const double cx = size_.getWidth() / 2;
    const double cy = size_.getHeight() / 2;
    point.x = static_cast<int>(cx + std::cos(a) * (cx - inset_) + 0.5);
    point.y = static_cast<int>(cy + std::sin(a) * (cy - inset_) + 0.5);
}

void CKnob::draw(CDrawContext* context) {
    if (background_) background_->draw(context, size_, offset_);
    drawHandle(context);
    setDirty(false);
}

void CKnob::drawHandle(CDrawContext* context) {
    CPoint where;
    valueToPoint(where);
    if (handle_) {
        const CCoord w = handle_->getWidth();
        const CCoord h = handle_->getHeight();
        const CPoint topLeft(std::floor(size_.left + where.x - w / 2), std::floor(size_.top + where.y - h / 2));
        handle_->draw(context, CRect(topLeft, CPoint(w, h)));
        return;
    }
    CPoint origin(size_.getWidth() / 2, size_.getHeight() / 2);
    context->setDrawMode(kAntiAliasing);
    context->setLineWidth(handleLineWidth_);
    context->setLineCap(LineCap::kRound);
    origin.offset(size_.left - 1, size_.top);
    where.offset(size_.left - 1, size_.top);
    context->setFrameColor(colorShadowHandle_);
    context->drawLine(origin, where);
    origin.offset(1, -1);
    where.offset(1, -1);
    context->setFrameColor(colorHandle_);
    context->drawLine(origin, where);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
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

    const int32 frameMode = getFrame() ? getFrame()->getKnobMode() : CFrame::kDefaultKnobMode;
    int32 mode = kCircularMode;
    if (frameMode == kLinearMode) {
        if (!(buttons & kAlt)) mode = kLinearMode;
    } else if (buttons & kAlt) {
        mode = kLinearMode;
    }
    if (mode == kLinearMode) {
        if (buttons & kZoomModifier) range_ *= zoomFactor_;
        lastPoint_ = where;
        modeLinear_ = true;
        coef_ = (getMax() - getMin()) / range_;
    } else {
        startValue_ = valueFromPoint(CPoint(where.x - size_.left, where.y - size_.top));
        lastPoint_ = where;
        modeLinear_ = false;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    if (where == lastPoint_) return kMouseEventHandled;
    lastPoint_ = where;
    if (modeLinear_) {
        const CCoord diff = (firstPoint_.y - where.y) + (where.x - firstPoint_.x);
        if (buttons != oldButton_) {
            // Shift pressed or released mid-drag: re-anchor so the value does not jump.
            range_ = knobRange_;
            if (buttons & kZoomModifier) range_ *= zoomFactor_;
            const float coef2 = (getMax() - getMin()) / range_;
            entryState_ += static_cast<float>(diff * (coef_ - coef2));
            coef_ = coef2;
            oldButton_ = buttons;
        }
        value_ = entryState_ + static_cast<float>(diff * coef_);
        bounceValue();
    } else {
        value_ = valueFromPoint(CPoint(where.x - size_.left, where.y - size_.top));
        // Dragging across the gap at the bottom must not jump from one end to the other.
        if (startValue_ - value_ > getRange() / 2)
            value_ = getMax();
        else if (value_ - startValue_ > getRange() / 2)
            value_ = getMin();
        else
            startValue_ = value_;
    }
    if (value_ != getOldValue()) valueChanged();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const CButtonState&) {
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseCancel() {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    if (!getMouseEnabled()) return false;
    float v = getValueNormalized();
    if (buttons & kZoomModifier)
        v += 0.1f * distance * wheelInc_;
    else
        v += distance * wheelInc_;
    setValueNormalized(v);
    if (isDirty()) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

int32 CKnob::onKeyDown(VstKeyCode& key) {
    float distance;
    switch (key.virt) {
    case VKEY_UP:
    case VKEY_RIGHT: distance = 1; break;
    case VKEY_DOWN:
    case VKEY_LEFT: distance = -1; break;
    default: return -1;
    }
    const bool fine = (mapVstKeyModifier(key.modifier) & kZoomModifier) != 0;
    onWheel(CPoint(), distance, CButtonState(fine ? kZoomModifier : 0));
    return 1;
}

// ---- CAnimKnob ----

CAnimKnob::CAnimKnob(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                     const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset), heightOfOneImage_(size.getHeight()) {
    inset_ = 0;
    if (background && heightOfOneImage_ > 0)
        subPixmaps_ = static_cast<int32>(background->getHeight() / heightOfOneImage_);
}

CAnimKnob::CAnimKnob(const CRect& size, IControlListener* listener, int32 tag, int32 subPixmaps,
                     CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset), subPixmaps_(subPixmaps) {
    inset_ = 0;
    setHeightOfOneImage(heightOfOneImage);
}

void CAnimKnob::setHeightOfOneImage(CCoord height) {
    heightOfOneImage_ = height;
    if (background_ && height > 0) subPixmaps_ = static_cast<int32>(background_->getHeight() / height);
}

void CAnimKnob::setBackground(CBitmap* background) {
    CKnob::setBackground(background);
    if (heightOfOneImage_ == 0) heightOfOneImage_ = size_.getHeight();
    if (background_ && heightOfOneImage_ > 0)
        subPixmaps_ = static_cast<int32>(background_->getHeight() / heightOfOneImage_);
}

CCoord CAnimKnob::frameOffset() const {
    float n = getValueNormalized();
    if (inverseBitmap_) n = 1 - n;
    // Truncated, not rounded: the last frame only at the maximum. No frames, no offset.
    if (n < 0 || heightOfOneImage_ <= 0 || subPixmaps_ < 1) return 0;
    const double y = std::floor(double(n) * heightOfOneImage_ * (subPixmaps_ - 1));
    const auto whole = static_cast<long long>(y);
    const auto h = static_cast<long long>(heightOfOneImage_);
    return h > 0 ? static_cast<CCoord>(whole - whole % h) : 0;
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background_) background_->draw(context, size_, CPoint(0, frameOffset()));
    setDirty(false);
}

} // namespace kelo::gui
