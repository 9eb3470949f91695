#include "PngDump.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO_UNUSED
#include <stb_image_write.h>

#include <fstream>
#include <iterator>

#include "toolkit/StbImage.h"

namespace kelo::gui::test {

bool writePng(const std::string& path, const uint32_t* pixels, int width, int height) {
    std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        const uint32_t p = pixels[i];
        const uint32_t a = p >> 24;
        auto un = [a](uint32_t c) { return a ? static_cast<unsigned char>((c * 255 + a / 2) / a) : 0; };
        rgba[i * 4 + 0] = un((p >> 16) & 0xff);
        rgba[i * 4 + 1] = un((p >> 8) & 0xff);
        rgba[i * 4 + 2] = un(p & 0xff);
        rgba[i * 4 + 3] = static_cast<unsigned char>(a);
    }
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

bool readPng(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int w = 0, h = 0;
    unsigned char* data = stb::decodeRgba(bytes.data(), bytes.size(), w, h);
    if (!data) return false;
    image.width = w;
    image.height = h;
    image.pixels.resize(size_t(w) * size_t(h));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const unsigned char* p = data + i * 4;
        const uint32_t a = p[3];
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        image.pixels[i] = (a << 24) | (mul(p[0]) << 16) | (mul(p[1]) << 8) | mul(p[2]);
    }
    stb::release(data);
    return true;
}

} // namespace kelo::gui::test
