#pragma once
// cairo drawing into an image surface: the offscreen context, and the back buffer the X11
// window presents from (so a window and an offscreen render of the same views are identical).
#include <cairo.h>

#include <memory>

#include "toolkit/platform/IPlatformBitmap.h"
#include "toolkit/platform/IPlatformDrawContext.h"

namespace kelo::gui::cairo {

class CairoBitmap final : public IPlatformBitmap {
public:
    static std::unique_ptr<CairoBitmap> create(const uint32_t* pixels, int width, int height);
    ~CairoBitmap() override;
    int getWidth() const override { return width_; }
    int getHeight() const override { return height_; }
    cairo_surface_t* surface() const { return surface_; }

private:
    CairoBitmap(cairo_surface_t* s, int w, int h) : surface_(s), width_(w), height_(h) {}
    cairo_surface_t* surface_;
    int width_;
    int height_;
};

class CairoImageContext final : public IPlatformOffscreenContext {
public:
    static std::unique_ptr<CairoImageContext> create(int width, int height);
    ~CairoImageContext() override;

    CRect getSurfaceRect() const override { return CRect(0, 0, width_, height_); }
    void drawLine(const CDrawState& s, const CPoint& from, const CPoint& to) override;
    void drawPolygon(const CDrawState& s, const CPoint* points, size_t count, bool closed, CDrawStyle style) override;
    void drawRect(const CDrawState& s, const CRect& r, CDrawStyle style) override;
    void drawEllipse(const CDrawState& s, const CRect& r, CDrawStyle style) override;
    void drawRoundRect(const CDrawState& s, const CRect& r, CCoord radius, CDrawStyle style) override;
    void fillRoundRectGradient(const CDrawState& s, const CRect& r, CCoord radius, const CGradientStop* stops,
                               size_t count) override;
    void drawBitmap(const CDrawState& s, IPlatformBitmap& bitmap, const CRect& dest, const CPoint& offset,
                    float alpha) override;
    void drawString(const CDrawState& s, IPlatformFont& font, std::string_view utf8, const CPoint& baseline,
                    bool antialias) override;

    int getWidth() const override { return width_; }
    int getHeight() const override { return height_; }
    const uint32_t* getPixels() override;
    void clear(const CColor& color) override;
    // Row stride in bytes.
    int stride() const { return cairo_image_surface_get_stride(surface_); }

private:
    CairoImageContext(cairo_surface_t* s, int w, int h);
    // Saves the cairo state and applies clip and antialiasing; end() restores.
    void begin(const CDrawState& s);
    void end() { cairo_restore(cr_); }
    void source(const CColor& c, float globalAlpha);
    void strokeStyle(const CDrawState& s);
    // Fill and/or stroke the current path as the style says.
    void finishPath(const CDrawState& s, CDrawStyle style);
    void roundRectPath(const CRect& r, CCoord radius);

    cairo_surface_t* surface_;
    cairo_t* cr_;
    int width_;
    int height_;
};

} // namespace kelo::gui::cairo
