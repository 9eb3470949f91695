#pragma once
// A movable picture showing one frame of a vertical film strip: the editor shows, hides, moves
// and steps it, or lets it run by itself (startAnimation), timed by the platform clock. The
// value is the frame's position in pixels within the strip. A new sprite is hidden; sprites
// take no mouse input.
#include <cstdint>
#include <limits>

#include "toolkit/CControl.h"

namespace kelo {

class CAnimSprite : public gui::CControl {
public:
    // The frame step starts as the view's height and the span as the strip's height.
    CAnimSprite(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, gui::CBitmap* strip,
                const gui::CPoint& offset = gui::CPoint(0, 0));

    void draw(gui::CDrawContext* context) override;
    void onIdle() override;

    // Shift / place the view by whole pixels (its size kept).
    virtual void moveBy(int32_t dx, int32_t dy);
    virtual void moveTo(int32_t x, int32_t y);
    virtual int32_t getX() const;
    virtual int32_t getY() const;
    virtual void show();
    virtual void hide();
    bool isShown() const { return shown_; }
    // +step, back to 0 past span - step; -step, to span - step - 1 below 0.
    virtual void nextFrame();
    virtual void previousFrame();

    void setStep(int32_t pixels) { step_ = pixels; }
    void setSpan(int32_t pixels) { span_ = pixels; }
    int32_t getStep() const { return step_; }
    int32_t getSpan() const { return span_; }
    bool wasDrawn() const { return drawn_; }
    bool getBlinkPhase() const { return blink_; }

    // Every `periodMs` (measured on the idle calls): the next frame when stepFrames, then a
    // move by (dx, dy). A sprite that moves left to x <= stopLeft stops and hides.
    void startAnimation(uint32_t periodMs, int32_t dx, int32_t dy, bool stepFrames,
                        int32_t stopLeft = std::numeric_limits<int32_t>::min());
    void stopAnimation();
    bool isAnimating() const { return animating_; }

private:
    gui::CPoint offset_;
    int32_t step_;
    int32_t span_;
    bool shown_ = false;
    bool drawn_ = false;
    bool blink_ = false;
    // Animation.
    bool animating_ = false;
    bool stepFrames_ = false;
    uint32_t period_ = 0;
    uint32_t lastStep_ = 0;
    int32_t dx_ = 0;
    int32_t dy_ = 0;
    int32_t stopLeft_ = 0;
};

} // namespace kelo
