#pragma once
// Rotary knobs. The frame's knob mode decides how a drag turns them: circular (the value
// follows the pointer's angle; relative circular behaves the same) or linear (up and right
// increase it over the knob range, 200 px by default; Shift zooms by the zoom factor; Alt
// swaps the two modes). A press alone never changes the value; Ctrl+click resets to the default.
#include "toolkit/CControl.h"

namespace kelo::gui {

class CKnob : public CControl {
public:
    CKnob(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = CPoint(0, 0), int32 drawStyle = 0);
    ~CKnob() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    // The drag ends where it is (the edit bracket closes).
    CMouseEventResult onMouseCancel() override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    using CControl::onWheel;
    int32 onKeyDown(VstKeyCode& key) override;

    // The value for a point relative to the view's top-left, and the handle point for the value.
    virtual float valueFromPoint(const CPoint& point) const;
    virtual void valueToPoint(CPoint& point) const;

    void setStartAngle(float a);
    float getStartAngle() const { return startAngle_; }
    void setRangeAngle(float a);
    float getRangeAngle() const { return rangeAngle_; }
    void setZoomFactor(float f) { zoomFactor_ = f; }
    float getZoomFactor() const { return zoomFactor_; }
    // Pixels of linear drag for the full range; values <= 0 are ignored.
    virtual void setKnobRange(float range) {
        if (range > 0) knobRange_ = range;
    }
    float getKnobRange() const { return knobRange_; }
    void setInsetValue(CCoord inset) { inset_ = inset; }
    CCoord getInsetValue() const { return inset_; }
    void setHandleBitmap(CBitmap* handle);
    void setColorHandle(const CColor& c) { colorHandle_ = c; }
    void setColorShadowHandle(const CColor& c) { colorShadowHandle_ = c; }
    void setHandleLineWidth(CCoord w) { handleLineWidth_ = w; }

    void setMin(float v) override;
    void setMax(float v) override;
    void setViewSize(const CRect& rect, bool invalid = true) override;

protected:
    virtual void drawHandle(CDrawContext* context);

    CBitmap* handle_ = nullptr;
    CPoint offset_;
    int32 drawStyle_;
    float startAngle_;
    float rangeAngle_;
    float zoomFactor_ = 1.5f;
    float knobRange_ = 200.0f;
    CCoord inset_;
    CColor colorHandle_ = kWhiteCColor;
    CColor colorShadowHandle_ = kGreyCColor;
    CCoord handleLineWidth_ = 1;

    // Drag state.
    CPoint firstPoint_;
    CPoint lastPoint_;
    float startValue_ = 0;
    float entryState_ = 0;
    float range_ = 0;
    float coef_ = 0;
    CButtonState oldButton_;
    bool modeLinear_ = false;
};

// A knob drawn from a film strip: frame floor(value × (frames − 1)), read from x = 0.
class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));
    // subPixmaps is recomputed from the bitmap whenever there is one.
    CAnimKnob(const CRect& size, IControlListener* listener, int32 tag, int32 subPixmaps, CCoord heightOfOneImage,
              CBitmap* background, const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    void setBackground(CBitmap* background) override;
    void setHeightOfOneImage(CCoord height);
    CCoord getHeightOfOneImage() const { return heightOfOneImage_; }
    void setNumSubPixmaps(int32 n) { subPixmaps_ = n; }
    int32 getNumSubPixmaps() const { return subPixmaps_; }
    void setInverseBitmap(bool inverse) { inverseBitmap_ = inverse; }
    bool getInverseBitmap() const { return inverseBitmap_; }
    // Source y of the frame the current value shows.
    CCoord frameOffset() const;

protected:
    int32 subPixmaps_ = 0;
    CCoord heightOfOneImage_ = 0;
    bool inverseBitmap_ = false;
};

} // namespace kelo::gui
