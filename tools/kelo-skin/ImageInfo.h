#pragma once
// The size of a picture from its header, without decoding it.
#include <cstdint>
#include <string_view>
#include <vector>

namespace kelo {

// True, with the size, for a picture stb_image can read (PNG, JPEG, BMP, ...).
bool imageInfo(std::string_view bytes, int& width, int& height);
// The picture decoded to 8-bit RGBA rows, top first; false when it cannot be read.
bool decodeImage(std::string_view bytes, int& width, int& height, std::vector<uint8_t>& rgba);

} // namespace kelo
