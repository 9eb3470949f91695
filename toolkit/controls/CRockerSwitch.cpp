#include "toolkit/controls/CRockerSwitch.h"

#include "toolkit/CBitmap.h"
#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {

CRockerSwitch::CRockerSwitch(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                             const CPoint& offset, int32 style)
    : CRockerSwitch(size, listener, tag, size.getHeight(), background, offset, style) {}

CRockerSwitch::CRockerSwitch(const CRect& size, IControlListener* listener, int32 tag, CCoord heightOfOneImage,
                             CBitmap* background, const CPoint& offset, int32 style)
    : CControl(size, listener, tag, background), offset_(offset), heightOfOneImage_(heightOfOneImage), style_(style) {
    setMin(-1.0f);
    setMax(1.0f);
    value_ = middle();
    setWantsFocus(true);
}

CRockerSwitch::~CRockerSwitch() = default;

void CRockerSwitch::draw(CDrawContext* context) {
    bounceValue();
    CPoint where = offset_;
    if (value_ == getMax())
        where.y += 2 * heightOfOneImage_;
    else if (value_ == middle())
        where.y += heightOfOneImage_;
    if (background_) background_->draw(context, size_, where);
    setDirty(false);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    entryState_ = value_;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CRockerSwitch::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventNotHandled;
    // Inclusive edges; on the dividing line the first half wins.
    const CRect& r = size_;
    if (style_ & kVertical) {
        const CCoord half = r.top + r.getHeight() / 2;
        const bool inX = where.x >= r.left && where.x <= r.right;
        if (inX && where.y >= r.top && where.y <= half)
            value_ = getMin();
        else if (inX && where.y >= half && where.y <= r.bottom)
            value_ = getMax();
        else
            value_ = entryState_;
    } else {
        const CCoord half = r.left + r.getWidth() / 2;
        const bool inY = where.y >= r.top && where.y <= r.bottom;
        if (inY && where.x >= r.left && where.x <= half)
            value_ = getMin();
        else if (inY && where.x >= half && where.x <= r.right)
            value_ = getMax();
        else
            value_ = entryState_;
    }
    if (isDirty()) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    // Back to rest without a report: listeners read it or hear the end of the edit.
    value_ = middle();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseCancel() {
    if (isEditing()) {
        value_ = middle();
        if (isDirty()) invalid();
        endEdit();
    }
    return kMouseEventHandled;
}

bool CRockerSwitch::onWheel(const CPoint&, const float& distance, const CButtonState&) {
    if (!getMouseEnabled()) return false;
    value_ = distance > 0 ? getMin() : getMax();
    if (isDirty()) {
        invalid();
        if (!isEditing()) beginEdit();
        valueChanged();
    }
    resetTimer_ = getPlatformFactory().createTimer(kWheelReturnMs, [this] { returnToRest(); });
    return true;
}

void CRockerSwitch::returnToRest() {
    auto timer = std::move(resetTimer_); // one shot; destroyed when this call returns
    value_ = middle();
    valueChanged();
    endEdit();
    setDirty();
}

int32 CRockerSwitch::onKeyDown(VstKeyCode& key) {
    const bool vertical = (style_ & kVertical) != 0;
    const unsigned char toMin = vertical ? VKEY_UP : VKEY_LEFT;
    const unsigned char toMax = vertical ? VKEY_DOWN : VKEY_RIGHT;
    if (key.virt != toMin && key.virt != toMax) return -1;
    if (!isEditing()) beginEdit();
    value_ = key.virt == toMin ? getMin() : getMax();
    invalid();
    valueChanged();
    return 1;
}

int32 CRockerSwitch::onKeyUp(VstKeyCode& key) {
    const bool vertical = (style_ & kVertical) != 0;
    const unsigned char toMin = vertical ? VKEY_UP : VKEY_LEFT;
    const unsigned char toMax = vertical ? VKEY_DOWN : VKEY_RIGHT;
    if (key.virt != toMin && key.virt != toMax) return -1;
    value_ = middle();
    invalid();
    valueChanged();
    endEdit();
    return 1;
}

} // namespace kelo::gui
