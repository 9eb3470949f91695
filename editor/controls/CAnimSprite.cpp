#include "editor/controls/CAnimSprite.h"

#include <cfloat>
#include <cmath>

#include "editor/controls/Stepping.h"
#include "platform/Platform.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

CAnimSprite::CAnimSprite(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* strip,
                         const CPoint& offset)
    : CControl(size, listener, tag, strip), offset_(offset), step_(static_cast<int32_t>(size.getHeight())),
      span_(strip ? static_cast<int32_t>(strip->getHeight()) : 0) {
    // The value is a pixel position in the strip, not a 0..1 parameter.
    setMax(FLT_MAX);
    setMouseEnabled(false);
}

void CAnimSprite::draw(CDrawContext* context) {
    setDirty(false);
    if (!shown_) return;
    if (background_)
        background_->draw(context, size_, CPoint(offset_.x, offset_.y + controls_detail::pixelPosition(value_)));
    drawn_ = true;
    blink_ = !blink_;
}

void CAnimSprite::moveBy(int32_t dx, int32_t dy) {
    CRect r = size_;
    r.offset(dx, dy);
    setViewSize(r);
    setMouseableArea(r);
}

void CAnimSprite::moveTo(int32_t x, int32_t y) { moveBy(x - getX(), y - getY()); }

int32_t CAnimSprite::getX() const { return static_cast<int32_t>(std::floor(size_.left)); }

int32_t CAnimSprite::getY() const { return static_cast<int32_t>(std::floor(size_.top)); }

void CAnimSprite::show() {
    shown_ = true;
    setDirty();
}

void CAnimSprite::hide() {
    shown_ = false;
    setDirty();
}

void CAnimSprite::nextFrame() {
    value_ = controls_detail::nextFramePosition(value_, step_, span_);
    setDirty();
}

void CAnimSprite::previousFrame() {
    value_ = controls_detail::previousFramePosition(value_, step_, span_);
    setDirty();
}

void CAnimSprite::startAnimation(uint32_t periodMs, int32_t dx, int32_t dy, bool stepFrames, int32_t stopLeft) {
    period_ = periodMs == 0 ? 1 : periodMs;
    dx_ = dx;
    dy_ = dy;
    stepFrames_ = stepFrames;
    stopLeft_ = stopLeft;
    lastStep_ = platform::tickCount();
    animating_ = true;
    setWantsIdle(true);
}

void CAnimSprite::stopAnimation() {
    animating_ = false;
    setWantsIdle(false);
}

void CAnimSprite::onIdle() {
    if (!animating_) return;
    const uint32_t now = platform::tickCount();
    // Unsigned difference: the 32-bit tick count may wrap.
    if (uint32_t(now - lastStep_) < period_) return;
    lastStep_ = now;
    if (stepFrames_) nextFrame();
    if (dx_ != 0 || dy_ != 0) moveBy(dx_, dy_);
    if (dx_ < 0 && getX() <= stopLeft_) {
        stopAnimation();
        hide();
    }
}

} // namespace kelo
