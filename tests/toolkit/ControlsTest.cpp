// The standard controls, driven through the frame's event entry points.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Harness.h"
#include "tests/support/FakeServices.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CNewFileSelector.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CMovieBitmap.h"
#include "toolkit/controls/COptionMenu.h"
#include "toolkit/controls/CRockerSwitch.h"
#include "toolkit/controls/CTextEdit.h"
#include "toolkit/platform/IPlatformFont.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

namespace {

CBitmap* blank(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h), 0xff000000u);
    return new CBitmap(px.data(), w, h);
}

} // namespace

TEST(ToolkitKnob, LinearDragsZoomAndClamp) {
    Harness h(400, 400);
    h.knobMode = kLinearMode;
    auto* knob = h.add(new CKnob(CRect(100, 100, 140, 140), &h, 4, nullptr, nullptr));
    knob->setZoomFactor(2.0f);
    h.click(120, 120); // a press alone changes nothing, but still brackets an edit
    EXPECT_EQ(h.log.take(), edit(4));
    // x, y, buttons, value after; every drag starts at 0 from the middle.
    using Drag = std::vector<std::tuple<CCoord, CCoord, int32, float>>;
    const Drag drags[] = {
        {{120, 20, kLButton, 0.5f}, {220, 120, kLButton, 0.5f}}, // right counts like up
        // Shift zooms; released mid-drag: no jump, then the plain rate.
        {{120, 20, kLButton | kShift, 0.25f}, {120, 19, kLButton, 0.2525f}, {120, -81, kLButton, 0.7525f}},
        // The zoom lasted for that drag only; Shift pressed mid-drag zooms from there on.
        {{120, 80, kLButton, 0.2f}, {120, 40, kLButton | kShift, 0.4f}, {120, 0, kLButton | kShift, 0.5f}},
        // Overshoot is remembered: back from +300 px the value stays at the end.
        {{120, -180, kLButton, 1.0f}, {120, -130, kLButton, 1.0f}},
    };
    for (const Drag& d : drags) {
        knob->setValue(0);
        h.down(120, 120, std::get<2>(d[0]));
        for (auto [x, y, b, v] : d) {
            h.move(x, y, b);
            EXPECT_NEAR(knob->getValue(), v, 1e-6) << x << "," << y;
        }
        h.up(120, 0);
    }
    EXPECT_EQ(h.log.lines[2], "value 0.5");
}

