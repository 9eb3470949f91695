#include "editor/SkinDefinition.h"

#include <cstdlib>

namespace kelo {

SkinRect elementRect(const SkinElement& e) {
    const int32_t x0 = e.x;
    const int32_t y0 = e.y;
    const int32_t x1 = x0 + e.width;
    const int32_t y1 = y0 + e.height;
    return {x0 < x1 ? x0 : x1, y0 < y1 ? y0 : y1, x0 < x1 ? x1 : x0, y0 < y1 ? y1 : y0};
}

const SkinElement* SkinDefinition::element(int32_t tag) const {
    for (const SkinElement& e : elements)
        if (e.tag == tag) return &e;
    return nullptr;
}

SkinRect SkinDefinition::rect(int32_t tag) const {
    const SkinElement* e = element(tag);
    return e ? elementRect(*e) : SkinRect{};
}

const SkinImage* SkinDefinition::bitmap(int32_t tag) const {
    const SkinElement* e = element(tag);
    if (!e || e->bitmapIndex < 0 || std::size_t(e->bitmapIndex) >= bitmaps.size()) return nullptr;
    return &bitmaps[std::size_t(e->bitmapIndex)].image;
}

int32_t SkinDefinition::frameCount(int32_t tag) const {
    const SkinImage* image = bitmap(tag);
    const SkinElement* e = element(tag);
    if (!image || e->width == 0 || e->height == 0) return 0;
    return image->height / std::abs(int32_t(e->height));
}

} // namespace kelo
