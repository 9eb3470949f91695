#pragma once
// Premultiplied 0xAARRGGBB pixels (an offscreen context's) to and from PNG files, so renders of
// the same scene by different backends, and screenshots, can be compared.
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::gui::test {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // premultiplied 0xAARRGGBB
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

bool writePng(const std::string& path, const uint32_t* pixels, int width, int height);
// Any PNG; false when unreadable.
bool readPng(const std::string& path, Image& image);

inline uint8_t red(uint32_t p) { return uint8_t(p >> 16); }
inline uint8_t green(uint32_t p) { return uint8_t(p >> 8); }
inline uint8_t blue(uint32_t p) { return uint8_t(p); }
inline uint8_t alpha(uint32_t p) { return uint8_t(p >> 24); }

} // namespace kelo::gui::test
