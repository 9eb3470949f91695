#include "toolkit/controls/CParamDisplay.h"

#include <cstdio>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo::gui {

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32 style)
    : CControl(size, nullptr, -1, background), font_(kNormalFont), style_(style) {
    font_->remember();
}

CParamDisplay::~CParamDisplay() { font_->forget(); }

void CParamDisplay::setFont(CFontDesc* font) {
    if (!font || font == font_) return;
    font->remember();
    font_->forget();
    font_ = font;
    setDirty();
}

void CParamDisplay::setFontColor(const CColor& c) {
    if (c == fontColor_) return;
    fontColor_ = c;
    setDirty();
}

void CParamDisplay::setBackColor(const CColor& c) {
    if (c == backColor_) return;
    backColor_ = c;
    setDirty();
}

void CParamDisplay::setFrameColor(const CColor& c) {
    if (c == frameColor_) return;
    frameColor_ = c;
    setDirty();
}

void CParamDisplay::setShadowColor(const CColor& c) {
    if (c == shadowColor_) return;
    shadowColor_ = c;
    setDirty();
}

void CParamDisplay::setHoriAlign(CHoriTxtAlign a) {
    if (a == horiAlign_) return;
    horiAlign_ = a;
    setDirty();
}

void CParamDisplay::setStyle(int32 style) {
    if (style == style_) return;
    style_ = style;
    setDirty();
}

void CParamDisplay::setTextInset(const CPoint& inset) {
    if (inset == textInset_) return;
    textInset_ = inset;
    setDirty();
}

void CParamDisplay::setRoundRectRadius(CCoord r) {
    if (r == roundRectRadius_) return;
    roundRectRadius_ = r;
    setDirty();
}

void CParamDisplay::setFrameWidth(CCoord w) {
    if (w == frameWidth_) return;
    frameWidth_ = w;
    setDirty();
}

void CParamDisplay::setAntialias(bool state) {
    if (state == antialias_) return;
    antialias_ = state;
    setDirty();
}

void CParamDisplay::setPrecision(int32 precision) {
    if (precision == precision_) return;
    precision_ = precision;
    setDirty();
}

std::string CParamDisplay::formatValue() const {
    std::string text;
    if (valueToString_ && valueToString_(value_, text, const_cast<CParamDisplay*>(this))) return text;
    char buf[64];
    const int p = precision_ < 0 ? 0 : (precision_ > 16 ? 16 : precision_);
    std::snprintf(buf, sizeof buf, "%.*f", p, double(value_));
    return buf;
}

void CParamDisplay::draw(CDrawContext* context) {
    if (!(style_ & kNoDrawStyle)) {
        drawBack(context);
        drawText(context, formatValue());
    }
    setDirty(false);
}

CRect CParamDisplay::textRect() const {
    CRect r = size_;
    r.inset(textInset_.x, textInset_.y);
    return r;
}

void CParamDisplay::drawBack(CDrawContext* context, CBitmap* backgroundOverride) {
    context->setDrawMode(kAliasing);
    CBitmap* back = backgroundOverride ? backgroundOverride : background_;
    if (back) {
        back->draw(context, size_, backOffset_);
        return;
    }
    // A transparent display draws no background and no frame, whatever the colours.
    if (getTransparency()) return;
    context->setDrawMode(kAntiAliasing);
    context->setFillColor(backColor_);
    context->setFrameColor(frameColor_);
    context->setLineWidth(frameWidth_);
    const bool frame = !(style_ & (k3DIn | k3DOut | kNoFrame));
    CRect inner = size_;
    inner.inset(frameWidth_ / 2, frameWidth_ / 2);
    if (style_ & kRoundRectStyle) {
        context->drawRoundRect(inner, roundRectRadius_, frame ? kDrawFilledAndStroked : kDrawFilled);
    } else {
        context->drawRect(size_, kDrawFilled);
        if (frame) context->drawRect(size_, kDrawStroked);
    }
    if (style_ & (k3DIn | k3DOut)) {
        // Bevel: light on one pair of sides, dark on the other.
        context->setDrawMode(kAliasing);
        context->setLineWidth(1);
        const CColor light = kWhiteCColor;
        const CColor dark = kGreyCColor;
        const bool in = (style_ & k3DIn) != 0;
        const CRect r(size_.left, size_.top, size_.right - 1, size_.bottom - 1);
        context->setFrameColor(in ? dark : light);
        context->drawLine(CPoint(r.left, r.bottom), CPoint(r.left, r.top));
        context->drawLine(CPoint(r.left, r.top), CPoint(r.right, r.top));
        context->setFrameColor(in ? light : dark);
        context->drawLine(CPoint(r.right, r.top), CPoint(r.right, r.bottom));
        context->drawLine(CPoint(r.right, r.bottom), CPoint(r.left, r.bottom));
    }
}

void CParamDisplay::drawText(CDrawContext* context, const std::string& text) {
    if ((style_ & kNoTextStyle) || text.empty()) return;
    const CRect r = textRect();
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = r;
    clip.bound(oldClip);
    context->setClipRect(clip);
    context->setDrawMode(kAntiAliasing);
    context->setFont(font_);
    if (style_ & kShadowText) {
        CRect shadow = r;
        shadow.offset(1, 1);
        context->setFontColor(shadowColor_);
        context->drawString(text, shadow, horiAlign_, antialias_);
    }
    context->setFontColor(fontColor_);
    context->drawString(text, r, horiAlign_, antialias_);
    context->setClipRect(oldClip);
}

// ---- CTextLabel ----

CTextLabel::CTextLabel(const CRect& size, const char* text, CBitmap* background, int32 style)
    : CParamDisplay(size, background, style), text_(text ? text : "") {}

void CTextLabel::setText(const char* text) {
    const std::string t = text ? text : "";
    if (t == text_) return;
    text_ = t;
    setDirty();
}

void CTextLabel::draw(CDrawContext* context) {
    drawBack(context);
    drawText(context, text_);
    setDirty(false);
}

} // namespace kelo::gui
