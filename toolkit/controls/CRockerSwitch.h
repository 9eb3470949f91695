#pragma once
// A three-state momentary switch, -1 / 0 / +1: a press reports the half it is in at once, the
// release returns to 0 without a report. Images top to bottom: min, rest, max.
#include <memory>

#include "toolkit/CControl.h"

namespace kelo::gui {

class IPlatformTimer;

class CRockerSwitch : public CControl {
public:
    static constexpr uint32_t kWheelReturnMs = 200;

    CRockerSwitch(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                  const CPoint& offset = CPoint(0, 0), int32 style = kHorizontal);
    CRockerSwitch(const CRect& size, IControlListener* listener, int32 tag, CCoord heightOfOneImage,
                  CBitmap* background, const CPoint& offset = CPoint(0, 0), int32 style = kHorizontal);
    ~CRockerSwitch() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    // A notch up is min, down is max; the switch returns to rest 200 ms later.
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    using CControl::onWheel;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;

    float middle() const { return (getMax() - getMin()) / 2 + getMin(); }
    int32 getStyle() const { return style_; }

protected:
    void returnToRest();

    CPoint offset_;
    CCoord heightOfOneImage_;
    int32 style_;
    float entryState_ = 0;
    std::unique_ptr<IPlatformTimer> resetTimer_;
};

} // namespace kelo::gui
