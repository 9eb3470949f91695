#pragma once
// A parsed skin: for each control of the panel, the rectangle where it sits and the bitmap that
// draws it, plus the few settings a skin file carries.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editor/SkinStore.h"
#include "editor/SkinTags.h"

namespace kelo {

struct SkinRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool operator==(const SkinRect&) const = default;
};

struct SkinElement {
    int32_t tag = 0;
    std::string instanceName; // empty in the short form
    std::string bitmapFile;   // relative to the skin's folder
    int16_t x = 0;            // offset in force included
    int16_t y = 0;
    int16_t width = 0;        // as written: may be zero or negative
    int16_t height = 0;
    int32_t state = 0;
    int32_t link = -1;
    std::array<int32_t, 3> extra{};
    int32_t bitmapIndex = -1; // into SkinDefinition::bitmaps; -1 when its bitmap did not load
    // Where the element line was, for a skin author's reports.
    std::string sourceFile;
    int32_t sourceLine = 0;
};

struct SkinBitmap {
    std::string file;
    SkinImage image;
};

// What skin files set besides their elements. A load starts from the settings the last file
// left (only the name, offset and cross-fade are reset), so a skin may leave them out.
struct SkinSettings {
    std::string name = "Default";
    std::array<uint8_t, 4> transparentColor{255, 255, 0, 255};
    std::array<uint8_t, 3> cableTint{0, 0, 0};
    std::array<std::array<float, 3>, 256> ledColors{};
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    int32_t cableType = 0;
    int32_t crossFade = 0;
    int32_t version = 1;
};

class SkinDefinition {
public:
    static constexpr std::size_t kMaxElements = 1024;
    static constexpr std::size_t kMaxText = 255; // names, file names and quoted texts

    SkinSettings settings;
    std::vector<SkinElement> elements; // file order, at most kMaxElements
    std::vector<SkinBitmap> bitmaps;   // one per distinct file name that loaded

    // The first element with `tag` in file order, or nullptr.
    const SkinElement* element(int32_t tag) const;
    // That element's rectangle with left <= right and top <= bottom; all zeros without one.
    SkinRect rect(int32_t tag) const;
    // That element's image, or nullptr when there is no element or its bitmap did not load.
    const SkinImage* bitmap(int32_t tag) const;
    // How many whole images of the element's height its bitmap holds: 0 when there is no
    // bitmap or the element has no width or height, so no control can be made from it.
    int32_t frameCount(int32_t tag) const;
};

SkinRect elementRect(const SkinElement& e);

} // namespace kelo
