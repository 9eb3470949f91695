#include "toolkit/controls/CButtons.h"

#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/platform/IPlatformFont.h"

namespace kelo::gui {

namespace {

bool plainReturn(const VstKeyCode& key) { return key.virt == VKEY_RETURN && key.modifier == 0; }

} // namespace

// ---- CKickButton ----

CKickButton::CKickButton(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                         const CPoint& offset)
    : CKickButton(size, listener, tag, size.getHeight(), background, offset) {}

CKickButton::CKickButton(const CRect& size, IControlListener* listener, int32 tag, CCoord heightOfOneImage,
                         CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset_(offset), heightOfOneImage_(heightOfOneImage) {
    setWantsFocus(true);
}

void CKickButton::draw(CDrawContext* context) {
    bounceValue();
    CPoint where = offset_;
    if (value_ == getMax()) where.y += heightOfOneImage_;
    if (background_) background_->draw(context, size_, where);
    setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    entryState_ = value_;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventNotHandled;
    value_ = insideInclusive(where) ? getMax() : getMin();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, const CButtonState&) {
    if (value_ > 0) valueChanged();
    value_ = getMin();
    valueChanged();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseCancel() {
    value_ = getMin();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

int32 CKickButton::onKeyDown(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    if (value_ != getMax()) {
        beginEdit();
        value_ = getMax();
        invalid();
        valueChanged();
    }
    return 1;
}

int32 CKickButton::onKeyUp(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    if (!isEditing()) return 1;
    value_ = getMin();
    invalid();
    valueChanged();
    endEdit();
    return 1;
}

// ---- COnOffButton ----

COnOffButton::COnOffButton(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background, int32 style)
    : CControl(size, listener, tag, background), style_(style) {
    setWantsFocus(true);
}

void COnOffButton::draw(CDrawContext* context) {
    // Only exactly "max" is on.
    const CCoord off = (value_ == getMax() && background_) ? std::floor(background_->getHeight() / 2) : 0;
    if (background_) background_->draw(context, size_, CPoint(0, off));
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return kMouseEventHandled;
}

CMouseEventResult COnOffButton::onMouseMoved(CPoint&, const CButtonState&) {
    return isEditing() ? kMouseEventHandled : kMouseEventNotHandled;
}

CMouseEventResult COnOffButton::onMouseUp(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    if (size_.pointInside(where)) {
        value_ = value_ == getMax() ? getMin() : getMax();
        invalid();
        valueChanged();
    }
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult COnOffButton::onMouseCancel() {
    endEdit();
    return kMouseEventHandled;
}

int32 COnOffButton::onKeyDown(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    value_ = value_ == getMax() ? getMin() : getMax();
    invalid();
    beginEdit();
    valueChanged();
    endEdit();
    return 1;
}

// ---- CCheckBox ----

CCheckBox::CCheckBox(const CRect& size, IControlListener* listener, int32 tag, const char* title, CBitmap* bitmap,
                     int32 style)
    : CControl(size, listener, tag, bitmap), title_(title ? title : ""), style_(style), font_(kSystemFont) {
    font_->remember();
    setWantsFocus(true);
    if (style_ & kAutoSizeToFit) sizeToFit();
}

CCheckBox::~CCheckBox() { font_->forget(); }

void CCheckBox::setTitle(const char* title) {
    title_ = title ? title : "";
    if (style_ & kAutoSizeToFit) sizeToFit();
    setDirty();
}

void CCheckBox::setFont(CFontDesc* font) {
    if (!font) return;
    font->remember();
    font_->forget();
    font_ = font;
    if (style_ & kAutoSizeToFit) sizeToFit();
    setDirty();
}

void CCheckBox::setStyle(int32 style) {
    style_ = style;
    if (style_ & kAutoSizeToFit) sizeToFit();
    setDirty();
}

void CCheckBox::setBackground(CBitmap* background) {
    CControl::setBackground(background);
    if (style_ & kAutoSizeToFit) sizeToFit();
}

CRect CCheckBox::boxRect() const {
    CCoord cap = 0;
    if (IPlatformFont* f = font_->getPlatformFont()) {
        cap = f->getCapHeight();
        if (cap <= 0) cap = f->getAscent();
    }
    if (cap <= 0) cap = font_->getSize();
    const CCoord side = std::floor(cap + 2.5);
    const CCoord top = size_.top + std::ceil((size_.getHeight() - side) / 2);
    return CRect(size_.left + 1, top, size_.left + 1 + side, top + side);
}

bool CCheckBox::sizeToFit() {
    CCoord width;
    if (background_) {
        width = background_->getWidth();
    } else {
        width = boxRect().getWidth();
    }
    CCoord titleWidth = 0;
    if (IPlatformFont* f = font_->getPlatformFont(); f && !title_.empty()) titleWidth = f->getStringWidth(title_);
    CRect r = size_;
    r.setWidth(width + 5 + titleWidth);
    setViewSize(r);
    setMouseableArea(r);
    return true;
}

void CCheckBox::draw(CDrawContext* context) {
    const float n = getValueNormalized();
    const int state = n > 0.5f ? 2 : (n == 0.5f ? 1 : 0);
    CRect box;
    if (background_) {
        // Six images: unchecked, half, checked, then the same highlighted.
        const CCoord h = std::floor(background_->getHeight() / 6);
        const CCoord top = size_.top + std::ceil((size_.getHeight() - h) / 2);
        box = CRect(size_.left, top, size_.left + background_->getWidth(), top + h);
        background_->draw(context, box, CPoint(0, h * state + (hilight_ ? h * 3 : 0)));
    } else {
        box = boxRect();
        context->setDrawMode(kAntiAliasing);
        context->setLineWidth(1);
        context->setLineStyle(kLineSolid);
        context->setFrameColor(boxFrameColor_);
        context->setFillColor(boxFillColor_);
        context->drawRect(box, kDrawFilledAndStroked);
        if (hilight_) {
            CRect inner = box;
            inner.inset(1, 1);
            CColor c = boxFrameColor_;
            c.alpha = static_cast<uint8_t>(c.alpha / 2);
            context->setFrameColor(c);
            context->drawRect(inner, kDrawStroked);
        }
        context->setFrameColor(checkMarkColor_);
        context->setLineWidth(2);
        const CCoord i = 2;
        const CCoord mid = box.top + box.getHeight() / 2;
        if (state == 1) {
            context->drawLine(CPoint(box.left + i, mid), CPoint(box.right - i, mid));
        } else if (state == 2) {
            if (style_ & kDrawCrossBox) {
                context->drawLine(CPoint(box.left + i, box.top + i), CPoint(box.right - i, box.bottom - i));
                context->drawLine(CPoint(box.left + i, box.bottom - i), CPoint(box.right - i, box.top + i));
            } else {
                context->drawLines({CPoint(box.left + i, mid), CPoint(box.left + box.getWidth() / 2, box.bottom - i),
                                    CPoint(box.right + 1, box.top - 1)});
            }
        }
    }
    if (!title_.empty()) {
        context->setFont(font_);
        context->setFontColor(fontColor_);
        context->drawString(title_, CPoint(box.right + 5, box.bottom - 1), true);
    }
    setDirty(false);
}

CMouseEventResult CCheckBox::onMouseDown(CPoint&, const CButtonState& buttons) {
    // Other buttons are swallowed, not passed on.
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    previousValue_ = value_;
    hilight_ = true;
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CCheckBox::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventNotHandled;
    const bool inside = size_.pointInside(where);
    if (inside != hilight_) {
        hilight_ = inside;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CCheckBox::onMouseUp(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    hilight_ = false;
    value_ = size_.pointInside(where) ? (previousValue_ < getMax() ? getMax() : getMin()) : previousValue_;
    if (isDirty()) valueChanged();
    invalid();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CCheckBox::onMouseCancel() {
    if (isEditing()) {
        hilight_ = false;
        value_ = previousValue_;
        invalid();
        endEdit();
    }
    return kMouseEventHandled;
}

int32 CCheckBox::onKeyDown(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    beginEdit();
    value_ = value_ < getMax() ? getMax() : getMin();
    invalid();
    valueChanged();
    endEdit();
    return 1;
}

// ---- CTextButton ----

CTextButton::CTextButton(const CRect& size, IControlListener* listener, int32 tag, const char* title, Style style)
    : CControl(size, listener, tag), title_(title ? title : ""), style_(style), font_(kSystemFont) {
    font_->remember();
    setWantsFocus(true);
}

CTextButton::~CTextButton() { font_->forget(); }

void CTextButton::setTitle(const char* title) {
    title_ = title ? title : "";
    invalid();
}

void CTextButton::setFont(CFontDesc* font) {
    if (!font) return;
    font->remember();
    font_->forget();
    font_ = font;
    invalid();
}

void CTextButton::setGradientColors(const CColor& start, const CColor& end) {
    gradientStart_ = start;
    gradientEnd_ = end;
    invalid();
}

void CTextButton::setGradientColorsHighlighted(const CColor& start, const CColor& end) {
    gradientStartHighlighted_ = start;
    gradientEndHighlighted_ = end;
    invalid();
}

void CTextButton::draw(CDrawContext* context) {
    const bool highlight = value_ > 0.5f;
    context->setDrawMode(kAntiAliasing);
    context->setLineWidth(frameWidth_);
    context->setLineCap(LineCap::kRound);
    context->setLineJoin(LineJoin::kRound);
    CRect r = size_;
    r.inset(frameWidth_ / 2, frameWidth_ / 2);
    context->fillRoundRectGradient(r, roundRadius_,
                                   {{0.2, highlight ? gradientStartHighlighted_ : gradientStart_},
                                    {1.0, highlight ? gradientEndHighlighted_ : gradientEnd_}});
    context->setFrameColor(highlight ? frameColorHighlighted_ : frameColor_);
    context->drawRoundRect(r, roundRadius_, kDrawStroked);
    CRect text = r;
    if (align_ == kLeftText) text.left += textMargin_;
    if (align_ == kRightText) text.right -= textMargin_;
    context->setFont(font_);
    context->setFontColor(highlight ? textColorHighlighted_ : textColor_);
    context->drawString(title_, text, align_);
    setDirty(false);
}

CMouseEventResult CTextButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    entryState_ = value_;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CTextButton::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!isEditing()) return kMouseEventNotHandled;
    const bool wasMin = entryState_ == getMin();
    if (insideInclusive(where))
        value_ = wasMin ? getMax() : getMin();
    else
        value_ = wasMin ? getMin() : getMax();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CTextButton::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    if (value_ != entryState_) {
        valueChanged();
        if (style_ == kKickStyle) {
            value_ = getMin();
            valueChanged();
        }
        if (isDirty()) invalid();
    }
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CTextButton::onMouseCancel() {
    if (isEditing()) {
        value_ = entryState_;
        if (isDirty()) invalid();
        endEdit();
    }
    return kMouseEventHandled;
}

int32 CTextButton::onKeyDown(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    if (style_ == kOnOffStyle) {
        beginEdit();
        value_ = value_ == getMin() ? getMax() : getMin();
        invalid();
        valueChanged();
        endEdit();
    } else if (value_ != getMax()) {
        beginEdit();
        value_ = getMax();
        invalid();
        valueChanged();
    }
    return 1;
}

int32 CTextButton::onKeyUp(VstKeyCode& key) {
    if (!plainReturn(key)) return -1;
    if (style_ == kKickStyle && isEditing()) {
        value_ = getMin();
        invalid();
        valueChanged();
        endEdit();
    }
    return 1;
}

} // namespace kelo::gui
