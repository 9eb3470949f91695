#include "editor/controls/TextControls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

// ---- MyTextButton ----

MyTextButton::MyTextButton(const CRect& size, IControlListener* listener, int32_t tag, const char* title)
    : CTextButton(size, listener, tag, title, kKickStyle) {
    gradientStart_ = kGradientTop;
    gradientEnd_ = kGradientBottom;
}

CMouseEventResult MyTextButton::onMouseEntered(CPoint&, const CButtonState&) {
    setGradientColors(kHoverTop, kHoverBottom);
    setAlphaValue(1.0f);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult MyTextButton::onMouseExited(CPoint&, const CButtonState&) {
    setGradientColors(kGradientTop, kGradientBottom);
    setAlphaValue(1.0f);
    invalid();
    return kMouseEventHandled;
}

// ---- CMySpinBox ----

CMySpinBox::CMySpinBox(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                       const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset) {}

void CMySpinBox::setText(std::string_view text) {
    text_ = std::string(text.substr(0, kMaxTextLength));
    percent_ = false;
    setDirty();
}

std::string CMySpinBox::getText() const {
    if (!percent_) return text_;
    char buffer[32];
    const float percent = std::isfinite(value_) ? std::clamp(value_ * 100, -1e6f, 1e6f) : 0.0f;
    std::snprintf(buffer, sizeof buffer, "%d %%", static_cast<int>(percent));
    return buffer;
}

void CMySpinBox::setTextColor(const CColor& color) {
    textColor_ = color;
    setDirty();
}

void CMySpinBox::draw(CDrawContext* context) {
    if (percent_) text_ = getText();
    if (background_) background_->draw(context, size_, offset_);
    if (!text_.empty()) {
        CRect r = size_;
        r.offset(4, 0);
        context->setFont(kNormalFont);
        // Set explicitly: the colour left behind by whichever view drew before is no colour.
        context->setFontColor(textColor_);
        context->drawString(text_, r, kLeftText, true);
    }
    setDirty(false);
}

CMouseEventResult CMySpinBox::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    // The toolkit knob's linear drag, whatever the frame's knob mode.
    firstPoint_ = where;
    lastPoint_ = where;
    entryState_ = value_;
    range_ = knobRange_;
    if (buttons & kZoomModifier) range_ *= zoomFactor_;
    coef_ = (getMax() - getMin()) / range_;
    oldButton_ = buttons;
    modeLinear_ = true;
    return kMouseEventHandled;
}

// ---- CTextDisplay ----

CTextDisplay::CTextDisplay(const CRect& size, IControlListener* listener, int32_t tag, const char* text,
                           CBitmap* background, int32_t style)
    : CTextEdit(size, listener, tag, text, background, style) {
    setWantsFocus(false);
}

CTextDisplay::~CTextDisplay() = default;

void CTextDisplay::setEditable(bool state) {
    editable_ = state;
    setWantsFocus(state);
}

CMouseEventResult CTextDisplay::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!editable_) return kMouseEventNotHandled;
    return CTextEdit::onMouseDown(where, buttons);
}

} // namespace kelo
