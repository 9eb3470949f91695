#pragma once
// The font files built into the toolkit (toolkit/fonts: DejaVu Sans and DejaVu Sans Bold,
// Bitstream Vera licence). Backends load them privately, so text never depends on the fonts
// a user happens to have.
#include <cstddef>

namespace kelo::gui {

struct FontFile {
    const unsigned char* data;
    size_t size;
    const char* family; // "DejaVu Sans"
    bool bold;
};

FontFile bundledFont(bool bold);

} // namespace kelo::gui
