#include "toolkit/CDrawContext.h"

#include "toolkit/CBitmap.h"
#include "toolkit/platform/IPlatformFont.h"

namespace kelo::gui {

CDrawContext::CDrawContext(IPlatformDrawContext& device) : device_(device) { init(); }

CDrawContext::~CDrawContext() {
    for (Saved& s : stack_)
        if (s.font) s.font->forget();
    if (font_) font_->forget();
}

void CDrawContext::init() {
    state_ = CDrawState();
    state_.clip = device_.getSurfaceRect();
    offset_ = CPoint();
    holdFont(kSystemFont);
}

void CDrawContext::holdFont(CFontDesc* font) {
    if (font) font->remember();
    if (font_) font_->forget();
    font_ = font;
}

void CDrawContext::setClipRect(const CRect& clip) {
    CRect r = toSurface(clip);
    r.bound(device_.getSurfaceRect());
    state_.clip = r;
}

CRect& CDrawContext::getClipRect(CRect& clip) const {
    clip = state_.clip;
    clip.offset(-offset_.x, -offset_.y);
    return clip;
}

void CDrawContext::resetClipRect() { state_.clip = device_.getSurfaceRect(); }

void CDrawContext::saveGlobalState() {
    if (font_) font_->remember();
    stack_.push_back({state_, font_, offset_});
}

void CDrawContext::restoreGlobalState() {
    if (stack_.empty()) return;
    Saved s = stack_.back();
    stack_.pop_back();
    state_ = s.state;
    offset_ = s.offset;
    holdFont(s.font);
    if (s.font) s.font->forget();
}

void CDrawContext::setFont(const CFontDesc* font, CCoord size, int32 style) {
    if (!font) return;
    if ((size > 0 && size != font->getSize()) || (style >= 0 && style != font->getStyle())) {
        auto* copy = new CFontDesc(*font);
        if (size > 0) copy->setSize(size);
        if (style >= 0) copy->setStyle(style);
        holdFont(copy);
        copy->forget();
    } else {
        holdFont(const_cast<CFontDesc*>(font));
    }
}

void CDrawContext::lineTo(const CPoint& p) {
    drawLine(pen_, p);
    pen_ = p;
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    device_.drawLine(state_, toSurface(from), toSurface(to));
}

void CDrawContext::drawPolygon(const std::vector<CPoint>& points, CDrawStyle style) {
    std::vector<CPoint> p;
    p.reserve(points.size());
    for (const CPoint& q : points) p.push_back(toSurface(q));
    device_.drawPolygon(state_, p.data(), p.size(), true, style);
}

void CDrawContext::drawLines(const std::vector<CPoint>& points) {
    std::vector<CPoint> p;
    p.reserve(points.size());
    for (const CPoint& q : points) p.push_back(toSurface(q));
    device_.drawPolygon(state_, p.data(), p.size(), false, kDrawStroked);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) { device_.drawRect(state_, toSurface(rect), style); }

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    device_.drawEllipse(state_, toSurface(rect), style);
}

void CDrawContext::drawRoundRect(const CRect& rect, CCoord radius, CDrawStyle style) {
    device_.drawRoundRect(state_, toSurface(rect), radius, style);
}

void CDrawContext::fillRoundRectGradient(const CRect& rect, CCoord radius, const std::vector<CGradientStop>& stops) {
    device_.fillRoundRectGradient(state_, toSurface(rect), radius, stops.data(), stops.size());
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha) {
    if (!bitmap || !bitmap->getPlatformBitmap()) return;
    device_.drawBitmap(state_, *bitmap->getPlatformBitmap(), toSurface(dest), offset, alpha);
}

void CDrawContext::drawString(const std::string& text, const CPoint& point, bool antialias) {
    IPlatformFont* f = font_ ? font_->getPlatformFont() : nullptr;
    if (!f || text.empty()) return;
    device_.drawString(state_, *f, text, toSurface(point), antialias);
}

void CDrawContext::drawString(const std::string& text, const CRect& rect, CHoriTxtAlign align, bool antialias) {
    IPlatformFont* f = font_ ? font_->getPlatformFont() : nullptr;
    if (!f || text.empty()) return;
    const CCoord cap = f->getCapHeight();
    CCoord y;
    if (cap > 0)
        y = rect.bottom - (rect.getHeight() / 2 - cap / 2);
    else
        y = rect.bottom - (rect.getHeight() / 2 - font_->getSize() / 2) - 1;
    CCoord x = rect.left;
    if (align != kLeftText) {
        const CCoord w = f->getStringWidth(text);
        x = align == kRightText ? rect.right - w : rect.left + rect.getWidth() / 2 - w / 2;
    }
    device_.drawString(state_, *f, text, toSurface(CPoint(x, y)), antialias);
}

CCoord CDrawContext::getStringWidth(const std::string& text) const {
    IPlatformFont* f = font_ ? font_->getPlatformFont() : nullptr;
    return f ? f->getStringWidth(text) : 0;
}

} // namespace kelo::gui
