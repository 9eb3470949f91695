#pragma once
// GDI+ drawing into a 32-bit premultiplied DIB section: the offscreen context, and the back
// buffer the child window presents with BitBlt (so a window and an offscreen render of the same
// views are the same pixels). The Gdiplus::Bitmap wraps the DIB's own memory, so the pixels are
// read and presented without a copy.
#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/platform/IPlatformBitmap.h"
#include "toolkit/platform/IPlatformDrawContext.h"
#include "toolkit/win32/GdiplusSession.h"

namespace kelo::gui::win32 {

// Decoded premultiplied pixels (the portable loader's output) as a GDI+ PARGB bitmap.
class GdiplusBitmap final : public IPlatformBitmap {
public:
    static std::unique_ptr<GdiplusBitmap> create(const uint32_t* pixels, int width, int height);
    int getWidth() const override { return width_; }
    int getHeight() const override { return height_; }
    Gdiplus::Bitmap& image() { return *image_; }
    // Every pixel has alpha 255: drawn at full alpha it is a plain copy.
    bool opaque() const { return opaque_; }

private:
    GdiplusBitmap(int w, int h) : width_(w), height_(h) {}

    GdiplusSession session_;
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
    std::unique_ptr<Gdiplus::Bitmap> image_;
    bool opaque_ = false;
};

class GdiplusContext final : public IPlatformOffscreenContext {
public:
    // Null when GDI+ is unavailable or the size cannot be allocated.
    static std::unique_ptr<GdiplusContext> create(int width, int height);
    ~GdiplusContext() override;

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

    // A memory DC with the surface selected, for BitBlt; what GDI+ drew is in it after flush().
    HDC memoryDC() const { return dc_; }
    void flush();

private:
    GdiplusContext(int w, int h) : width_(w), height_(h) {}
    // Resets the graphics to the call's clip and smoothing. Shapes are given in pixel-corner
    // coordinates and drawn in GDI+'s pixel-centre space, hence the half-pixel translation;
    // blits and text keep the identity (an exact 1:1 copy needs untransformed rectangles).
    bool begin(const CDrawState& s, bool shapes);
    void strokeAndFill(const CDrawState& s, Gdiplus::GraphicsPath& fillPath, Gdiplus::GraphicsPath* strokePath,
                       CDrawStyle style);

    GdiplusSession session_;
    int width_;
    int height_;
    HBITMAP dib_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HDC dc_ = nullptr;
    uint32_t* bits_ = nullptr;
    std::unique_ptr<Gdiplus::Bitmap> image_;
    std::unique_ptr<Gdiplus::Graphics> graphics_;
};

} // namespace kelo::gui::win32
