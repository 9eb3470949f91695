// The editor's pop-up menu: its limit, sorting with separators in place, values and name. Its
// choices, sub-menus included, are taken once each through the editor's menus (tests/menus).
#include "ControlTestSupport.h"
#include "editor/controls/CMyOptionMenu.h"

using namespace kelo;
using namespace kelo::test;

TEST(OptionMenu, HoldsABoundedNumberOfEntries) {
    CMyOptionMenu m(CRect(), nullptr, 10000);
    for (int i = 0; i < 1023; ++i) m.addEntry("x");
    EXPECT_NE(m.addSeparator(), nullptr);
    EXPECT_EQ(m.addEntry("one too many"), nullptr);
    auto* sub = new CMyOptionMenu(CRect(), nullptr, 1);
    EXPECT_EQ(m.addEntry(sub, "sub"), nullptr); // the refused item is released (leak checks)
    sub->forget();
    EXPECT_EQ(m.getNbEntries(), 1024);
    for (auto [limit, held] : {std::pair{512, 512}, {-5, 0}}) {
        CMyOptionMenu files(CRect(), nullptr, 111);
        files.setMaxEntries(limit);
        for (int i = 0; i < 600; ++i) files.addEntry("f.pat");
        EXPECT_EQ(files.getNbEntries(), held);
    }
}

TEST(OptionMenu, SortsRunsBetweenSeparatorsAndKeepsItsValueAndName) {
    CMyOptionMenu m(CRect(), nullptr, 111, kMultipleCheckStyle & ~kCheckStyle);
    for (const char* t : {"Load Pattern", "Save Pattern", "-", "zeta", "Beta", "alpha", "-", "b", "A"}) m.addEntry(t);
    m.setCurrent(3); // "zeta"
    EXPECT_FALSE(m.sortEntries(9));
    EXPECT_TRUE(m.sortEntries(3));
    EXPECT_TRUE(m.setEntryTitle(0, "Tape"));
    EXPECT_FALSE(m.setEntryTitle(99, "x"));
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
    EXPECT_EQ(m.getCurrentIndex(), -1);
    m.setName("Pattern" + std::string(300, 'n'));
    char buffer[256];
    m.getName(buffer);
    EXPECT_EQ(std::string(buffer), "Pattern" + std::string(248, 'n'));
}
