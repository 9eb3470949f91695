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

} // namespace

TEST(PanelBuilder, MakesOneControlPerRowUnderItsTagThatReportsToTheListener) {
    Screen s(708, 362, kCircularMode);
    auto* panel = s.add(new CViewContainer(CRect(0, 0, 708, 362)));
    panel->setBackgroundColor(CColor(40, 40, 40));
    std::array<CControl*, 41> controls{};
    CKickButton untouched{CRect(), nullptr, 0, nullptr};
    controls[3] = controls[5] = &untouched;
    // Not the empty check box, type 32 or the spacer.
    EXPECT_EQ(buildPanel(panel, &s.listener, controls.data(), 41, kRows, int32_t(std::size(kRows))), 10);
    EXPECT_EQ(panel->getNbViews(), 10);
    EXPECT_EQ(controls[3], &untouched);
    EXPECT_EQ(buildPanel(nullptr, nullptr, controls.data(), 41, kRows, 3), 0);
    // A later row with the same tag takes the entry.
    EXPECT_EQ(controls[15]->getViewSize(), CRect(283, 169, 349, 185));
    EXPECT_EQ(static_cast<CParamDisplay*>(controls[0])->getHoriAlign(), kRightText);
    // The close button takes its size from its picture (two images), not from the row.
    EXPECT_EQ(controls[31]->getViewSize(), CRect(650, 5, 692, 47));
    EXPECT_EQ(controls[40]->getViewSize(), CRect(-40, 280, 10, 300)); // negative sizes
    auto* knob = dynamic_cast<CAnimKnob*>(controls[11]);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->getNumSubPixmaps(), 89);
    // Drawn from the module's pictures over the panel's colour.
    EXPECT_NE(s.pixel(671, 26), 0xff282828u);
    EXPECT_EQ(s.painted(690, 60), 0xff282828u);
    s.log.clear();
    s.down(60, 72); // "Clear confirm"
    s.up(60, 72);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 1", "value 1", "editor end 1", "end"}));
    // The text button lightens under the pointer, by itself at the next idle.
    const uint32_t plain = s.pixel(502, 232);
    s.move(560, 240, 0);
    s.idle();
    EXPECT_NE(s.painted(502, 232), plain);
    s.move(560, 300, 0);
    s.idle();
    EXPECT_EQ(s.painted(502, 232), plain);
    // The spin box shows the integer percent, dragged linearly even in circular mode (50 px of
    // 200), until given a text of its own, drawn from 4 px into the box.
    auto* spin = dynamic_cast<CMySpinBox*>(controls[28]);
    ASSERT_NE(spin, nullptr);
    spin->setValue(0.999f);
    EXPECT_EQ(spin->getText(), "99 %");
    spin->setValue(0.5f);
    s.down(610, 88);
    s.move(610, 38);
    s.up(610, 38);
    EXPECT_FLOAT_EQ(spin->getValue(), 0.75f);
    auto box = [&](int right) {
        std::vector<uint32_t> px;
        s.pixel(0, 0);
        for (int y = 80; y < 98; ++y)
            for (int x = 600; x < right; ++x) px.push_back(s.painted(x, y));
        return px;
    };
    spin->setText("");
    const auto empty = box(667), emptyEdge = box(604);
    spin->setText("88 88");
    spin->setValue(0.1f);
    EXPECT_EQ(spin->getText(), "88 88");
    EXPECT_NE(box(667), empty);
    EXPECT_EQ(box(604), emptyEdge);
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
