#include "editor/controls/CScrollMultipleDigits.h"

#include <algorithm>
#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

namespace {

int64_t powerOfTen(int32_t n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

} // namespace

CScrollMultipleDigits::CScrollMultipleDigits(const CRect& size, IControlListener* listener, int32_t tag,
                                             int32_t digitCount, float dragSensitivity)
    : CControl(size, listener, tag), digitCount_(std::clamp(digitCount, 1, kMaxDigits)), ownRect_(size),
      dragSensitivity_(dragSensitivity) {
    setMin(0);
    setMax(static_cast<float>(powerOfTen(digitCount_) - 1));
}

CScrollMultipleDigits::~CScrollMultipleDigits() {
    for (Digit& d : digits_)
        if (d.strip) d.strip->forget();
}

bool CScrollMultipleDigits::setDigit(int32_t index, const CRect& rect, CBitmap* strip) {
    if (index < 0 || index >= digitCount_) return false;
    Digit& d = digits_[size_t(index)];
    if (strip) strip->remember();
    if (d.strip) d.strip->forget();
    d.strip = strip;
    d.rect = rect;
    coverDigits();
    setDirty();
    return true;
}

CRect CScrollMultipleDigits::getDigitRect(int32_t index) const {
    return index >= 0 && index < digitCount_ ? digits_[size_t(index)].rect : CRect();
}

void CScrollMultipleDigits::coverDigits() {
    CRect all = ownRect_;
    for (int32_t i = 0; i < digitCount_; ++i) all.unite(digits_[size_t(i)].rect);
    setViewSize(all);
    setMouseableArea(ownRect_);
}

int32_t CScrollMultipleDigits::shownDigit(int32_t index) const {
    if (index < 0 || index >= digitCount_) return 0;
    // Bounded before converting: a value that is no number, or huge, converts to no garbage.
    const double lo = std::min(getMin(), getMax()), hi = std::max(getMin(), getMax());
    const double v = std::isnan(value_) ? lo : std::clamp(double(value_), lo, hi);
    const auto n = static_cast<int64_t>(std::clamp(v, 0.0, 1e15));
    // Plain decimal digits with leading zeros; a number too wide for the display shows 9s in
    // its first digit.
    const int64_t d = n / powerOfTen(digitCount_ - 1 - index);
    return static_cast<int32_t>(index == 0 ? std::min<int64_t>(d, 9) : d % 10);
}

void CScrollMultipleDigits::setValue(float value) {
    if (value != value_) {
        setDirty();
        invalid();
    }
    const float before = value_;
    CControl::setValue(value);
    if (value_ != before) setDirty();
}

void CScrollMultipleDigits::draw(CDrawContext* context) {
    for (int32_t i = 0; i < digitCount_; ++i) {
        const Digit& d = digits_[size_t(i)];
        if (d.strip) d.strip->draw(context, d.rect, CPoint(0, d.rect.getHeight() * shownDigit(i)));
    }
    setDirty(false);
}

CMouseEventResult CScrollMultipleDigits::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    valueAtPress_ = value_;
    pressPoint_ = where;
    beginEdit();
    invalid();
    valueChanged();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CScrollMultipleDigits::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled() || !isEditing()) return kMouseEventNotHandled;
    if (!buttons.isLeftButton()) return kMouseEventHandled;
    const float factor = (buttons & kShift) ? 0.1f : 1.0f;
    value_ = valueAtPress_ - static_cast<float>(where.y - pressPoint_.y) * dragSensitivity_ * factor;
    bounceValue();
    if (value_ != getOldValue()) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CScrollMultipleDigits::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    valueChanged();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CScrollMultipleDigits::onMouseCancel() {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool CScrollMultipleDigits::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    if (!getMouseEnabled()) return false;
    const float step = (buttons & kShift) ? wheelInc_ : 10.0f * wheelInc_;
    setValue(value_ + distance * step);
    bounceValue();
    if (isDirty()) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

} // namespace kelo