TEST(ToolkitKnob, CircularFollowsTheAngleAndGuardsTheGap) {
    Harness h(200, 200);
    auto* knob = h.add(new CAnimKnob(CRect(0, 0, 40, 40), &h, 2, nullptr));
    // 270 degrees with the gap at the bottom; the centre counts as the right.
    const std::tuple<CCoord, CCoord, float> points[] = {
        {20, 0, 0.5f}, {40, 20, 0.8333f}, {0, 20, 0.1667f}, {0, 40, 0.0f}, {20, 40, 0.0f}, {20, 20, 0.8333f}};
    for (auto [x, y, v] : points) EXPECT_NEAR(knob->valueFromPoint(CPoint(x, y)), v, 1e-4) << x << "," << y;
    h.knobMode = kRelativCircularMode;
    knob->setValue(0.9f);
    // Press at the angle of 0.9 (lower right), then through the gap to the lower left.
    const double a = 3 * std::numbers::pi / 4 + 0.9 * 3 * std::numbers::pi / 2;
    h.down(20 + 20 * std::cos(a), 20 + 20 * std::sin(a));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
    h.move(20, 40);
    h.move(1, 39);
    EXPECT_EQ(knob->getValue(), 1.0f);
    h.up(1, 39);
    h.knobMode = kCircularMode;
    h.down(20, 0);
    EXPECT_EQ(knob->getValue(), 1.0f); // a press alone keeps the value; the first move jumps to the pointer
    h.move(40, 20);
    h.up(40, 20);
    EXPECT_NEAR(knob->getValue(), 0.8333f, 1e-4);
    // Ctrl+click: back to the default in one bracket; the rest of that press does nothing.
    knob->setDefaultValue(0.25f);
    h.log.take();
    EXPECT_EQ(h.down(30, 30, kLButton | kControl), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    h.move(30, 0);
    h.up(30, 0);
    EXPECT_EQ(h.log.take(), edit(2, {"value 0.25"}));
    knob->setStartAngle(float(5 * std::numbers::pi / 4)); // a quarter turn on: the middle points right
    EXPECT_NEAR(knob->valueFromPoint(CPoint(40, 20)), 0.5f, 1e-4);
}

TEST(ToolkitKnob, AnimationFramesAreTruncatedOrRounded) {
    CBitmap* strip = blank(40, 4000);
    auto* knob = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, strip, CPoint(7, 9));
    EXPECT_EQ(knob->getNumSubPixmaps(), 100);
    for (auto [value, frame] : {std::pair{0.5f, 49}, {0.999f, 98}, {1.0f, 99}, {0.0f, 0}}) {
        knob->setValue(value);
        EXPECT_EQ(knob->frameOffset(), frame * 40) << value; // the offset argument is ignored
    }
    knob->setInverseBitmap(true);
    knob->setValue(0.25f);
    EXPECT_EQ(knob->frameOffset(), 74 * 40);
    knob->forget();
    CBitmap* tall = blank(40, 1000);
    auto* counted = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 5, 40, tall);
    EXPECT_EQ(counted->getNumSubPixmaps(), 25);
    counted->forget();
    auto* later = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 0, 0, nullptr);
    later->setBackground(tall); // no image height yet: the view's
    EXPECT_EQ(later->getNumSubPixmaps(), 25);
    later->forget();
    auto* lines = new CMovieBitmap(CRect(0, 0, 40, 1), nullptr, 0, tall);
    EXPECT_EQ(lines->getNumSubPixmaps(), 1000);
    lines->forget();
    auto* shortStrip = new CAnimKnob(CRect(0, 0, 40, 2000), nullptr, 0, tall);
    shortStrip->setValue(1);
    EXPECT_EQ(shortStrip->frameOffset(), 0); // shorter than one frame: never a negative offset
    shortStrip->forget();
    strip->forget();
    tall->forget();
}

TEST(ToolkitRocker, EachHalfPressesUntilReleasedByMouseOrKey) {
    Harness h;
    h.add(new CRockerSwitch(CRect(10, 10, 50, 30), &h, 5, nullptr));
    auto* upDown = h.add(new CRockerSwitch(CRect(60, 10, 80, 50), &h, 6, nullptr, CPoint(), kVertical));
    // Press point (the first half owns the dividing line), tag, the key of that half, the value pressed.
    const std::tuple<CCoord, CCoord, int, unsigned char, const char*> rows[] = {
        {11, 20, 5, VKEY_LEFT, "value -1"}, {30, 20, 5, VKEY_LEFT, "value -1"},
        {31, 29, 5, VKEY_RIGHT, "value 1"}, {70, 30, 6, VKEY_UP, "value -1"},
        {79, 31, 6, VKEY_DOWN, "value 1"}};
    for (auto [x, y, tag, virt, pressed] : rows) {
        SCOPED_TRACE(fmt(x) + "," + fmt(y));
        h.click(x, y); // released: back to rest, unreported
        EXPECT_EQ(h.log.take(), edit(tag, {pressed}));
        EXPECT_EQ(h.key(virt), 1);
        EXPECT_EQ(h.keyUp(virt), 1);
        EXPECT_EQ(h.log.take(), edit(tag, {pressed, "value 0"}));
    }
    EXPECT_EQ(upDown->getValue(), 0.0f);
    upDown->setMouseEnabled(false);
    EXPECT_FALSE(upDown->onWheel(CPoint(70, 20), 1.0f, CButtonState(0)));
    h.down(20, 20);
    h.frame->removeView(h.frame->getView(0)); // removed while held: the edit still ends
    EXPECT_EQ(h.log.take(), edit(5, {"value -1"}));
}

