#pragma once
// Text views: a value display (formatted with a precision or a function), a label, and a
// minimal one-line text edit.
#include <functional>
#include <string>

#include "toolkit/CControl.h"
#include "toolkit/CFontDesc.h"

namespace kelo::gui {

class CParamDisplay : public CControl {
public:
    // Writes the text for a value; false falls back to the precision format.
    using ValueToString = std::function<bool(float value, std::string& text, CParamDisplay* display)>;

    explicit CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32 style = 0);
    ~CParamDisplay() override;

    void draw(CDrawContext* context) override;

    void setFont(CFontDesc* font);
    CFontDesc* getFont() const { return font_; }
    void setFontColor(const CColor& c);
    const CColor& getFontColor() const { return fontColor_; }
    void setBackColor(const CColor& c);
    const CColor& getBackColor() const { return backColor_; }
    void setFrameColor(const CColor& c);
    const CColor& getFrameColor() const { return frameColor_; }
    void setShadowColor(const CColor& c);
    void setHoriAlign(CHoriTxtAlign a);
    CHoriTxtAlign getHoriAlign() const { return horiAlign_; }
    void setStyle(int32 style);
    int32 getStyle() const { return style_; }
    void setTextInset(const CPoint& inset);
    void setRoundRectRadius(CCoord r);
    void setFrameWidth(CCoord w);
    void setAntialias(bool state);
    bool getAntialias() const { return antialias_; }
    void setPrecision(int32 precision);
    int32 getPrecision() const { return precision_; }
    void setValueToStringFunction(ValueToString f) { valueToString_ = std::move(f); }

    // The text the display shows for its value.
    std::string formatValue() const;

protected:
    void drawBack(CDrawContext* context, CBitmap* backgroundOverride = nullptr);
    void drawText(CDrawContext* context, const std::string& text);
    // Where the text is drawn (the view inset by the text inset).
    CRect textRect() const;

    CFontDesc* font_;
    CColor fontColor_ = kWhiteCColor;
    CColor backColor_ = kBlackCColor;
    CColor frameColor_ = kBlackCColor;
    CColor shadowColor_ = kRedCColor;
    CHoriTxtAlign horiAlign_ = kCenterText;
    int32 style_;
    int32 precision_ = 2;
    CPoint textInset_;
    CCoord roundRectRadius_ = 6;
    CCoord frameWidth_ = 1;
    bool antialias_ = true;
    ValueToString valueToString_;
};

class CTextLabel : public CParamDisplay {
public:
    explicit CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr, int32 style = 0);

    void draw(CDrawContext* context) override;
    // Marks the label for redrawing when the text differs; never reports to a listener.
    virtual void setText(const char* text);
    const std::string& getText() const { return text_; }

protected:
    std::string text_;
};

} // namespace kelo::gui
