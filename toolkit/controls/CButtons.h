#pragma once
// Buttons: momentary (kick), toggle (on/off), check box and a text button drawn with a gradient.
#include <memory>
#include <string>

#include "toolkit/CControl.h"
#include "toolkit/CFontDesc.h"

namespace kelo::gui {

// Shows the lower image while pressed; reports max then min on release inside (one report,
// min, when released outside).
class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                const CPoint& offset = CPoint(0, 0));
    CKickButton(const CRect& size, IControlListener* listener, int32 tag, CCoord heightOfOneImage, CBitmap* background,
                const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;

    void setHeightOfOneImage(CCoord h) { heightOfOneImage_ = h; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage_; }

protected:
    // Edges count as inside (unlike pointInside).
    bool insideInclusive(const CPoint& p) const {
        return p.x >= size_.left && p.y >= size_.top && p.x <= size_.right && p.y <= size_.bottom;
    }

    CPoint offset_;
    CCoord heightOfOneImage_;
    float entryState_ = 0;
};

// Toggles on release inside; the upper half of the bitmap is "off", the lower "on".
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background, int32 style = 0);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    int32 onKeyDown(VstKeyCode& key) override;

protected:
    int32 style_;
};

// A box with a title; drawn with lines when there is no bitmap.
class CCheckBox : public CControl {
public:
    enum Style : int32 { kAutoSizeToFit = 1 << 0, kDrawCrossBox = 1 << 1 };

    CCheckBox(const CRect& size, IControlListener* listener = nullptr, int32 tag = -1, const char* title = nullptr,
              CBitmap* bitmap = nullptr, int32 style = 0);
    ~CCheckBox() override;

    void draw(CDrawContext* context) override;
    bool sizeToFit() override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    int32 onKeyDown(VstKeyCode& key) override;

    void setTitle(const char* title);
    const std::string& getTitle() const { return title_; }
    void setFont(CFontDesc* font);
    CFontDesc* getFont() const { return font_; }
    void setFontColor(const CColor& c) { fontColor_ = c; setDirty(); }
    void setBoxFillColor(const CColor& c) { boxFillColor_ = c; setDirty(); }
    void setBoxFrameColor(const CColor& c) { boxFrameColor_ = c; setDirty(); }
    void setCheckMarkColor(const CColor& c) { checkMarkColor_ = c; setDirty(); }
    void setStyle(int32 style);
    int32 getStyle() const { return style_; }
    void setBackground(CBitmap* background) override;

    // The box (no bitmap) for the current font: side floor(capHeight + 2.5), left + 1, centred.
    CRect boxRect() const;

protected:
    std::string title_;
    int32 style_;
    CFontDesc* font_;
    CColor fontColor_ = kWhiteCColor;
    CColor boxFillColor_ = kWhiteCColor;
    CColor boxFrameColor_ = kBlackCColor;
    CColor checkMarkColor_ = kRedCColor;
    float previousValue_ = 0;
    bool hilight_ = false;
};

// A rounded button with a vertical gradient and a centred title.
class CTextButton : public CControl {
public:
    enum Style : int32 { kKickStyle = 0, kOnOffStyle };

    CTextButton(const CRect& size, IControlListener* listener = nullptr, int32 tag = -1, const char* title = nullptr,
                Style style = kKickStyle);
    ~CTextButton() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;

    void setTitle(const char* title);
    const std::string& getTitle() const { return title_; }
    void setFont(CFontDesc* font);
    void setTextColor(const CColor& c) { textColor_ = c; invalid(); }
    void setTextColorHighlighted(const CColor& c) { textColorHighlighted_ = c; invalid(); }
    void setGradientColors(const CColor& start, const CColor& end);
    void setGradientColorsHighlighted(const CColor& start, const CColor& end);
    void setFrameColor(const CColor& c) { frameColor_ = c; invalid(); }
    void setFrameColorHighlighted(const CColor& c) { frameColorHighlighted_ = c; invalid(); }
    void setFrameWidth(CCoord w) { frameWidth_ = w; invalid(); }
    void setRoundRadius(CCoord r) { roundRadius_ = r; invalid(); }
    void setTextMargin(CCoord m) { textMargin_ = m; invalid(); }
    void setTextAlignment(CHoriTxtAlign a) { align_ = a; invalid(); }
    Style getStyle() const { return style_; }

protected:
    bool insideInclusive(const CPoint& p) const {
        return p.x >= size_.left && p.y >= size_.top && p.x <= size_.right && p.y <= size_.bottom;
    }

    std::string title_;
    Style style_;
    CFontDesc* font_;
    CColor textColor_ = kBlackCColor;
    CColor textColorHighlighted_ = kWhiteCColor;
    CColor gradientStart_ = MakeCColor(220, 220, 220, 255);
    CColor gradientStartHighlighted_ = MakeCColor(180, 180, 180, 255);
    CColor gradientEnd_ = MakeCColor(180, 180, 180, 255);
    CColor gradientEndHighlighted_ = MakeCColor(100, 100, 100, 255);
    CColor frameColor_ = kBlackCColor;
    CColor frameColorHighlighted_ = kBlackCColor;
    CCoord frameWidth_ = 1;
    CCoord roundRadius_ = 6;
    CCoord textMargin_ = 0;
    CHoriTxtAlign align_ = kCenterText;
    float entryState_ = 0;
};

} // namespace kelo::gui
