#pragma once
// What the editor takes from the module itself: the copy of the default skin built into the
// plug-in file (the last fallback when the data folder has none), and skin pictures turned
// into the toolkit's bitmaps.
#include <string>
#include <string_view>

#include "editor/SkinStore.h"

namespace kelo {
namespace gui {
class CBitmap;
}

// The built-in files, named as the skin names them ("RededazadEdadar2.skn",
// "RededazadEdadar2/knob50.png"); empty when the module carries none.
const SkinStore& builtInSkinStore();
// The module resource name of a built-in skin file: folders joined by '_', in capitals.
std::string builtInSkinResourceName(const std::string& file);

// A skin picture as a toolkit bitmap (an invalid image when it does not decode).
SkinImage decodeSkinImage(const std::string& name, std::string_view bytes);
// The bitmap inside an image made by decodeSkinImage; null for any other.
gui::CBitmap* skinBitmap(const SkinImage* image);

} // namespace kelo
