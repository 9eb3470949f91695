#pragma once
// PNG and BMP decoding (stb_image), kept behind two calls so its configuration lives in one file.
#include <cstddef>

namespace kelo::gui::stb {

// Reads the header only: false when the data is no image the decoder knows.
bool info(const void* data, size_t size, int& width, int& height);
// RGBA, 8 bits per channel, rows top to bottom; null when the data is corrupt or truncated.
// Free with release().
unsigned char* decodeRgba(const void* data, size_t size, int& width, int& height);
void release(unsigned char* pixels);

} // namespace kelo::gui::stb
