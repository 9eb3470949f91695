#pragma once
// Text on cairo through pango, with a private fontconfig configuration that holds only the
// bundled fonts: whatever family a view asks for, the result is the same on every machine.
#include <pango/pangocairo.h>

#include <memory>
#include <string_view>

#include "toolkit/platform/IPlatformFont.h"

namespace kelo::gui::cairo {

class CairoFont final : public IPlatformFont {
public:
    // Null when the bundled fonts could not be set up.
    static std::unique_ptr<CairoFont> create(CCoord size, int32 style);
    ~CairoFont() override;

    CCoord getAscent() const override { return ascent_; }
    CCoord getDescent() const override { return descent_; }
    CCoord getCapHeight() const override { return capHeight_; }
    CCoord getStringWidth(std::string_view utf8) const override;

    // A layout holding `utf8`, for smoothed or aliased glyphs (owned by the font).
    PangoLayout* layout(std::string_view utf8, bool antialias) const;

private:
    explicit CairoFont(PangoFontDescription* description);

    PangoFontDescription* description_;
    mutable PangoLayout* layouts_[2] = {nullptr, nullptr};
    CCoord ascent_ = 0;
    CCoord descent_ = 0;
    CCoord capHeight_ = 0;
};

} // namespace kelo::gui::cairo
