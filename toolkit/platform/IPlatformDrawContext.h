#pragma once
// The primitives a drawing backend provides. CDrawContext keeps the drawing state and the
// coordinate offset of the view being drawn; a backend receives surface coordinates and the
// complete state with every call, so it keeps nothing between calls that could go stale.
//
// Coordinates name pixel corners: pixel (x, y) covers [x, x+1) × [y, y+1).
// - Fills cover exactly the pixels whose centres lie inside the shape; a filled rectangle
//   (l, t, r, b) with integer edges is the pixels l..r-1 × t..b-1.
// - A stroked rectangle lies inside its bounds (the path is the rectangle inset by half the
//   line width).
// - Lines of odd integer width are centred on pixel centres (+0.5), so an aliased 1-px line
//   from (x0, y) to (x1, y) lights row y.
// - Everything is clipped to state.clip (surface coordinates), and to the surface.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "toolkit/Types.h"

namespace kelo::gui {

class IPlatformBitmap;
class IPlatformFont;

enum class LineCap : int32 { kButt = 0, kRound, kSquare };
enum class LineJoin : int32 { kMiter = 0, kRound, kBevel };

struct CDrawState {
    CColor frameColor = kWhiteCColor;
    CColor fillColor = kBlackCColor;
    CColor fontColor = kWhiteCColor;
    CCoord lineWidth = 1;
    CLineStyle lineStyle = kLineSolid;
    LineCap lineCap = LineCap::kButt;
    LineJoin lineJoin = LineJoin::kMiter;
    CDrawMode drawMode = kAliasing;
    float globalAlpha = 1.0f; // multiplies every colour's and bitmap's alpha
    CRect clip;               // surface coordinates
};

struct CGradientStop {
    double position; // 0 at the top of the gradient's rectangle, 1 at its bottom
    CColor color;
};

class IPlatformDrawContext {
public:
    virtual ~IPlatformDrawContext() = default;

    // The whole drawable area, in surface coordinates (its origin is 0, 0).
    virtual CRect getSurfaceRect() const = 0;

    virtual void drawLine(const CDrawState& s, const CPoint& from, const CPoint& to) = 0;
    // Open polyline (closed = false, always stroked) or polygon.
    virtual void drawPolygon(const CDrawState& s, const CPoint* points, size_t count, bool closed,
                             CDrawStyle style) = 0;
    virtual void drawRect(const CDrawState& s, const CRect& r, CDrawStyle style) = 0;
    virtual void drawEllipse(const CDrawState& s, const CRect& r, CDrawStyle style) = 0;
    // Rectangle with quarter-circle corners of the given radius; the path runs along r itself.
    virtual void drawRoundRect(const CDrawState& s, const CRect& r, CCoord radius, CDrawStyle style) = 0;
    // Fills a rounded rectangle with a vertical linear gradient running from r.top to r.bottom.
    virtual void fillRoundRectGradient(const CDrawState& s, const CRect& r, CCoord radius, const CGradientStop* stops,
                                       size_t count) = 0;

    // Bitmap pixel (offset.x + i, offset.y + j) lands on (dest.left + i, dest.top + j) for every
    // pixel of dest; parts of dest outside the image stay untouched. Blended with the image's own
    // alpha × alpha × state.globalAlpha. dest is whole pixels.
    virtual void drawBitmap(const CDrawState& s, IPlatformBitmap& bitmap, const CRect& dest, const CPoint& offset,
                            float alpha) = 0;

    // UTF-8 text in state.fontColor with its baseline-left at `baseline`.
    virtual void drawString(const CDrawState& s, IPlatformFont& font, std::string_view utf8, const CPoint& baseline,
                            bool antialias) = 0;
};

// A drawing surface in memory: the offscreen frame's back buffer, tests, tools and benchmarks.
class IPlatformOffscreenContext : public IPlatformDrawContext {
public:
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // Premultiplied 0xAARRGGBB, rows top to bottom, width × height words.
    virtual const uint32_t* getPixels() = 0;
    virtual void clear(const CColor& color) = 0;
};

} // namespace kelo::gui
