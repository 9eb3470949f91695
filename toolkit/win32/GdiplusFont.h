#pragma once
// The bundled family at one size and style on GDI+. Sizes are pixels (UnitPixel), metrics come
// from the family's design units so they match the cairo backend's for the same files.
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/platform/IPlatformFont.h"
#include "toolkit/win32/GdiplusSession.h"

namespace kelo::gui::win32 {

// UTF-8 as UTF-16 for GDI+; bytes that are not UTF-8 become U+FFFD.
std::wstring toWide(std::string_view utf8);

class GdiplusFont final : public IPlatformFont {
public:
    // Null when GDI+ or the bundled fonts are unavailable, or size is not positive.
    static std::unique_ptr<GdiplusFont> create(CCoord size, int32 style);

    CCoord getAscent() const override { return ascent_; }
    CCoord getDescent() const override { return descent_; }
    CCoord getCapHeight() const override { return capHeight_; }
    CCoord getStringWidth(std::string_view utf8) const override;

    Gdiplus::Font& font() const { return *font_; }
    // Typographic layout: no padding around the text, trailing spaces measured, no wrapping.
    const Gdiplus::StringFormat& format() const { return *format_; }

private:
    GdiplusFont() = default;

    GdiplusSession session_;
    std::unique_ptr<Gdiplus::Font> font_;
    std::unique_ptr<Gdiplus::StringFormat> format_;
    // A 1 × 1 surface to measure text on.
    std::unique_ptr<Gdiplus::Bitmap> measureImage_;
    std::unique_ptr<Gdiplus::Graphics> measure_;
    CCoord ascent_ = 0;
    CCoord descent_ = 0;
    CCoord capHeight_ = 0;
};

} // namespace kelo::gui::win32
