#pragma once
// The drawing state and primitives views draw with. Coordinates are those of the view being
// drawn (its parent's); containers shift the context's offset for their children. At the start
// of every paint the state is: white frame colour, black fill, white font colour, solid 1-px
// lines, aliased, system font, clip = the update area, global alpha 1.
#include <string>
#include <vector>

#include "toolkit/CFontDesc.h"
#include "toolkit/Types.h"
#include "toolkit/platform/IPlatformDrawContext.h"

namespace kelo::gui {

class CBitmap;

class CDrawContext {
public:
    explicit CDrawContext(IPlatformDrawContext& device);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    // Back to the start-of-paint state (the clip becomes the whole surface).
    void init();

    void setFrameColor(const CColor& c) { state_.frameColor = c; }
    const CColor& getFrameColor() const { return state_.frameColor; }
    void setFillColor(const CColor& c) { state_.fillColor = c; }
    const CColor& getFillColor() const { return state_.fillColor; }
    void setFontColor(const CColor& c) { state_.fontColor = c; }
    const CColor& getFontColor() const { return state_.fontColor; }
    void setLineWidth(CCoord width) { state_.lineWidth = width; }
    CCoord getLineWidth() const { return state_.lineWidth; }
    void setLineStyle(CLineStyle style) { state_.lineStyle = style; }
    CLineStyle getLineStyle() const { return state_.lineStyle; }
    void setLineCap(LineCap cap) { state_.lineCap = cap; }
    void setLineJoin(LineJoin join) { state_.lineJoin = join; }
    void setDrawMode(CDrawMode mode) { state_.drawMode = mode; }
    CDrawMode getDrawMode() const { return state_.drawMode; }
    void setGlobalAlpha(float alpha) { state_.globalAlpha = alpha; }
    float getGlobalAlpha() const { return state_.globalAlpha; }

    // Clip rectangle in current coordinates; never larger than the surface.
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const;
    void resetClipRect();

    // Shift of current coordinates against the surface (containers move it for children).
    void setOffset(const CPoint& offset) { offset_ = offset; }
    const CPoint& getOffset() const { return offset_; }

    void saveGlobalState();
    void restoreGlobalState();

    // A copy of the font with another size/style when size > 0 or style >= 0.
    void setFont(const CFontDesc* font, CCoord size = 0, int32 style = -1);
    const CFontDesc* getFont() const { return font_; }

    void moveTo(const CPoint& p) { pen_ = p; }
    void lineTo(const CPoint& p);
    void drawLine(const CPoint& from, const CPoint& to);
    void drawPolygon(const std::vector<CPoint>& points, CDrawStyle style = kDrawStroked);
    void drawLines(const std::vector<CPoint>& points); // open polyline
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawRoundRect(const CRect& rect, CCoord radius, CDrawStyle style = kDrawStroked);
    // Vertical gradient from rect.top to rect.bottom through the given stops.
    void fillRoundRectGradient(const CRect& rect, CCoord radius, const std::vector<CGradientStop>& stops);
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(0, 0), float alpha = 1.0f);

    // Text with its baseline-left at `point`.
    void drawString(const std::string& text, const CPoint& point, bool antialias = true);
    // Text placed in `rect` by the alignment; the baseline sits at rect.bottom minus
    // (height/2 - capHeight/2). No clipping here.
    void drawString(const std::string& text, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    CCoord getStringWidth(const std::string& text) const;

    IPlatformDrawContext& device() { return device_; }

private:
    CPoint toSurface(const CPoint& p) const { return {p.x + offset_.x, p.y + offset_.y}; }
    CRect toSurface(CRect r) const { return r.offset(offset_.x, offset_.y); }

    void holdFont(CFontDesc* font); // remembered; forgets the previous one

    struct Saved {
        CDrawState state;
        CFontDesc* font; // remembered
        CPoint offset;
    };

    IPlatformDrawContext& device_;
    CDrawState state_;
    CFontDesc* font_ = nullptr; // remembered
    CPoint offset_;
    CPoint pen_;
    std::vector<Saved> stack_;
};

} // namespace kelo::gui
