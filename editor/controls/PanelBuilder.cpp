#include "editor/controls/PanelBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "editor/controls/TextControls.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CParamDisplay.h"
#include "toolkit/controls/CTextEdit.h"

namespace kelo {

using namespace gui;

namespace {

// The pictures a build shares, loaded from the module on first use and released at its end
// (each control keeps its own reference).
class BuildResources {
public:
    enum Image { kSliderKnob, kHSliderBack, kVSliderBack, kCheckBox, kRadioButton, kTrimKnob, kHorizontalLine,
                 kSpinBox, kCloseButton, kImageCount };

    BuildResources() : font_(new CFontDesc("Verdana", 12)) {}
    ~BuildResources() {
        for (CBitmap* b : bitmaps_)
            if (b) b->forget();
        font_->forget();
    }
    BuildResources(const BuildResources&) = delete;
    BuildResources& operator=(const BuildResources&) = delete;

    // Null when the module has no such picture.
    CBitmap* image(Image which) {
        static constexpr std::array<const char*, kImageCount> names = {
            "sliderknob.png", "hsliderback.png", "vsliderback.png", "CheckBox.png",   "RadioButton.png",
            "trimknob.png",   "horizontalline.png", "spinbox.png", "closebutton.png"};
        if (!loaded_[which]) {
            loaded_[which] = true;
            auto* b = new CBitmap(CResourceDescription(names[which]));
            if (b->isLoaded())
                bitmaps_[which] = b;
            else
                b->forget();
        }
        return bitmaps_[which];
    }
    CFontDesc* font() { return font_; }

private:
    std::array<CBitmap*, kImageCount> bitmaps_{};
    std::array<bool, kImageCount> loaded_{};
    CFontDesc* font_;
};

std::string labelOf(const PanelElement& row) { return row.label ? row.label : ""; }

CTextLabel* label(const CRect& r, const PanelElement& row, CHoriTxtAlign align, const CColor& text, CFontDesc* font) {
    auto* l = new CTextLabel(r, labelOf(row).c_str());
    l->setHoriAlign(align);
    l->setBackColor(CColor(40, 40, 40, 0));
    l->setFrameColor(CColor(60, 60, 60, 0));
    l->setTransparency(true);
    l->setFontColor(text);
    if (font) l->setFont(font);
    return l;
}

CCheckBox* checkBox(const CRect& r, IControlListener* listener, const PanelElement& row, CBitmap* bitmap,
                    BuildResources& res) {
    if (labelOf(row).empty()) return nullptr;
    auto* box = new CCheckBox(r, listener, row.tag, row.label, bitmap, CCheckBox::kDrawCrossBox);
    box->setBoxFillColor(CColor(60, 60, 60, 255));
    box->setBoxFrameColor(CColor(60, 60, 60, 255));
    box->setCheckMarkColor(CColor(130, 130, 130, 255));
    box->setFontColor(CColor(220, 220, 220, 255));
    box->setFont(res.font());
    return box;
}

CControl* create(const PanelElement& row, IControlListener* listener, BuildResources& res) {
    const CRect r = panelRowRect(row);
    switch (row.type) {
    case kPanelCheckBox:
    case kPanelCheckBoxAlt: return checkBox(r, listener, row, nullptr, res);
    case kPanelRadioButton: return checkBox(r, listener, row, res.image(BuildResources::kRadioButton), res);
    case kPanelTextButton: {
        auto* b = new MyTextButton(r, listener, row.tag, row.label);
        b->setTextColor(CColor(200, 200, 200, 255));
        b->setTextColorHighlighted(CColor(200, 200, 200, 255));
        b->setGradientColors(MyTextButton::kGradientTop, MyTextButton::kGradientBottom);
        b->setGradientColorsHighlighted(MyTextButton::kGradientBottom, MyTextButton::kGradientTop);
        b->setFrameColor(CColor(76, 76, 76, 200));
        b->setFrameColorHighlighted(CColor(56, 56, 56, 200));
        b->setFrameWidth(2.0);
        b->setRoundRadius(2.0);
        b->setFont(res.font());
        b->setAlphaValue(1.0f);
        return b;
    }
    case kPanelLine: {
        auto* line = new CTextLabel(r, "", res.image(BuildResources::kHorizontalLine));
        line->setTransparency(true);
        return line;
    }
    case kPanelLabel: return label(r, row, kLeftText, CColor(230, 230, 230, 255), kNormalFontSmall);
    case kPanelCloseButton: {
        CBitmap* bitmap = res.image(BuildResources::kCloseButton);
        // Two images stacked: the size comes from the picture, not from the row. Without
        // the picture the row's rectangle keeps the panel closable.
        CRect size = r;
        CCoord imageHeight = r.getHeight();
        if (bitmap) {
            imageHeight = std::floor(bitmap->getHeight() / 2);
            size = CRect(row.x, row.y, row.x + bitmap->getWidth(), row.y + imageHeight);
        }
        return new CKickButton(size, listener, row.tag, imageHeight, bitmap);
    }
    case kPanelTextEdit: {
        auto* edit = new CTextEdit(r, listener, row.tag, row.label);
        edit->setHoriAlign(kLeftText);
        edit->setBackColor(CColor(30, 30, 30, 255));
        edit->setFrameColor(CColor(60, 60, 60, 255));
        edit->setFontColor(CColor(230, 230, 230, 255));
        edit->setFont(kNormalFontSmall);
        return edit;
    }
    case kPanelTitle: return label(r, row, kLeftText, CColor(240, 240, 240, 255), kNormalFontVeryBig);
    case kPanelHeading: return label(r, row, kLeftText, CColor(240, 240, 240, 255), kNormalFontBig);
    case kPanelValueLabel: return label(r, row, kRightText, CColor(240, 240, 240, 255), nullptr);
    case kPanelSmallKnob: {
        CBitmap* strip = res.image(BuildResources::kTrimKnob);
        const CCoord h = r.getHeight();
        const auto frames = strip && h > 0 ? static_cast<int32_t>(strip->getHeight() / h) : 0;
        auto* knob = new CAnimKnob(r, listener, row.tag, frames, h, strip);
        knob->setInverseBitmap(false);
        return knob;
    }
    case kPanelKnobCaption: return label(r, row, kCenterText, CColor(230, 230, 230, 255), kNormalFontSmall);
    case kPanelSpinBox: return new CMySpinBox(r, listener, row.tag, res.image(BuildResources::kSpinBox));
    default: return nullptr; // sliders (no slider control), the spacer, unknown types
    }
}

} // namespace

CRect panelRowRect(const PanelElement& row) {
    return CRect(row.x + std::min(0, row.width), row.y + std::min(0, row.height), row.x + std::max(0, row.width),
                 row.y + std::max(0, row.height));
}

int32_t buildPanel(CViewContainer* container, IControlListener* listener, CControl** controls, int32_t controlCount,
                   const PanelElement* table, int32_t rowCount) {
    if (!container || !table) return 0;
    BuildResources res;
    int32_t created = 0;
    for (int32_t i = 0; i < rowCount; ++i) {
        const PanelElement& row = table[i];
        CControl* control = create(row, listener, res);
        if (!control) continue;
        control->setListener(listener);
        container->addView(control);
        if (controls && row.tag >= 0 && row.tag < controlCount) controls[row.tag] = control;
        ++created;
    }
    return created;
}

} // namespace kelo