TEST(ToolkitButtons, PressesCountOnReleaseInsideAndReturnPresses) {
    Harness h;
    struct Case {
        CControl* control;
        Lines click, dragOut, returnKey;
    };
    const Lines kicked{"value 1", "value 0"};
    const Case cases[] = {
        {h.add(new CKickButton(CRect(10, 10, 50, 30), &h, 8, nullptr)), edit(8, kicked), edit(8, {"value 0"}),
         edit(8, kicked)},
        {h.add(new COnOffButton(CRect(10, 40, 30, 60), &h, 9, nullptr)), edit(9, {"value 1"}), edit(9),
         edit(9, {"value 0"})},
        {h.add(new CCheckBox(CRect(10, 70, 100, 90), &h, 11, "Title")), edit(11, {"value 1"}), edit(11),
         edit(11, {"value 0"})},
        {h.add(new CTextButton(CRect(110, 10, 160, 30), &h, 14, "Go")), edit(14, kicked), edit(14),
         edit(14, kicked)},
        {h.add(new CTextButton(CRect(110, 40, 160, 60), &h, 15, "On", CTextButton::kOnOffStyle)),
         edit(15, {"value 1"}), edit(15), edit(15, {"value 0"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control->getTag());
        const CRect r = c.control->getViewSize();
        h.click(r.left + 5, r.top + 5);
        EXPECT_EQ(h.log.take(), c.click);
        h.drag(r.left + 5, r.top + 5, 190, 190);
        EXPECT_EQ(h.log.take(), c.dragOut);
        h.key(VKEY_RETURN);
        h.invalidated.clear();
        h.keyUp(VKEY_RETURN);
        EXPECT_EQ(h.log.take(), c.returnKey);
        EXPECT_EQ(c.control->getValue(), 0.0f);
        // A kick's release by key repaints at once, not at the next idle.
        EXPECT_TRUE(c.returnKey != c.click || c.click.size() < 6 || !h.invalidated.empty());
    }
    h.down(15, 45);
    h.up(30, 45); // an on/off button's release must be inside (half-open)
    EXPECT_EQ(cases[1].control->getValue(), 0.0f);
    auto* check = static_cast<CCheckBox*>(cases[2].control);
    check->setValue(0.5f);
    h.click(20, 80);
    EXPECT_EQ(check->getValue(), 1.0f); // half checked becomes checked
    EXPECT_EQ(h.down(20, 80, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents); // swallowed
    auto* font = new CFontDesc("Arial", 9);
    check->setFont(font);
    font->forget(); // the box keeps its own reference
    EXPECT_EQ(font->getNbReference(), 1);
    // Sized to fit: box (or image), 5 px, title.
    IPlatformFont* pf = kSystemFont->getPlatformFont();
    const CCoord titleWidth = pf ? pf->getStringWidth("Fit") : 0;
    auto* fit = h.add(
        new CCheckBox(CRect(10, 100, 11, 120), nullptr, 1, "Fit", nullptr, CCheckBox::kAutoSizeToFit));
    EXPECT_DOUBLE_EQ(fit->getWidth(), fit->boxRect().getWidth() + 5 + titleWidth);
    CBitmap* image = blank(17, 40);
    fit->setBackground(image);
    image->forget();
    EXPECT_DOUBLE_EQ(fit->getWidth(), 17 + 5 + titleWidth);
}

TEST(ToolkitTextEdit, EditsOnlyWhileFocusedAndReportsOnlyChanges) {
    Harness h;
    auto* field = h.add(new CTextEdit(CRect(10, 10, 150, 30), &h, 16, "abc"));
    field->setText("name"); // from the program: silent
    h.click(20, 20);
    EXPECT_EQ(h.invalidated, Rects(2, CRect(10, 10, 150, 30))); // the press and the caret, at once
    EXPECT_TRUE(h.platformFrame->textInput); // keys go to the window only while editing
    h.click(180, 180); // a click elsewhere ends the edit; unchanged: silent
    EXPECT_FALSE(h.platformFrame->textInput);
    EXPECT_TRUE(h.log.lines.empty());
    h.click(20, 20);
    // The caret steps over whole characters, UTF-8 of two and four bytes included.
    for (auto [virt, ch] : std::initializer_list<std::pair<unsigned char, int32>>{
             {VKEY_HOME, 0}, {VKEY_DELETE, 0}, {0, 0xe9}, {VKEY_END, 0}, {VKEY_LEFT, 0}, {VKEY_BACK, 0},
             {VKEY_SPACE, ' '}, {0, 0x10000}, {VKEY_LEFT, 0}, {VKEY_BACK, 0}})
        h.key(virt, ch);
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(field->getText(), "\xc3\xa9" "a\xf0\x90\x80\x80" "e");
    EXPECT_EQ(h.log.take(), edit(16, {"value 0"}));
    EXPECT_EQ(field->getNbReference(), 1);
    EXPECT_EQ(h.key(0, 'q'), -1); // not editing: keys are not its
}

TEST(ToolkitOptionMenu, ChoicesSeparatorsSubmenusCancelAndKeys) {
    Harness h;
    auto* menu = h.add(new COptionMenu(CRect(10, 10, 110, 30), &h, 20));
    for (const char* e : {"A", "-", "B"}) menu->addEntry(e);
    auto* sub = new COptionMenu();
    sub->addEntry("X");
    sub->addEntry("Y");
    menu->addEntry(sub, "Sub");
    sub->forget();
    Dependent dep(h.log, "dep");
    menu->addDependency(&dep);
    // Rows below the menu: A 31..49, separator 49..56, B 56..74, Sub 74..92.
    h.down(20, 20);
    h.up(20, 60);    // the release of the opening press is not a choice
    h.click(20, 52); // a separator is not a choice either
    EXPECT_TRUE(menu->isPoppedUp());
    h.click(20, 60);
    EXPECT_EQ(menu->getValue(), 2.0f);
    EXPECT_EQ(menu->getCurrentIndex(), 1);
    // The value change and valueChanged merge into one message for the dependents.
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20",
                                   "value 2", "dep kMessageValueChanged", "editor end 20", "end",
                                   "dep kMessageEndEdit"}));
    h.click(20, 20);
    h.click(190, 190); // outside: cancelled, still bracketed
    EXPECT_EQ(menu->getLastResult(), -1);
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20",
                                   "editor end 20", "end", "dep kMessageEndEdit"}));
    menu->removeDependency(&dep);
    Dependent subDep(h.log, "sub");
    sub->addDependency(&subDep);
    for (int round = 0; round < 2; ++round) {
        h.click(20, 20);
        h.move(20, 80);   // hovering opens the submenu to the right, level with its row
        h.click(120, 92); // Y: the panel opens 1 px above its row (73), rows of 18
        int32 index = -1;
        EXPECT_EQ(menu->getLastItemMenu(index), sub);
        EXPECT_EQ(index, 1);
        EXPECT_EQ(menu->getValue(), 2.0f); // the top menu's own value does not change
        Lines got;
        for (auto& l : h.log.take())
            if (l != "sub kMsgBeforePopup") got.push_back(l);
        EXPECT_EQ(got, edit(20, round == 0 ? Lines{"sub kMessageValueChanged", "value 2"} : Lines{"value 2"}));
    }
    sub->removeDependency(&subDep);
    menu->setValue(7); // out of range: ignored
    EXPECT_EQ(menu->getValue(), 2.0f);
    EXPECT_EQ(h.key(VKEY_UP), 1); // arrows step through the choosable entries of a focused menu
    EXPECT_EQ(menu->getValue(), 0.0f);
    EXPECT_TRUE(menu->checkEntryAlone(2));
    EXPECT_TRUE(menu->isCheckEntry(2) && !menu->isCheckEntry(0));
    h.key(VKEY_RETURN); // opens; the overlay takes arrows and Return
    h.key(VKEY_DOWN);
    h.key(VKEY_RETURN);
    EXPECT_FALSE(menu->isPoppedUp());
    EXPECT_EQ(menu->getLastResult(), 0);
    menu->clearCurrent(); // the first entry can be cleared too
    EXPECT_EQ(menu->getCurrentIndex(), -1);
    auto* checkCurrent = h.add(new COptionMenu(CRect(0, 0, 5, 5), &h, 21, nullptr, nullptr, kCheckStyle));
    auto* multi = h.add(new COptionMenu(CRect(0, 0, 5, 5), &h, 22, nullptr, nullptr, kMultipleCheckStyle));
    for (auto* m : {checkCurrent, multi}) {
        m->addEntry("one");
        m->addEntry("two");
        m->setValue(1);
    }
    EXPECT_TRUE(multi->isCheckEntry(1));
    multi->setValue(1);
    checkCurrent->setValue(1);
    EXPECT_FALSE(checkCurrent->isCheckEntry(1));
    EXPECT_TRUE(checkCurrent->showsCheck(1));
    EXPECT_FALSE(checkCurrent->showsCheck(0));
    EXPECT_FALSE(multi->isCheckEntry(1)); // toggled twice
    EXPECT_TRUE(multi->checkEntry(0, true));
    EXPECT_TRUE(multi->showsCheck(0));
}

