// The editor's pop-up menu: its limit, sorting with separators in place, values, and each
// choice delivered once, sub-menus included, however often it is repeated.
#include <algorithm>

#include "ControlTestSupport.h"
#include "editor/controls/CMyOptionMenu.h"

using namespace kelo;
using namespace kelo::test;

namespace {

std::vector<std::string> titles(const COptionMenu& m) {
    std::vector<std::string> t;
    for (const CMenuItem* i : m.getItems()) t.push_back(i->isSeparator() ? "-" : i->getTitle());
    return t;
}

} // namespace

TEST(OptionMenu, HoldsABoundedNumberOfEntries) {
    CMyOptionMenu m(CRect(), nullptr, 10000);
    for (int i = 0; i < 1023; ++i) m.addEntry("x");
    EXPECT_NE(m.addSeparator(), nullptr);
    EXPECT_EQ(m.addEntry("one too many"), nullptr);
    EXPECT_EQ(m.addSeparator(), nullptr);
    auto* sub = new CMyOptionMenu(CRect(), nullptr, 1);
    EXPECT_EQ(m.addEntry(sub, "sub"), nullptr); // the refused item is released (leak checks)
    sub->forget();
    EXPECT_EQ(m.getNbEntries(), 1024);
    CMyOptionMenu files(CRect(), nullptr, 111);
    files.setMaxEntries(512);
    for (int i = 0; i < 600; ++i) files.addEntry("f.pat");
    EXPECT_EQ(files.getNbEntries(), 512);
}

TEST(OptionMenu, SortsRunsBetweenSeparatorsFromTheFirstIndex) {
    CMyOptionMenu m(CRect(), nullptr, 111);
    for (const char* t : {"Load Pattern", "Save Pattern", "-", "zeta", "Beta", "alpha", "-", "b", "A"}) m.addEntry(t);
    m.setCurrent(3); // "zeta"
    EXPECT_FALSE(m.sortEntries(9));
    EXPECT_TRUE(m.sortEntries(3));
    EXPECT_EQ(titles(m),
              (std::vector<std::string>{"Load Pattern", "Save Pattern", "-", "Beta", "alpha", "zeta", "-", "A", "b"}));
    EXPECT_EQ(m.getCurrent()->getTitle(), "zeta");
    EXPECT_TRUE(m.setEntryTitle(0, "Open"));
    EXPECT_FALSE(m.setEntryTitle(99, "x"));
    EXPECT_EQ(titles(m)[0], "Open");
}

TEST(OptionMenu, ValuesNameAndNoDrawing) {
    Screen s;
    auto* m = s.add(new CMyOptionMenu(CRect(10, 10, 80, 30), nullptr, 10001, kMultipleCheckStyle & ~kCheckStyle));
    for (const char* t : {"MIDI Learn", "Preferences..."}) m->addEntry(t);
    m->setValue(0); // toggles the entry's check with this style
    for (float bad : {2.0f, 7.0f, -1.0f}) m->setValue(bad);
    EXPECT_EQ(m->getValue(), 0);
    EXPECT_TRUE(m->isCheckEntry(0));
    m->reset();
    EXPECT_EQ(m->getValue(), -1);
    EXPECT_EQ(m->getCurrentIndex(), -1);
    EXPECT_EQ(s.pixel(20, 20), 0xff000000u); // the panel shows nothing of it
    EXPECT_FALSE(m->isDirty());
    EXPECT_FALSE(m->wantsFocus());
    m->setName("Pattern" + std::string(300, 'n'));
    char buffer[256];
    m->getName(buffer);
    EXPECT_EQ(std::string(buffer), "Pattern" + std::string(248, 'n'));
}

namespace {

// The editor's side: every report of the top menu takes the choice (only once).
struct Chooser : IControlListener {
    void valueChanged(CControl* c) override {
        int32_t index = -1, again = -1;
        COptionMenu* menu = static_cast<CMyOptionMenu*>(c)->takeChoice(index);
        choices.push_back({menu, index});
        EXPECT_EQ(static_cast<CMyOptionMenu*>(c)->takeChoice(again), nullptr);
    }
    std::vector<std::pair<COptionMenu*, int32_t>> choices;
};

} // namespace

TEST(OptionMenu, DeliversEachChoiceOnceAndRepeatably) {
    Screen s;
    Chooser chooser;
    auto* top = s.add(new CMyOptionMenu(CRect(10, 10, 80, 30), &chooser, 10001));
    auto* skins = new CMyOptionMenu(CRect(), nullptr, 114);
    for (const char* t : {"Alpha", "Beta"}) skins->addEntry(t);
    top->addEntry("MIDI Learn");
    top->addSeparator();
    top->addEntry(skins, "Select Skin");
    skins->forget();
    gui::test::Dependent dependent(s.log, "skins");
    skins->addDependency(&dependent);
    for (int i = 0; i < 2; ++i) { // the same first entry of a fresh sub-menu, twice
        ASSERT_TRUE(top->popup());
        EXPECT_TRUE(top->isPoppedUp());
        for (unsigned char k : {VKEY_DOWN, VKEY_DOWN, VKEY_RIGHT, VKEY_DOWN, VKEY_RETURN}) s.key(k);
        EXPECT_FALSE(top->isPoppedUp());
    }
    top->popup(); // a top-level choice names the top menu
    s.key(VKEY_DOWN);
    s.key(VKEY_RETURN);
    top->popup(); // a cancelled pop-up reports nothing
    s.key(VKEY_ESCAPE);
    using Choice = std::pair<COptionMenu*, int32_t>;
    EXPECT_EQ(chooser.choices, (std::vector<Choice>{{skins, 0}, {skins, 0}, {top, 0}}));
    const Lines log = s.log.take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "skins kMessageValueChanged"), 2);
    skins->removeDependency(&dependent);
}
