#include "editor/controls/CFloatingDisplay.h"

#include <algorithm>
#include <cfloat>

#include "editor/controls/Stepping.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

namespace {
constexpr int32_t kPixelsPerChar = 6;
constexpr int32_t kMinWidth = 40;
constexpr int32_t kHeight = 13;
constexpr int32_t kLineHeight = 12;
const std::string kNoText;
} // namespace

CFloatingDisplay::CFloatingDisplay(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* backdrop,
                                   const CPoint& backdropOffset)
    : CControl(size, listener, tag, backdrop), backdropOffset_(backdropOffset) {
    // The value is a pixel position in the backdrop strip, not a 0..1 parameter.
    setMax(FLT_MAX);
    setMouseEnabled(false);
}

CFloatingDisplay::~CFloatingDisplay() {
    if (overlay_) overlay_->forget();
}

bool CFloatingDisplay::fitToText() {
    size_t longest = 0;
    for (int32_t i = 0; i < lineCount_; ++i) longest = std::max(longest, lines_[size_t(i)].size());
    const int32_t width = std::max(kMinWidth, static_cast<int32_t>(longest) * kPixelsPerChar);
    if (!hasFit_ || !(size_ == fitted_)) anchor_ = CPoint(size_.left, size_.top);
    const CCoord left = anchor_.x - width / 2;
    fitted_ = CRect(left, anchor_.y, left + width, anchor_.y + kHeight);
    hasFit_ = true;
    setViewSize(fitted_);
    setMouseableArea(fitted_);
    invalid();
    return true;
}

void CFloatingDisplay::show() {
    shown_ = true;
    setDirty();
}

void CFloatingDisplay::hide() {
    shown_ = false;
    setDirty();
}

void CFloatingDisplay::nextFrame() { value_ = controls_detail::nextFramePosition(value_, step_, span_); }

void CFloatingDisplay::previousFrame() { value_ = controls_detail::previousFramePosition(value_, step_, span_); }

void CFloatingDisplay::setLine(int32_t index, std::string_view text) {
    if (index < 0 || index >= kMaxLines) return;
    std::string t(text.substr(0, kMaxTextLength));
    if (t == lines_[size_t(index)]) return;
    lines_[size_t(index)] = std::move(t);
    if (index < lineCount_) setDirty();
}

const std::string& CFloatingDisplay::getLine(int32_t index) const {
    return index >= 0 && index < kMaxLines ? lines_[size_t(index)] : kNoText;
}

void CFloatingDisplay::setLineCount(int32_t count) {
    lineCount_ = std::clamp(count, 0, kMaxLines);
    setDirty();
}

void CFloatingDisplay::setHighlight(bool state) {
    if (state == highlight_) return;
    highlight_ = state;
    setDirty();
}

void CFloatingDisplay::setBackdropOpacity(int32_t opacity) {
    backdropOpacity_ = std::clamp(opacity, 0, 255);
    setDirty();
}

void CFloatingDisplay::setOverlay(CBitmap* overlay) {
    if (overlay) overlay->remember();
    if (overlay_) overlay_->forget();
    overlay_ = overlay;
    setDirty();
}

void CFloatingDisplay::draw(CDrawContext* context) {
    if (shown_) {
        if (background_) {
            const CRect r(size_.getTopLeft(), CPoint(background_->getWidth(), background_->getHeight()));
            background_->draw(context, r,
                              CPoint(backdropOffset_.x, backdropOffset_.y + controls_detail::pixelPosition(value_)),
                              float(backdropOpacity_) / 255.0f);
        }
        if (overlay_) overlay_->draw(context, CRect(size_.getTopLeft(), CPoint(overlay_->getWidth(), overlay_->getHeight())));
        drawn_ = true;
        context->setFont(kNormalFontSmaller);
        context->setFontColor(kWhiteCColor);
        context->setFrameColor(highlight_ ? kRedCColor : kWhiteCColor);
        context->setLineWidth(1);
        context->setDrawMode(kAliasing);
        context->drawRect(size_, kDrawStroked);
        for (int32_t i = 0; i < lineCount_; ++i) {
            const std::string& text = lines_[size_t(i)];
            const CRect band(size_.left, size_.top + kLineHeight * i, size_.right, size_.top + kLineHeight * (i + 1));
            context->drawString(text, band, kCenterText, true);
            lastTextWidth_ = static_cast<int32_t>(context->getStringWidth(text));
        }
    }
    setDirty(false);
}

} // namespace kelo