TEST(ToolkitFileSelector, ClosingTheFrameCancelsItsDialog) {
    kelo::test::FakeServices services;
    Harness h;
    CNewFileSelector* s = CNewFileSelector::create(h.frame, CNewFileSelector::kSelectSaveFile);
    bool called = false;
    services.fileAnswers.push_back({"/tmp/c.pat"});
    s->run([&](CNewFileSelector*, bool) { called = true; });
    EXPECT_FALSE(called); // answers come from idle, never from inside run()
    s->forget(); // the running dialog keeps it
    h.frame->close();
    h.frame = new CFrame(CRect(0, 0, 1, 1), nullptr);
    EXPECT_EQ(services.cancelledOwners, std::vector<const void*>{nullptr});
    EXPECT_EQ(services.pendingAnswers(), 0u);
    services.poll();
    EXPECT_FALSE(called);
}

TEST(ToolkitFileSelector, OneRunAtATimeAnsweredOnceAndReferencesReturned) {
    kelo::test::FakeServices services;
    auto* frame = new CFrame(CRect(0, 0, 1, 1), nullptr); // no window, so no owner
    CNewFileSelector* s = CNewFileSelector::create(frame);
    s->addFileExtension(CFileExtension("Patterns", "pat"));
    s->setDefaultExtension(CFileExtension("Any pattern", "pat")); // already the first
    Log log;
    Dependent dep(log, "dep");
    services.fileAnswers = {{"/a.pat", "/b.pat"}, {"/c.pat"}};
    EXPECT_TRUE(s->run(&dep));
    EXPECT_TRUE(s->isRunning());
    EXPECT_FALSE(s->run(&dep));
    const auto& r = services.fileRequests.at(0);
    EXPECT_EQ(r.defaultExtension, "pat");
    EXPECT_EQ(r.defaultFilter, 0u); // a single type gets no all-types filter before it
    EXPECT_EQ(r.owner, nullptr);
    services.poll();
    EXPECT_EQ(s->getNumSelectedFiles(), 1); // one file unless several were allowed
    EXPECT_EQ(log.take(), Lines{"dep CNewFileSelector Select End Message"});
    EXPECT_TRUE(s->run(&dep));
    s->cancel(); // the answer is dropped and the delegate let go at once
    EXPECT_EQ(dep.getNbReference(), 1);
    services.poll();
    EXPECT_TRUE(log.lines.empty());
    s->forget();
    frame->forget();
}
