#pragma once
// A whole number shown as a row of digit images, each from its own strip of the ten digits
// 0..9 (0 at the top); dragging up or turning the wheel increases it.
//
// Digit rectangles are in the parent's coordinates and may lie outside the control's own
// rectangle: the view grows to cover them (so they are drawn and repainted), while presses are
// taken only in the control's own rectangle.
#include <array>

#include "toolkit/CControl.h"

namespace kelo {

class CScrollMultipleDigits : public gui::CControl {
public:
    static constexpr int32_t kMaxDigits = 7;

    // digitCount is held to 1..7; the value range starts as 0..10^digitCount - 1.
    CScrollMultipleDigits(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, int32_t digitCount,
                          float dragSensitivity = 0.25f);
    ~CScrollMultipleDigits() override;

    // Digit `index` (0 = leftmost): its rectangle (parent coordinates) and strip. False for an
    // index outside the digit count.
    bool setDigit(int32_t index, const gui::CRect& rect, gui::CBitmap* strip);
    int32_t getDigitCount() const { return digitCount_; }
    gui::CRect getDigitRect(int32_t index) const;
    // The digit (0..9) position `index` shows for the current value.
    int32_t shownDigit(int32_t index) const;

    // Value change per pixel of vertical drag (a tenth of it with Shift).
    void setDragSensitivity(float perPixel) { dragSensitivity_ = perPixel; }
    float getDragSensitivity() const { return dragSensitivity_; }

    // Bounded; dependents hear "kMessageValueChanged" only when the bounded value changed.
    void setValue(float value) override;
    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseCancel() override;
    // One notch: ten wheel increments, one with Shift.
    bool onWheel(const gui::CPoint& where, const float& distance, const gui::CButtonState& buttons) override;
    using gui::CControl::onWheel;

private:
    void coverDigits();

    struct Digit {
        gui::CRect rect;
        gui::CBitmap* strip = nullptr; // remembered
    };
    int32_t digitCount_;
    std::array<Digit, kMaxDigits> digits_{};
    gui::CRect ownRect_; // the control's own rectangle, without the digits
    float dragSensitivity_;
    float valueAtPress_ = 0.0f;
    gui::CPoint pressPoint_;
};

} // namespace kelo
