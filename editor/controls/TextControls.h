#pragma once
// The small standard-looking controls of the panels (preferences, analyzer) and the editor's
// text display.
#include <string>
#include <string_view>

#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CTextEdit.h"

namespace kelo {

// A text button that lightens while the pointer is over it.
class MyTextButton : public gui::CTextButton {
public:
    static constexpr gui::CColor kGradientTop{50, 50, 50, 255};
    static constexpr gui::CColor kGradientBottom{37, 37, 37, 255};
    static constexpr gui::CColor kHoverTop{55, 55, 55, 255};
    static constexpr gui::CColor kHoverBottom{40, 40, 40, 255};

    MyTextButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, const char* title);

    gui::CMouseEventResult onMouseEntered(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseExited(gui::CPoint& where, const gui::CButtonState& buttons) override;

    const gui::CColor& gradientTop() const { return gradientStart_; }
    const gui::CColor& gradientBottom() const { return gradientEnd_; }
};

// A value box drawn as its background image with a text: "NN %" of the value until a caller
// sets its own text. Dragged like a knob, always linearly (a circular drag makes no sense on a
// flat box).
class CMySpinBox : public gui::CKnob {
public:
    static constexpr size_t kMaxTextLength = 255;

    CMySpinBox(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, gui::CBitmap* background,
               const gui::CPoint& offset = gui::CPoint(0, 0));

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;

    // Shows this text from now on instead of the percentage (cut at 255 bytes).
    void setText(std::string_view text);
    // The text the box shows for its current value.
    std::string getText() const;
    bool showsPercent() const { return percent_; }
    void setTextColor(const gui::CColor& color);

private:
    std::string text_ = "50 %";
    gui::CColor textColor_ = gui::kWhiteCColor;
    bool percent_ = true;
};

// The editor's text display (the name of the last pattern file). Read-only unless made
// editable: it takes neither focus nor the keyboard from the host.
class CTextDisplay : public gui::CTextEdit {
public:
    CTextDisplay(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, const char* text = nullptr,
                 gui::CBitmap* background = nullptr, int32_t style = 0);
    ~CTextDisplay() override;

    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    void setEditable(bool state);
    bool isEditable() const { return editable_; }

private:
    bool editable_ = false;
};

} // namespace kelo
