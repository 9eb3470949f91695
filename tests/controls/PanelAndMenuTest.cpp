// The panel builder's rows and the panels' own small controls; the editor's pop-up menu (its
// choices are taken through the editor's menus, tests/menus).
#include "ControlTestSupport.h"
#include "editor/controls/CMyOptionMenu.h"
#include "editor/controls/PanelBuilder.h"
#include "editor/controls/TextControls.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
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
    EXPECT_EQ(controls[3], &untouched);
    EXPECT_EQ(buildPanel(nullptr, nullptr, controls.data(), 41, kRows, 3), 0);
    // A later row with the same tag takes the entry.
    EXPECT_EQ(controls[15]->getViewSize(), CRect(283, 169, 349, 185));
    EXPECT_EQ(controls[0]->getViewSize(), CRect(500, 80, 590, 100));
    EXPECT_EQ(controls[31]->getViewSize(), CRect(650, 5, 692, 47)); // its picture's size
    auto* knob = dynamic_cast<CAnimKnob*>(controls[11]);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->getNumSubPixmaps(), 89);
    // Drawn from the module's pictures over the panel's colour.
    EXPECT_NE(s.pixel(671, 26), 0xff282828u);
    EXPECT_EQ(s.painted(690, 60), 0xff282828u);
    s.log.take();
    s.down(60, 72); // "Clear confirm"
    s.up(60, 72);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 1", "value 1", "editor end 1", "end"}));
    s.move(560, 240, 0); // the text button lightens under the pointer
    EXPECT_EQ(static_cast<MyTextButton*>(controls[26])->gradientTop(), MyTextButton::kHoverTop);
    // The spin box: whole percents, dragged linearly (50 px of 200), or a text from 4 px in.
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
    EXPECT_EQ(s.frame->getFocusView(), nullptr);
    d->setEditable(true);
    s.down(20, 20);
    EXPECT_TRUE(d->isEditingText());
}

TEST(OptionMenu, HoldsABoundedNumberOfEntries) {
    CMyOptionMenu m(CRect(), nullptr, 10000);
    for (int i = 0; i < 1023; ++i) m.addEntry("x");
    EXPECT_NE(m.addSeparator(), nullptr);
    EXPECT_EQ(m.addEntry("one too many"), nullptr);
    EXPECT_EQ(m.getNbEntries(), 1024);
    for (auto [limit, held] : {std::pair{512, 512}, {-5, 0}}) {
        CMyOptionMenu files(CRect(), nullptr, 111);
        files.setMaxEntries(limit);
        for (int i = 0; i < 600; ++i) files.addEntry("f.pat");
        EXPECT_EQ(files.getNbEntries(), held);
    }
}

TEST(OptionMenu, SortsRunsBetweenSeparatorsKeepsItsValueAndDrawsNothing) {
    Screen s;
    const int32_t style = kMultipleCheckStyle & ~kCheckStyle;
    CMyOptionMenu& m = *s.add(new CMyOptionMenu(CRect(10, 10, 80, 30), nullptr, 111, style));
    for (const char* t : {"Load Pattern", "Save Pattern", "-", "zeta", "Beta", "alpha", "-", "b", "A"}) m.addEntry(t);
    m.setCurrent(3); // "zeta"
    EXPECT_FALSE(m.sortEntries(9));
    EXPECT_TRUE(m.sortEntries(3));
    EXPECT_TRUE(m.setEntryTitle(0, "Tape"));
    EXPECT_TRUE(m.sortEntries(-1)); // from the top
    std::vector<std::string> titles;
    for (const CMenuItem* i : m.getItems()) titles.push_back(i->isSeparator() ? "-" : i->getTitle());
    EXPECT_EQ(titles, (std::vector<std::string>{"Save Pattern", "Tape", "-", "Beta", "alpha", "zeta", "-", "A", "b"}));
    EXPECT_EQ(m.getCurrent()->getTitle(), "zeta");
    m.setValue(0); // toggles the entry's check with this style
    for (float bad : {9.0f, -1.0f}) m.setValue(bad);
    EXPECT_EQ(m.getValue(), 0);
    EXPECT_TRUE(m.isCheckEntry(0));
    m.reset();
    EXPECT_EQ(m.getValue(), -1);
    EXPECT_EQ(m.getCurrentIndex(), -1);
    EXPECT_EQ(s.pixel(20, 20), kBlack);
    EXPECT_FALSE(m.isDirty());
}
