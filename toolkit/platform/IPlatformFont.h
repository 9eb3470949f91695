#pragma once
// One font face at one size, as the drawing backend resolves it. Every backend maps every
// family name to the bundled family, so text never depends on the fonts a user happens to have.
#include <string_view>

#include "toolkit/Types.h"

namespace kelo::gui {

class IPlatformFont {
public:
    virtual ~IPlatformFont() = default;
    // Pixels above the baseline to the top of the tallest glyphs, and below it.
    virtual CCoord getAscent() const = 0;
    virtual CCoord getDescent() const = 0;
    // Height of capital letters above the baseline; 0 when the backend does not know it.
    virtual CCoord getCapHeight() const = 0;
    // Advance width of UTF-8 text in pixels.
    virtual CCoord getStringWidth(std::string_view utf8) const = 0;
};

} // namespace kelo::gui
