#pragma once
// The bundled family at one size and style on GDI+. Sizes are pixels (UnitPixel); the cap height
// comes from the outline of "H", as on the cairo backend.
//
// A font keeps GDI+ running only while it measures: its GDI+ objects are made on demand and
// dropped whenever GDI+ stops (see GdiplusSession), so fonts cached in statics hold nothing of
// GDI+ when the module unloads.
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/platform/IPlatformFont.h"
#include "toolkit/win32/GdiplusSession.h"

namespace kelo::gui::win32 {

// UTF-8 as UTF-16 for GDI+; bytes that are not UTF-8 become U+FFFD.
std::wstring toWide(std::string_view utf8);

class GdiplusFont final : public IPlatformFont, public GdiplusSession::Dependent {
public:
    // Null when GDI+ or the bundled fonts are unavailable, or size is not positive.
    static std::unique_ptr<GdiplusFont> create(CCoord size, int32 style);
    ~GdiplusFont() override;

    CCoord getAscent() const override { return ascent_; }
    CCoord getDescent() const override { return descent_; }
    CCoord getCapHeight() const override { return capHeight_; }
    CCoord getStringWidth(std::string_view utf8) const override;

    // The GDI+ objects; the caller holds a session. False when they cannot be made.
    bool ensure(const GdiplusSession& session) const;
    Gdiplus::Font& font() const { return *font_; }
    // Typographic layout: no padding around the text, trailing spaces measured, no wrapping.
    const Gdiplus::StringFormat& format() const { return *format_; }

    void gdiplusStopping() override;

private:
    GdiplusFont(CCoord size, int32 style) : size_(size), style_(style) {}

    CCoord size_;
    int32 style_;
    mutable std::unique_ptr<Gdiplus::Font> font_;
    mutable std::unique_ptr<Gdiplus::StringFormat> format_;
    // A 1 × 1 surface to measure text on.
    mutable std::unique_ptr<Gdiplus::Bitmap> measureImage_;
    mutable std::unique_ptr<Gdiplus::Graphics> measure_;
    CCoord ascent_ = 0;
    CCoord descent_ = 0;
    CCoord capHeight_ = 0;
};

} // namespace kelo::gui::win32
