// The panel builder with the module's pictures: which control each row makes, where, under
// which tag; and the panels' own small controls.
#include "ControlTestSupport.h"
#include "editor/controls/PanelBuilder.h"
#include "editor/controls/TextControls.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CParamDisplay.h"

using namespace kelo;
using namespace kelo::test;

namespace {

const PanelElement kRows[] = {
    {kPanelTitle, 0, "Preferences", 20, 8, 400, 32},
    {kPanelSmallKnob, 11, nullptr, 300, 120, 33, 33},
    {kPanelKnobCaption, 15, "Pre-gain", 283, 153, 66, 16},
    {kPanelKnobCaption, 15, "Pre-gain", 283, 169, 66, 16},
    {kPanelCheckBox, 1, "Clear confirm", 50, 64, 200, 16},
    {kPanelCheckBox, 3, "", 50, 96, 200, 16},
    {kPanelValueLabel, 0, "Accent Level", 500, 80, 90, 20},
    {kPanelSpinBox, 28, nullptr, 600, 80, 67, 18},
    {kPanelTextButton, 26, "Reset", 500, 230, 160, 20},
    {kPanelCloseButton, 31, nullptr, 650, 5, 20, 20},
    {kPanelLabel, 40, "upward", 10, 300, -50, -20},
    {32, 5, "not a type", 50, 128, 200, 16},
    {kPanelSpacer, 6, "gap", 50, 144, 200, 16},
};

constexpr uint32_t kPanelColour = 0xff282828u;

struct Built {
    Built() : s(708, 362, kCircularMode) {
        panel = s.add(new CViewContainer(CRect(0, 0, 708, 362)));
        panel->setBackgroundColor(CColor(40, 40, 40));
        controls[3] = controls[5] = &untouched;
        created = buildPanel(panel, &s.listener, controls.data(), 41, kRows, int32_t(std::size(kRows)));
    }
    Screen s;
    CViewContainer* panel = nullptr;
    std::array<CControl*, 41> controls{};
    CKickButton untouched{CRect(), nullptr, 0, nullptr};
    int32_t created = 0;
};

} // namespace

TEST(PanelBuilder, MakesOneControlPerRowUnderItsTag) {
    Built b;
    EXPECT_EQ(b.created, 10); // not the empty check box, type 32 or the spacer
    EXPECT_EQ(b.panel->getNbViews(), 10);
    EXPECT_EQ(b.controls[3], &b.untouched);
    EXPECT_EQ(b.controls[5], &b.untouched);
    EXPECT_EQ(buildPanel(nullptr, nullptr, b.controls.data(), 41, kRows, 3), 0);
    // A later row with the same tag takes the entry.
    EXPECT_EQ(b.controls[15]->getViewSize(), CRect(283, 169, 349, 185));
    EXPECT_EQ(b.controls[0]->getViewSize(), CRect(500, 80, 590, 100));
    EXPECT_EQ(static_cast<CParamDisplay*>(b.controls[0])->getHoriAlign(), kRightText);
    // The close button takes its size from its picture (two images), not from the row.
    EXPECT_EQ(b.controls[31]->getViewSize(), CRect(650, 5, 692, 47));
    EXPECT_EQ(static_cast<CKickButton*>(b.controls[31])->getHeightOfOneImage(), 42);
    EXPECT_EQ(b.controls[40]->getViewSize(), CRect(-40, 280, 10, 300)); // negative sizes
    auto* knob = dynamic_cast<CAnimKnob*>(b.controls[11]);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->getNumSubPixmaps(), 89);
    EXPECT_EQ(knob->getHeightOfOneImage(), 33);
    for (int tag : {1, 11, 15, 26}) EXPECT_EQ(b.controls[size_t(tag)]->getListener(), &b.s.listener);
    // Drawn from the module's pictures over the panel's colour.
    EXPECT_NE(b.s.pixel(671, 26), kPanelColour);
    EXPECT_NE(b.s.painted(610, 88), kPanelColour);
    EXPECT_EQ(b.s.painted(690, 60), kPanelColour);
}

TEST(PanelBuilder, RowsReportAndTheTextButtonLightensUnderThePointer) {
    Built b;
    b.s.log.clear();
    b.s.down(60, 72); // "Clear confirm"
    b.s.up(60, 72);
    EXPECT_EQ(b.s.log.take(), (Lines{"begin", "editor begin 1", "value 1", "editor end 1", "end"}));
    auto* reset = dynamic_cast<MyTextButton*>(b.controls[26]);
    ASSERT_NE(reset, nullptr);
    b.s.move(560, 240, 0);
    EXPECT_EQ(reset->gradientTop(), MyTextButton::kHoverTop);
    EXPECT_EQ(reset->gradientBottom(), MyTextButton::kHoverBottom);
    b.s.move(560, 300, 0);
    EXPECT_EQ(reset->gradientTop(), MyTextButton::kGradientTop);
    EXPECT_EQ(reset->gradientBottom(), MyTextButton::kGradientBottom);
}

TEST(PanelBuilder, SpinBoxShowsPercentUntilGivenItsOwnText) {
    Built b;
    auto* spin = dynamic_cast<CMySpinBox*>(b.controls[28]);
    ASSERT_NE(spin, nullptr);
    spin->setValue(0.999f);
    EXPECT_EQ(spin->getText(), "99 %"); // the integer part
    spin->setValue(0.5f);               // dragged linearly even in circular mode: 50 px of 200
    b.s.down(610, 88);
    b.s.move(610, 38);
    b.s.up(610, 38);
    EXPECT_FLOAT_EQ(spin->getValue(), 0.75f);
    // A caller's text stays, drawn from 4 px into the box.
    auto box = [&] {
        std::vector<uint32_t> px;
        b.s.pixel(0, 0);
        for (int y = 80; y < 98; ++y)
            for (int x = 600; x < 667; ++x) px.push_back(b.s.painted(x, y));
        return px;
    };
    spin->setText("");
    const auto empty = box();
    spin->setText("88 88");
    spin->setValue(0.1f);
    EXPECT_EQ(spin->getText(), "88 88");
    const auto shown = box();
    EXPECT_NE(empty, shown);
    for (size_t i = 0; i < empty.size(); ++i)
        if (i % 67 < 4) {
            EXPECT_EQ(empty[i], shown[i]) << i;
        }
}

TEST(TextDisplay, ShowsTextWithoutTakingTheKeyboard) {
    Screen s;
    auto* d = s.add(new CTextDisplay(CRect(10, 10, 170, 28), &s.listener, 110, "Bass.pat"));
    s.down(20, 20);
    EXPECT_FALSE(d->isEditingText());
    EXPECT_EQ(s.frame->getFocusView(), nullptr);
    d->setEditable(true);
    s.down(20, 20);
    EXPECT_TRUE(d->isEditingText());
}
