#pragma once
// Panels that are not drawn from skin images (preferences, analyzer): a constant table of rows,
// one control per row, created, styled and placed by buildPanel.
#include <cstdint>

#include "toolkit/CControl.h"
#include "toolkit/CViewContainer.h"

namespace kelo {

// Element types of a row. Types outside 0..16 are skipped.
enum PanelElementType : int32_t {
    kPanelCheckBox = 0,     // a check box titled with the label; nothing without a label
    kPanelHSlider = 1,      // reserved: labelled sliders (no slider control; nothing is built)
    kPanelVSlider = 2,
    kPanelRadioButton = 3,  // a check box with the radio image, when the module has one
    kPanelTextButton = 4,
    kPanelLine = 5,         // "horizontalline.png" stretched over the row
    kPanelLabel = 6,
    kPanelCloseButton = 7,  // sized by "closebutton.png", the row's size unused
    kPanelTextEdit = 8,
    kPanelTitle = 9,
    kPanelHeading = 10,
    kPanelValueLabel = 11,
    kPanelSmallKnob = 12,   // "trimknob.png", one image per row height
    kPanelKnobCaption = 13,
    kPanelSpinBox = 14,
    kPanelSpacer = 15,      // a gap: nothing is built
    kPanelCheckBoxAlt = 16, // as 0
};

struct PanelElement {
    int32_t type;
    int32_t tag;       // reported to the listener; also the index in the controls array
    const char* label; // may be null or empty
    int32_t x;
    int32_t y;
    int32_t width;     // negative: the rectangle extends to the left
    int32_t height;    // negative: the rectangle extends upward
};

// (x + min(0, w), y + min(0, h)) to (x + max(0, w), y + max(0, h)).
gui::CRect panelRowRect(const PanelElement& row);

// For each row in order: creates its control, adds it to `container`, gives it `listener` and
// stores it at controls[tag] (a later row with the same tag replaces the entry). A row whose
// tag is outside 0..controlCount-1 still gets its control, just not an entry. The bitmaps come
// from the module's resources. Answers how many controls were created.
int32_t buildPanel(gui::CViewContainer* container, gui::IControlListener* listener, gui::CControl** controls,
                   int32_t controlCount, const PanelElement* table, int32_t rowCount);

} // namespace kelo
