#pragma once
// Which control the editor makes from each skin tag and how that control's bitmap is laid out,
// and a skin author's check of a loaded skin against it.
#include <array>
#include <cstdint>
#include <string>

#include "editor/SkinDefinition.h"
#include "editor/SkinLoader.h"

namespace kelo {

enum class SkinControlKind : uint8_t {
    None,         // parsed, but no control reads it
    Background,   // the panel: one image of the element's size
    Knob,         // film strip of at least 2 images, value 0 at the top
    OnOffSwitch,  // 2 images: off, on
    KickButton,   // 2 images: released, pressed
    IlluButton,   // 4 images: unlit up, unlit down, lit up, lit down
    Led,          // film strip of at least 2 images: off first
    Rocker,       // 3 images: pressed toward the minimum, at rest, pressed toward the maximum
    DigitStrip,   // 10 images: the digits 0 to 9
    DigitDisplay, // the mouse area of a digit display; its bitmap is not drawn
    TextDisplay,  // backdrop of the pattern-file name
    LearnLabel,   // backdrop of the MIDI learn labels
    Sprite,       // film strip of the skin's own animation
    About,        // the area that opens the about box
};

SkinControlKind skinControlKind(int32_t tag);
const char* skinControlKindName(SkinControlKind kind);

// How a kind's bitmap is cut into images: none, exactly `images`, or at least `images`; the
// images are stacked vertically, each as high as the element, and as wide as it.
struct SkinFrameRule {
    enum class Count { Any, Exactly, AtLeast };
    Count count = Count::Any;
    int32_t images = 0;
};
SkinFrameRule skinFrameRule(SkinControlKind kind);

// The digit elements of a digit display (PATTERNDIGITS, TEMPODIGITS, STEPSDIGITS, STEPDISPLAY),
// highest digit first; `count` is 0 for any other tag.
struct SkinDigitLayout {
    int32_t count = 0;
    std::array<int32_t, 3> digitTags{};
};
SkinDigitLayout skinDigitLayout(int32_t displayTag);

// The editor's panels are laid over the skin's panel and need at least this much room.
inline constexpr int32_t kSkinMinWidth = 708;
inline constexpr int32_t kSkinMinHeight = 362;

// Adds to `report` what would keep the editor from building a control the skin defines, or show
// it wrongly: no BACKGROUND, elements without size or outside the panel, elements without a
// bitmap, bitmaps that do not fit the control's image layout, digit displays without their
// digits. Repeated tags and controls that overlap (one of them misses clicks) are warnings.
void checkSkinLayout(const SkinDefinition& def, const std::string& skinFile, SkinDiagnostics& report);

} // namespace kelo
