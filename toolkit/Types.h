#pragma once
// The toolkit's value types and constants: coordinates, rectangles, colours, mouse-button and
// modifier bits, event results and the style enumerations. Plain data, no behaviour beyond the
// obvious arithmetic; every other toolkit header builds on this one.
#include <algorithm>
#include <cstdint>

#include "vst/VstAbi.h"

namespace kelo::gui {

using CCoord = double;
using int32 = int32_t;
using IdStringPtr = const char*;
using UTF8StringPtr = const char*;

struct CPoint {
    CCoord x = 0;
    CCoord y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(CCoord px, CCoord py) : x(px), y(py) {}

    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    constexpr bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    constexpr CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
    constexpr CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
};

struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    constexpr CCoord getWidth() const { return right - left; }
    constexpr CCoord getHeight() const { return bottom - top; }
    constexpr CCoord width() const { return right - left; }
    constexpr CCoord height() const { return bottom - top; }
    constexpr CPoint getTopLeft() const { return {left, top}; }
    constexpr CPoint getSize() const { return {right - left, bottom - top}; }
    constexpr CPoint getCenter() const { return {left + (right - left) / 2, top + (bottom - top) / 2}; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& setWidth(CCoord w) {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h) {
        bottom = top + h;
        return *this;
    }
    CRect& setTopLeft(const CPoint& p) {
        const CPoint s = getSize();
        left = p.x;
        top = p.y;
        right = p.x + s.x;
        bottom = p.y + s.y;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return setTopLeft({x, y}); }
    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& inset(CCoord dx, CCoord dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    CRect& extend(CCoord dx, CCoord dy) { return inset(-dx, -dy); }

    // Half open: the right and bottom edges are outside.
    constexpr bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr bool rectOverlap(const CRect& r) const {
        return r.right > left && r.left < right && r.bottom > top && r.top < bottom;
    }
    // Intersection in place; an empty result collapses to zero size.
    CRect& bound(const CRect& r) {
        left = std::max(left, r.left);
        top = std::max(top, r.top);
        right = std::min(right, r.right);
        bottom = std::min(bottom, r.bottom);
        if (right < left) right = left;
        if (bottom < top) bottom = top;
        return *this;
    }
    // Smallest rectangle holding both (an empty rectangle adds nothing).
    CRect& unite(const CRect& r) {
        if (r.isEmpty()) return *this;
        if (isEmpty()) return *this = r;
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        return *this;
    }
    constexpr bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct CColor {
    uint8_t red = 255;
    uint8_t green = 255;
    uint8_t blue = 255;
    uint8_t alpha = 255;

    constexpr CColor() = default;
    constexpr CColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) : red(r), green(g), blue(b), alpha(a) {}
    constexpr bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
};

constexpr CColor MakeCColor(uint8_t r = 0, uint8_t g = 0, uint8_t b = 0, uint8_t a = 255) { return {r, g, b, a}; }

inline constexpr CColor kTransparentCColor{255, 255, 255, 0};
inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kGreenCColor{0, 255, 0, 255};
inline constexpr CColor kBlueCColor{0, 0, 255, 255};
inline constexpr CColor kYellowCColor{255, 255, 0, 255};
inline constexpr CColor kMagentaCColor{255, 0, 255, 255};
inline constexpr CColor kCyanCColor{0, 255, 255, 255};

// Mouse buttons and modifier keys of one event.
enum CButton : int32 {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5, // Ctrl on Windows and Linux
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kButton4 = 1 << 8,
    kButton5 = 1 << 9,
    kDoubleClick = 1 << 10,
};

class CButtonState {
public:
    constexpr CButtonState(int32 state = 0) : state_(state) {}

    constexpr int32 getButtonState() const { return state_ & (kLButton | kRButton | kMButton | kButton4 | kButton5); }
    constexpr int32 getModifierState() const { return state_ & (kShift | kAlt | kControl | kApple); }
    // Exactly that button, not that button among others.
    constexpr bool isLeftButton() const { return getButtonState() == kLButton; }
    constexpr bool isRightButton() const { return getButtonState() == kRButton; }
    constexpr bool isDoubleClick() const { return (state_ & kDoubleClick) != 0; }
    constexpr int32 operator&(int32 mask) const { return state_ & mask; }
    constexpr operator int32() const { return state_; }
    constexpr bool operator==(const CButtonState& o) const { return state_ == o.state_; }

private:
    int32 state_;
};

enum CMouseEventResult : int32 {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

enum CMouseWheelAxis : int32 { kMouseWheelAxisX = 0, kMouseWheelAxisY };

enum CDrawStyle : int32 { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };
enum CDrawMode : int32 { kAliasing = 0, kAntiAliasing };
enum CHoriTxtAlign : int32 { kLeftText = 0, kCenterText, kRightText };
enum CLineStyle : int32 { kLineSolid = 0, kLineOnOffDash };
enum CKnobMode : int32 { kCircularMode = 0, kRelativCircularMode, kLinearMode };

// Style bits of controls.
enum CControlStyle : int32 {
    kHorizontal = 1 << 0,
    kVertical = 1 << 1,
    kShadowText = 1 << 2,
    kLeft = 1 << 3,
    kRight = 1 << 4,
    kTop = 1 << 5,
    kBottom = 1 << 6,
    k3DIn = 1 << 7,
    k3DOut = 1 << 8,
    kPopupStyle = 1 << 9,
    kCheckStyle = 1 << 10,
    kMultipleCheckStyle = kCheckStyle | 1,
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
    kDoubleClickStyle = 1 << 13,
    kNoFrame = 1 << 14,
    kRoundRectStyle = 1 << 15,
};

// Font style bits.
enum CTxtFace : int32 {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
    kUnderlineFace = 1 << 3,
    kStrikethroughFace = 1 << 4,
};

// Virtual keys and modifier bits of VstKeyCode (the host's key events and our own).
enum VirtualKey : unsigned char {
    VKEY_BACK = 1,
    VKEY_TAB,
    VKEY_CLEAR,
    VKEY_RETURN,
    VKEY_PAUSE,
    VKEY_ESCAPE,
    VKEY_SPACE,
    VKEY_NEXT,
    VKEY_END,
    VKEY_HOME,
    VKEY_LEFT,
    VKEY_UP,
    VKEY_RIGHT,
    VKEY_DOWN,
    VKEY_PAGEUP,
    VKEY_PAGEDOWN,
    VKEY_SELECT,
    VKEY_PRINT,
    VKEY_ENTER,
    VKEY_SNAPSHOT,
    VKEY_INSERT,
    VKEY_DELETE,
    VKEY_HELP,
};
enum VstModifierKey : unsigned char {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

// The host's key modifier bits as button-state modifiers.
constexpr int32 mapVstKeyModifier(unsigned char modifier) {
    int32 r = 0;
    if (modifier & MODIFIER_SHIFT) r |= kShift;
    if (modifier & MODIFIER_ALTERNATE) r |= kAlt;
    if (modifier & MODIFIER_COMMAND) r |= kApple;
    if (modifier & MODIFIER_CONTROL) r |= kControl;
    return r;
}

} // namespace kelo::gui
