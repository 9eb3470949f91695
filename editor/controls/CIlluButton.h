#pragma once
// A momentary key with a light: the panel's step, transport and function keys. Pressing it
// reports like a kick button; independently the editor switches the light, which either
// switches at once or fades (the editor calls stepFade from its idle).
//
// The bitmap holds four images of imageHeight pixels, stacked from the offset: unlit released,
// unlit pressed, lit released, lit pressed.
//
// A press reports the maximum, leaving the key reports the minimum, coming back the maximum
// (each only when the value changes), and the release reports the minimum. The key's command
// belongs to the release alone, and only when it happened inside: releasedInside() tells, so a
// drag out and back in still runs the command once, and a drag out and release runs it never.
#include "toolkit/controls/CButtons.h"

namespace kelo {

class CIlluButton : public gui::CKickButton {
public:
    static constexpr float kDefaultFadeFactor = 0.75f;

    CIlluButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, gui::CCoord imageHeight,
                gui::CBitmap* bitmap, const gui::CPoint& offset = gui::CPoint(0, 0));

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseCancel() override;
    int32_t onKeyDown(VstKeyCode& key) override;
    int32_t onKeyUp(VstKeyCode& key) override;

    // The light's target. Switching it on while it is on jumps the level to 1 at once.
    virtual void setLit(bool state);
    virtual bool isLit() const { return lit_; }
    // Current brightness 0..1 (used while fading).
    virtual void setLightLevel(float level);
    virtual float getLightLevel() const { return level_; }
    virtual void setFading(bool state);
    virtual bool isFading() const { return fading_; }
    // One fade step: the level covers the fade factor of its remaining distance to the target;
    // the key asks for a redraw while it is more than 0.01 away.
    virtual void stepFade();
    void setFadeFactor(float factor);
    float getFadeFactor() const { return fadeFactor_; }

    // True from a release inside the key (mouse, or Return on the focused key) until the next
    // press: the moment the key's command runs.
    bool releasedInside() const { return releasedInside_; }
    float getValueAtPress() const { return valueAtPress_; }

private:
    float valueAtPress_ = 0.0f;
    float level_ = 0.0f;
    float fadeFactor_ = kDefaultFadeFactor;
    bool lit_ = false;
    bool fading_ = false;
    bool releasedInside_ = false;
};

} // namespace kelo
