#pragma once
// "kelo-skin render": a skin's panel as the editor shows it when it opens, drawn offscreen by
// the editor itself on a plug-in instance of its own, written as a PNG.
#include <string>

namespace kelo {

// 0 on success; 2 when the skin cannot be loaded (no file, or no BACKGROUND picture), 3 when
// the picture cannot be written. `error` says what went wrong.
int renderSkin(const std::string& skinPath, const std::string& pngPath, std::string& error);

} // namespace kelo
