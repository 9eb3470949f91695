#include "tools/kelo-skin/ImageInfo.h"

#include <limits>

// Third-party code: compiled here on its own, with its warnings off (see CMakeLists.txt).
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

namespace kelo {

bool imageInfo(std::string_view bytes, int& width, int& height) {
    if (bytes.empty() || bytes.size() > std::size_t(std::numeric_limits<int>::max())) return false;
    int channels = 0;
    return stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &width, &height,
                                 &channels) != 0;
}

bool decodeImage(std::string_view bytes, int& width, int& height, std::vector<uint8_t>& rgba) {
    if (bytes.empty() || bytes.size() > std::size_t(std::numeric_limits<int>::max())) return false;
    int channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &width,
                                            &height, &channels, 4);
    if (!pixels) return false;
    rgba.assign(pixels, pixels + std::size_t(width) * std::size_t(height) * 4);
    stbi_image_free(pixels);
    return true;
}

} // namespace kelo
