#pragma once
// The panel's rotary control: one frame of a vertical film strip chosen by the value, an
// optional pointer line over it, the user's drag sensitivity and, for knobs that ask for it,
// snapping to a fixed number of steps while Shift is held in a linear drag.
//
// Drag modes come from the frame's knob mode (circular, relative circular = circular, linear;
// Alt swaps circular and linear). Shift is the fine adjust: the drag range times the zoom factor
// for as long as it is held. Mouse-up, wheel, keys and Ctrl+click (back to the default value)
// are the toolkit knob's.
#include "toolkit/controls/CKnob.h"

namespace kelo {

class CMyAnimKnob : public gui::CKnob {
public:
    // frameCount images of frameHeight pixels each, stacked from the top of `strip`.
    CMyAnimKnob(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, int32_t frameCount,
                int32_t frameHeight, gui::CBitmap* strip, const gui::CPoint& offset = gui::CPoint(0, 0));

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) override;
    void setValue(float value) override;

    // Pixels of linear drag for the whole value range (the knob sensitivity); anything not a
    // positive finite number is ignored. The toolkit's own range setter lands here too.
    virtual void setDragRange(float pixels);
    float getDragRange() const { return knobRange_; }
    void setKnobRange(float range) override { setDragRange(range); }

    virtual void setSnapEnabled(bool state);
    virtual bool isSnapEnabled() const { return snap_; }
    // Number of snap steps over the value range; not a positive finite number: ignored.
    virtual void setSnapSteps(float steps);
    float getSnapSteps() const { return snapSteps_; }

    // ---- look (the editor sets these when it builds the knob) ----
    // Show the frame for 1 - value.
    void setInverse(bool state);
    bool isInverse() const { return inverse_; }
    void setPointer(bool state);
    bool hasPointer() const { return pointer_; }
    void setPointerColor(const gui::CColor& color);
    // Pointer angles in degrees at value 0 and 1 (counter-clockwise from three o'clock).
    void setPointerAngles(float startDegrees, float endDegrees);
    void setPointerWidth(float width);
    // The pointer runs from `inner` to `outer` pixels from the view's centre.
    void setPointerRadii(float inner, float outer);

    int32_t getFrameCount() const { return frameCount_; }
    int32_t getFrameHeight() const { return frameHeight_; }
    // Source y in the strip of the frame the current value shows (0 when the value is
    // negative or the strip has no whole frame).
    int32_t frameOffset() const;

private:
    int32_t frameCount_;
    int32_t frameHeight_;
    bool inverse_ = false;
    bool snap_ = false;
    bool pointer_ = false;
    float snapSteps_ = 24.0f;
    gui::CColor pointerColor_ = gui::kWhiteCColor;
    float startAngle_ = -140.0f;
    float endAngle_ = 140.0f;
    float pointerWidth_ = 2.0f;
    float innerRadius_ = 5.0f;
    float outerRadius_ = 10.0f;
};

} // namespace kelo
