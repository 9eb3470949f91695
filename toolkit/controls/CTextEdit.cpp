#include "toolkit/controls/CTextEdit.h"

#include "toolkit/CDrawContext.h"
#include <cmath>

#include "toolkit/CFrame.h"

namespace kelo::gui {

namespace {

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

size_t previousBoundary(const std::string& s, size_t at) {
    if (at == 0) return 0;
    size_t i = at - 1;
    while (i > 0 && continuation(s[i])) --i;
    return i;
}

size_t nextBoundary(const std::string& s, size_t at) {
    if (at >= s.size()) return s.size();
    size_t i = at + 1;
    while (i < s.size() && continuation(s[i])) ++i;
    return i;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

} // namespace

CTextEdit::CTextEdit(const CRect& size, IControlListener* listener, int32 tag, const char* text, CBitmap* background,
                     int32 style)
    : CTextLabel(size, text, background, style) {
    listener_ = listener;
    tag_ = tag;
    // Editing starts from our own mouse-down (double click with kDoubleClickStyle), not from
    // every press that makes a view the focus.
    setWantsFocus(false);
}

void CTextEdit::setValue(float value) {
    CControl::setValue(value);
    setText(formatValue().c_str());
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    CFrame* frame = getFrame();
    if (!frame) return kMouseEventNotHandled;
    if (frame->getFocusView() == this) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if ((style_ & kDoubleClickStyle) && !(buttons & kDoubleClick)) return kMouseEventNotHandled;
    frame->setFocusView(this);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus() {
    if (editing_) return;
    editing_ = true;
    restore_ = false;
    editText_ = text_;
    cursor_ = editText_.size();
    if (CFrame* f = getFrame()) f->setTextInputFocus(true);
    invalid();
}

void CTextEdit::looseFocus() {
    if (!editing_) return;
    editing_ = false;
    if (CFrame* f = getFrame()) f->setTextInputFocus(false);
    const std::string result = restore_ ? text_ : editText_;
    if (result != text_) {
        remember(); // a listener may remove this view
        beginEdit();
        setText(result.c_str());
        valueChanged();
        endEdit();
        forget();
    }
    for (CView* p = getParentView(); p; p = p->getParentView()) p->notify(this, kMsgLooseFocus);
    invalid();
}

int32 CTextEdit::onKeyDown(VstKeyCode& key) {
    if (!editing_) return -1;
    CFrame* frame = getFrame();
    switch (key.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER:
        if (frame) frame->setFocusView(nullptr);
        return 1;
    case VKEY_ESCAPE:
        restore_ = true;
        if (frame) frame->setFocusView(nullptr);
        return 1;
    case VKEY_TAB: return -1; // the frame moves the focus (and so ends the edit)
    case VKEY_BACK:
        if (cursor_ > 0) {
            const size_t from = previousBoundary(editText_, cursor_);
            editText_.erase(from, cursor_ - from);
            cursor_ = from;
        }
        break;
    case VKEY_DELETE:
        if (cursor_ < editText_.size()) editText_.erase(cursor_, nextBoundary(editText_, cursor_) - cursor_);
        break;
    case VKEY_LEFT: cursor_ = previousBoundary(editText_, cursor_); break;
    case VKEY_RIGHT: cursor_ = nextBoundary(editText_, cursor_); break;
    case VKEY_HOME: cursor_ = 0; break;
    case VKEY_END: cursor_ = editText_.size(); break;
    default:
        if (key.character >= 0x20 && key.character != 0x7f && key.character <= 0x10ffff &&
            !(key.modifier & (MODIFIER_CONTROL | MODIFIER_COMMAND))) {
            std::string ch;
            appendUtf8(ch, static_cast<uint32_t>(key.character));
            editText_.insert(cursor_, ch);
            cursor_ += ch.size();
        }
        break;
    }
    invalid();
    // While editing, keys belong to the field.
    return 1;
}

int32 CTextEdit::onKeyUp(VstKeyCode&) { return editing_ ? 1 : -1; }

void CTextEdit::draw(CDrawContext* context) {
    drawBack(context);
    if (!editing_) {
        drawText(context, text_);
        setDirty(false);
        return;
    }
    drawText(context, editText_);
    // The caret, where drawString placed the text.
    context->setFont(font_);
    const CRect r = textRect();
    const CCoord full = context->getStringWidth(editText_);
    CCoord x = r.left;
    if (horiAlign_ == kRightText)
        x = r.right - full;
    else if (horiAlign_ == kCenterText)
        x = r.left + r.getWidth() / 2 - full / 2;
    x += context->getStringWidth(editText_.substr(0, cursor_));
    x = std::floor(x);
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = r;
    clip.bound(oldClip);
    context->setClipRect(clip);
    context->setDrawMode(kAliasing);
    context->setLineWidth(1);
    context->setFrameColor(fontColor_);
    context->drawLine(CPoint(x, r.top + 2), CPoint(x, r.bottom - 2));
    context->setClipRect(oldClip);
    setDirty(false);
}

} // namespace kelo::gui
