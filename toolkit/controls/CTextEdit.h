#pragma once
// A one-line text field edited inside the editor window. A click starts editing (it takes the
// keyboard from the host only then); Return keeps the text, Escape restores it, a click
// anywhere or losing the focus keeps it. Only a changed text is reported (begin, valueChanged,
// end); typing reports nothing.
#include <string>

#include "toolkit/controls/CParamDisplay.h"

namespace kelo::gui {

class CTextEdit : public CTextLabel {
public:
    CTextEdit(const CRect& size, IControlListener* listener, int32 tag, const char* text = nullptr,
              CBitmap* background = nullptr, int32 style = 0);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;
    void takeFocus() override;
    void looseFocus() override;
    // Also rewrites the text (precision format or the value-to-string function).
    void setValue(float value) override;

    bool isEditingText() const { return editing_; }
    const std::string& getEditText() const { return editText_; }
    size_t getCursor() const { return cursor_; }

private:
    bool editing_ = false;
    bool restore_ = false;
    std::string editText_;
    size_t cursor_ = 0; // byte offset, on a character boundary
};

} // namespace kelo::gui
