#pragma once
// The editor's own preferences, kept in "Gui.ini" in the data folder.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelo {

inline constexpr const char* kDefaultSkinName = "RededazadEdadar2";
inline constexpr std::size_t kSkinNameMax = 255;

struct EditorSettings {
    std::string skin = kDefaultSkinName; // skin file name without folder or ".skn"; "" = the default skin
    int32_t skinShowDialog = 1;
    int32_t clearConfirm = 0;
    int32_t auditionNotes = 1;
    int32_t knobMode = 2;
    float knobSensitivity = 300.0f; // pixels of linear drag for a knob's whole range, 1..5000
    int32_t functionButton1 = -1;   // pattern-menu item bound to the button, -1 = none
    int32_t functionButton2 = -1;
    int32_t useKeyboard = 0;        // read, never written
    int32_t programmingMode = 0;    // read, never written; the engine's own setting is the one in force
};

} // namespace kelo
