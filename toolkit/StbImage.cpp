#include "toolkit/StbImage.h"

#include <climits>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS (1 << 16)
// GCC sees the decoder's lazily filled context through inlining and warns about it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace kelo::gui::stb {

bool info(const void* data, size_t size, int& width, int& height) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return false;
    int comp = 0;
    return stbi_info_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &width, &height, &comp) != 0;
}

unsigned char* decodeRgba(const void* data, size_t size, int& width, int& height) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return nullptr;
    int comp = 0;
    return stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &width, &height, &comp, 4);
}

void release(unsigned char* pixels) { stbi_image_free(pixels); }

} // namespace kelo::gui::stb
