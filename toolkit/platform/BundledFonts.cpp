#include "toolkit/platform/BundledFonts.h"

namespace kelo::embedded {
extern const unsigned char dejavuSans[];
extern const size_t dejavuSans_size;
extern const unsigned char dejavuSansBold[];
extern const size_t dejavuSansBold_size;
} // namespace kelo::embedded

namespace kelo::gui {

FontFile bundledFont(bool bold) {
    using namespace kelo::embedded;
    return bold ? FontFile{dejavuSansBold, dejavuSansBold_size, "DejaVu Sans", true}
                : FontFile{dejavuSans, dejavuSans_size, "DejaVu Sans", false};
}

} // namespace kelo::gui
