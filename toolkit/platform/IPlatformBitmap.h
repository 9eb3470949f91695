#pragma once
// A decoded image as the drawing backend holds it.
//
// Pixels cross this interface as 32-bit words 0xAARRGGBB with the colour premultiplied by
// alpha, rows top to bottom without padding: the native layout of cairo's ARGB32 and GDI+'s
// PARGB, so neither backend converts and an opaque blit is a plain copy on both.
#include <cstdint>

namespace kelo::gui {

class IPlatformBitmap {
public:
    virtual ~IPlatformBitmap() = default;
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
};

} // namespace kelo::gui
