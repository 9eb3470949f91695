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

// An image of the given size; only its size matters here.
CBitmap* blank(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h), 0xff000000u);
    return new CBitmap(px.data(), w, h);
}

} // namespace

TEST(ToolkitKnob, LinearDragsZoomClampAndAlt) {
    Harness h(400, 400);
    h.editor.knobMode = kLinearMode;
    auto* knob = h.add(new CKnob(CRect(100, 100, 140, 140), &h.listener, 4, nullptr, nullptr));
    knob->setZoomFactor(2.0f);
    h.click(120, 120); // a press alone changes nothing, but still brackets an edit
    EXPECT_EQ(h.log.take(), edit(4));

    struct Drag {
        float start;
        std::vector<std::tuple<CCoord, CCoord, int32, float>> moves; // x, y, buttons, value after
    };
    const Drag drags[] = {
        {0, {{120, 20, kLButton, 0.5f}, {220, 120, kLButton, 0.5f}}}, // right counts like up
        // Shift zooms; released mid-drag: no jump, then the plain rate.
        {0, {{120, 20, kLButton | kShift, 0.25f}, {120, 19, kLButton, 0.2525f}, {120, -81, kLButton, 0.7525f}}},
        // The zoom lasted for that drag only; Shift pressed mid-drag zooms from there on.
        {0, {{120, 80, kLButton, 0.2f}, {120, 40, kLButton | kShift, 0.4f}, {120, 0, kLButton | kShift, 0.5f}}},
        // Overshoot is remembered: back from +300 px the value stays at the end.
        {0, {{120, -180, kLButton, 1.0f}, {120, -130, kLButton, 1.0f}}},
    };
    for (const Drag& d : drags) {
        knob->setValue(d.start);
        h.down(120, 120, std::get<2>(d.moves[0]));
        for (auto [x, y, b, v] : d.moves) {
            h.move(x, y, b);
            EXPECT_NEAR(knob->getValue(), v, 1e-6) << x << "," << y;
        }
        h.up(120, 0);
    }
    EXPECT_EQ(h.log.lines[2], "value 0.5");

    knob->setKnobRange(100);
    knob->setKnobRange(-5); // refused
    knob->setValue(0);
    h.drag(120, 120, 120, 70);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    h.drag(120, 100, 140, 120, kLButton | kAlt); // Alt swaps linear for circular: top of the dial is 0.5
    EXPECT_NEAR(knob->getValue(), 0.8333f, 1e-4);
}

TEST(ToolkitKnob, CircularFollowsTheAngleAndGuardsTheGap) {
    Harness h(200, 200);
    auto* knob = h.add(new CAnimKnob(CRect(0, 0, 40, 40), &h.listener, 2, nullptr));
    // 270 degrees with the gap at the bottom; the centre counts as the right.
    const std::tuple<CCoord, CCoord, float> points[] = {
        {20, 0, 0.5f}, {40, 20, 0.8333f}, {0, 20, 0.1667f}, {0, 40, 0.0f}, {20, 40, 0.0f}, {20, 20, 0.8333f}};
    for (auto [x, y, v] : points) EXPECT_NEAR(knob->valueFromPoint(CPoint(x, y)), v, 1e-4) << x << "," << y;
    knob->setStartAngle(0); // the range now starts at the right, so straight down is a third
    EXPECT_NEAR(knob->valueFromPoint(CPoint(20, 40)), 0.3333f, 1e-4);
    knob->setStartAngle(static_cast<float>(3 * std::numbers::pi / 4));

    for (int32 mode : {kCircularMode, kRelativCircularMode}) {
        h.editor.knobMode = mode;
        knob->setValue(0.9f);
        // Press at the angle of 0.9 (lower right), then through the gap to the lower left.
        const double a = 3 * std::numbers::pi / 4 + 0.9 * 3 * std::numbers::pi / 2;
        h.down(20 + 20 * std::cos(a), 20 + 20 * std::sin(a));
        EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
        h.move(20, 40);
        h.move(1, 39);
        EXPECT_EQ(knob->getValue(), 1.0f);
        h.up(1, 39);
        h.drag(20, 0, 40, 20); // the first move jumps to the pointer's angle
        EXPECT_NEAR(knob->getValue(), 0.8333f, 1e-4);
    }
    knob->setValue(0); // Alt makes a circular knob linear
    h.drag(20, 20, 20, -20, kLButton | kAlt);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
}

TEST(ToolkitKnob, WheelKeysAndCtrlReset) {
    Harness h;
    auto* knob = h.add(new CKnob(CRect(10, 10, 50, 50), &h.listener, 6, nullptr, nullptr));
    knob->setValue(0.5f);
    EXPECT_TRUE(h.wheel(30, 30, 1));
    h.wheel(30, 30, -1, kShift); // fine: a tenth of a step
    EXPECT_FLOAT_EQ(knob->getValue(), 0.59f);
    EXPECT_EQ(h.log.take()[2], "value 0.6");
    knob->setValue(1.0f);
    h.frame->idle();
    h.log.take();
    h.wheel(30, 30, 1);
    EXPECT_TRUE(h.log.take().empty()) << "at the end: no edit";

    // Ctrl+click: back to the default in one bracket; the rest of that press does nothing.
    knob->setDefaultValue(0.25f);
    EXPECT_EQ(h.down(30, 30, kLButton | kControl), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    h.move(30, 0);
    h.up(30, 0);
    EXPECT_EQ(h.log.take(), edit(6, {"value 0.25"}));
    // The press gave it the focus: arrows are wheel steps, other keys are not its.
    EXPECT_EQ(h.key(VKEY_RIGHT), 1);
    EXPECT_EQ(h.key(VKEY_DOWN, 0, MODIFIER_SHIFT), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.34f);
    EXPECT_EQ(h.key(VKEY_SPACE, ' '), -1);
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

    auto* late = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 0, 0, nullptr); // no image height yet
    late->setBackground(strip);
    EXPECT_EQ(late->getNumSubPixmaps(), 100);
    late->forget();
    CBitmap* tall = blank(40, 1000);
    auto* explicitCount = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 5, 40, tall);
    EXPECT_EQ(explicitCount->getNumSubPixmaps(), 25);
    explicitCount->forget();
    // Shorter than one frame: the first image, never a negative offset.
    auto* shortStrip = new CAnimKnob(CRect(0, 0, 40, 2000), nullptr, 0, tall);
    shortStrip->setValue(1);
    EXPECT_EQ(shortStrip->frameOffset(), 0);
    shortStrip->forget();

    // A movie bitmap rounds to the nearest frame, after its offset.
    CBitmap* three = blank(10, 30);
    auto* m = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 0, three, CPoint(0, 100));
    for (auto [value, frame] : {std::pair{0.24f, 0}, {0.25f, 1}, {0.74f, 1}, {0.75f, 2}}) {
        m->setValue(value);
        EXPECT_EQ(m->frameOffset(), 100 + frame * 10) << value;
    }
    m->forget();
    for (CBitmap* b : {strip, tall, three}) b->forget();
}

TEST(ToolkitButtons, PressesCountOnReleaseInsideAndReturnPresses) {
    Harness h;
    struct Case {
        CControl* control;
        Lines click, dragOut, returnKey;
    };
    const Lines kicked{"value 1", "value 0"};
    const Case cases[] = {
        {h.add(new CKickButton(CRect(10, 10, 50, 30), &h.listener, 8, nullptr)), edit(8, kicked),
         edit(8, {"value 0"}), edit(8, kicked)},
        {h.add(new COnOffButton(CRect(10, 40, 30, 60), &h.listener, 9, nullptr)), edit(9, {"value 1"}), edit(9),
         edit(9, {"value 0"})},
        {h.add(new CCheckBox(CRect(10, 70, 100, 90), &h.listener, 11, "Title")), edit(11, {"value 1"}), edit(11),
         edit(11, {"value 0"})},
        {h.add(new CTextButton(CRect(110, 10, 160, 30), &h.listener, 14, "Go")), edit(14, kicked), edit(14),
         edit(14, kicked)},
        {h.add(new CTextButton(CRect(110, 40, 160, 60), &h.listener, 15, "On", CTextButton::kOnOffStyle)),
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
    h.down(20, 20);
    h.move(50, 30); // a kick button's right and bottom edges still count
    EXPECT_EQ(cases[0].control->getValue(), 1.0f);
    h.up(50, 30);
    h.down(15, 45);
    h.up(30, 45); // an on/off button's release must be inside (half-open)
    EXPECT_EQ(cases[1].control->getValue(), 0.0f);
    auto* check = static_cast<CCheckBox*>(cases[2].control);
    check->setValue(0.5f);
    h.click(20, 80);
    EXPECT_EQ(check->getValue(), 1.0f); // half checked becomes checked
    EXPECT_EQ(h.down(20, 80, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents); // swallowed
    h.frame->idle();
    check->setTitle("Other");
    EXPECT_TRUE(check->isDirty());
    auto* font = new CFontDesc("Arial", 9);
    check->setFont(font);
    font->forget(); // the box keeps its own reference
    EXPECT_EQ(font->getNbReference(), 1);

    // Sized to fit: box (or image), 5 px, title.
    IPlatformFont* pf = kSystemFont->getPlatformFont();
    const CCoord titleWidth = pf ? pf->getStringWidth("Fit") : 0;
    auto* fit = h.add(new CCheckBox(CRect(10, 100, 11, 120), nullptr, 1, "Fit", nullptr, CCheckBox::kAutoSizeToFit));
    EXPECT_DOUBLE_EQ(fit->getWidth(), fit->boxRect().getWidth() + 5 + titleWidth);
    CBitmap* image = blank(17, 40);
    fit->setBackground(image);
    image->forget();
    EXPECT_DOUBLE_EQ(fit->getWidth(), 17 + 5 + titleWidth);
}

namespace {
struct IdleCounter : CView {
    IdleCounter() : CView(CRect(0, 0, 1, 1)) {}
    void onIdle() override { ++count; }
    int count = 0;
};
} // namespace

TEST(ToolkitButtons, RockerReportsThePressNotTheReturnAndSpringsBackOnATimer) {
    kelo::test::FakeServices services;
    Harness h;
    auto* v = h.add(new CRockerSwitch(CRect(10, 10, 30, 50), &h.listener, 12, nullptr, CPoint(), kVertical));
    h.click(20, 15);
    EXPECT_EQ(v->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), edit(12, {"value -1"}));
    h.down(20, 30); // on the dividing line: the first half
    EXPECT_EQ(v->getValue(), -1.0f);
    h.move(20, 45);
    EXPECT_EQ(v->getValue(), 1.0f);
    h.move(100, 100); // outside: back to the value at the press
    h.up(100, 100);
    EXPECT_EQ(h.log.take(), edit(12, {"value -1", "value 1", "value 0"}));

    // The focused vertical rocker takes Up and Down (not Left and Right), reporting both ways.
    EXPECT_EQ(h.key(VKEY_LEFT), -1);
    h.invalidated.clear();
    EXPECT_EQ(h.key(VKEY_UP), 1);
    EXPECT_EQ(v->getValue(), -1.0f);
    EXPECT_FALSE(h.invalidated.empty()); // a key repaints at once, not at the next idle
    EXPECT_EQ(h.keyUp(VKEY_UP), 1);
    EXPECT_EQ(h.log.take(), edit(12, {"value -1", "value 0"}));

    auto* r = h.add(new CRockerSwitch(CRect(100, 10, 140, 30), &h.listener, 13, nullptr));
    h.click(130, 20);
    EXPECT_EQ(h.log.take(), edit(13, {"value 1"}));
    // A wheel notch presses toward min and springs back 200 ms later, from idle.
    EXPECT_TRUE(h.wheel(120, 20, 1));
    auto* ticks = h.add(new IdleCounter);
    ticks->setWantsIdle(true);
    // Idle views tick once per 1000 / 30 ms, counted from the last tick, from the frame's idle.
    for (auto [step, count, value] : {std::tuple{32, 0, -1.0f}, {1, 1, -1.0f}, {0, 1, -1.0f}, {166, 2, -1.0f},
                                      {1, 2, 0.0f}}) {
        services.now += step;
        h.frame->idle();
        EXPECT_EQ(ticks->count, count) << services.now;
        EXPECT_EQ(r->getValue(), value) << services.now;
    }
    EXPECT_EQ(h.log.take(), edit(13, {"value -1", "value 0"}));
    ticks->setWantsIdle(false);
    services.now += 100;
    h.frame->idle();
    EXPECT_EQ(ticks->count, 2);
}

TEST(ToolkitTextEdit, EditsOnlyWhileFocusedAndReportsOnlyChanges) {
    Harness h;
    auto* field = h.add(new CTextEdit(CRect(10, 10, 150, 30), &h.listener, 16, "abc"));
    field->setText("name"); // from the program: silent
    h.click(20, 20);
    EXPECT_TRUE(h.platformFrame->textInput); // keys go to the window only while editing
    h.click(180, 180); // a click elsewhere ends the edit; unchanged: silent
    EXPECT_FALSE(field->isEditingText());
    EXPECT_FALSE(h.platformFrame->textInput);
    h.click(20, 20);
    h.key(VKEY_BACK);
    h.key(0, 'X');
    h.key(VKEY_ESCAPE); // reverts
    EXPECT_EQ(field->getText(), "name");
    EXPECT_TRUE(h.log.lines.empty());

    h.click(20, 20);
    // The caret steps over whole characters, UTF-8 of two and four bytes included.
    for (auto [virt, ch] : std::initializer_list<std::pair<unsigned char, int32>>{
             {VKEY_HOME, 0}, {VKEY_DELETE, 0}, {0, 0xe9}, {VKEY_END, 0}, {VKEY_LEFT, 0}, {VKEY_BACK, 0},
             {VKEY_SPACE, ' '}, {0, 0x1f600}, {VKEY_LEFT, 0}, {VKEY_BACK, 0}})
        h.key(virt, ch);
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(field->getText(), "\xc3\xa9" "a\xf0\x9f\x98\x80" "e");
    EXPECT_EQ(h.log.take(), edit(16, {"value 0"}));
    EXPECT_EQ(field->getNbReference(), 1);
    EXPECT_EQ(h.key(0, 'q'), -1); // not editing: keys are not its
}

TEST(ToolkitOptionMenu, ChoicesSeparatorsSubmenusCancelAndKeys) {
    Harness h;
    auto* menu = h.add(new COptionMenu(CRect(10, 10, 110, 30), &h.listener, 20));
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
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20", "value 2",
                                   "dep kMessageValueChanged", "editor end 20", "end", "dep kMessageEndEdit"}));
    h.click(20, 20);
    h.click(190, 190); // outside: cancelled, still bracketed
    EXPECT_FALSE(menu->isPoppedUp());
    EXPECT_EQ(menu->getLastResult(), -1);
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20",
                                   "editor end 20", "end", "dep kMessageEndEdit"}));
    menu->removeDependency(&dep);

    Dependent subDep(h.log, "sub");
    sub->addDependency(&subDep);
    for (int round = 0; round < 2; ++round) {
        h.click(20, 20);
        h.move(20, 80); // hovering opens the submenu to the right, level with its row
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

    menu->setValue(7); // out of range: ignored entirely
    EXPECT_EQ(menu->getValue(), 2.0f);
    EXPECT_FALSE(menu->setCurrent(1)); // a separator
    EXPECT_TRUE(menu->setCurrent(1, false));
    EXPECT_EQ(menu->getCurrentIndex(true), 2);
    EXPECT_EQ(h.key(VKEY_UP), 1); // arrows step through the choosable entries of a focused menu
    EXPECT_EQ(menu->getValue(), 0.0f);
    EXPECT_TRUE(menu->checkEntryAlone(2));
    EXPECT_TRUE(menu->isCheckEntry(2));
    EXPECT_FALSE(menu->isCheckEntry(0));
    EXPECT_FALSE(menu->checkEntryAlone(7));
    h.key(VKEY_RETURN); // opens; the overlay takes arrows and Return
    h.key(VKEY_DOWN);
    h.key(VKEY_RETURN);
    EXPECT_FALSE(menu->isPoppedUp());
    EXPECT_EQ(menu->getLastResult(), 0);
    menu->clearCurrent(); // the first entry can be cleared too
    EXPECT_EQ(menu->getCurrentIndex(), -1);
}

TEST(ToolkitOptionMenu, CheckStylesAndLongListsScrollInsideTheFrame) {
    Harness h(200, 200);
    auto* checkCurrent = h.add(new COptionMenu(CRect(0, 0, 50, 20), &h.listener, 21, nullptr, nullptr, kCheckStyle));
    auto* multi = h.add(new COptionMenu(CRect(0, 0, 50, 20), &h.listener, 22, nullptr, nullptr, kMultipleCheckStyle));
    for (auto* m : {checkCurrent, multi}) {
        m->addEntry("one");
        m->addEntry("two");
        m->setValue(1);
        m->setValue(1);
        m->setVisible(false);
    }
    EXPECT_FALSE(checkCurrent->isCheckEntry(1));
    EXPECT_TRUE(checkCurrent->showsCheck(1));
    EXPECT_FALSE(checkCurrent->showsCheck(0));
    EXPECT_FALSE(multi->isCheckEntry(1)); // toggled twice
    EXPECT_TRUE(multi->checkEntry(0, true));
    EXPECT_TRUE(multi->showsCheck(0));

    // 40 entries do not fit in 200 px: the panel is moved up and left into the frame and scrolls;
    // row i sits at 1 + 12 (arrow) + 18 i, the wheel scrolls one entry per notch.
    auto* longMenu = h.add(new COptionMenu(CRect(150, 150, 200, 170), &h.listener, 23));
    for (int i = 0; i < 40; ++i) longMenu->addEntry(("item " + std::to_string(i)).c_str());
    h.click(160, 160);
    h.wheel(170, 100, -3);
    h.click(170, 13 + 5);
    EXPECT_EQ(longMenu->getLastResult(), 3);
    h.click(160, 160); // keys scroll the hot entry into view
    for (int i = 0; i < 12; ++i) h.key(VKEY_DOWN);
    h.click(170, 13 + 5);
    EXPECT_GT(longMenu->getLastResult(), 0);
    h.click(160, 160);
    h.key(VKEY_ESCAPE);
    EXPECT_FALSE(longMenu->isPoppedUp());
    EXPECT_EQ(h.frame->getModalView(), nullptr);
}

TEST(ToolkitFileSelector, AnswersComeFromIdleAndDieWithTheFrame) {
    kelo::test::FakeServices services;
    Harness h;
    CNewFileSelector* s = CNewFileSelector::create(h.frame, CNewFileSelector::kSelectSaveFile);
    s->addFileExtension(CFileExtension("Pattern files", "pat"));
    s->setDefaultExtension(CFileExtension("Parameter files", "param"));
    s->setDefaultExtension(CFileExtension("Pattern files", "pat")); // only the first call counts
    int called = 0;
    services.fileAnswers.push_back({});
    EXPECT_TRUE(s->run([&](CNewFileSelector*, bool ok) { called = ok ? 2 : 1; }));
    EXPECT_FALSE(s->run(CNewFileSelector::Callback())); // one at a time
    ASSERT_EQ(services.fileRequests.size(), 1u);
    const auto& r = services.fileRequests[0];
    EXPECT_EQ(r.kind, kelo::platform::FileDialogKind::kSave);
    ASSERT_EQ(r.filters.size(), 3u);
    EXPECT_EQ(r.filters[0].extensions, (std::vector<std::string>{"pat", "param"})); // all supported types first
    EXPECT_EQ(r.defaultFilter, 2u);
    EXPECT_EQ(r.defaultExtension, "param");
    EXPECT_EQ(called, 0); // never from inside run()
    h.frame->idle();
    EXPECT_EQ(called, 1);

    // A delegate hears only a confirmed choice; one file, as no multiple selection was asked for.
    Dependent delegate(h.log, "delegate");
    services.fileAnswers.push_back({"/tmp/a.pat", "/tmp/b.pat"});
    s->run(&delegate);
    h.frame->idle();
    EXPECT_EQ(s->getNumSelectedFiles(), 1);
    EXPECT_STREQ(s->getSelectedFile(0), "/tmp/a.pat");
    EXPECT_EQ(h.log.take(), (Lines{"delegate CNewFileSelector Select End Message"}));
    services.fileAnswers.push_back({"/tmp/c.pat"});
    s->run(&delegate);
    s->cancel(); // drops its answer and lets go of its delegate
    EXPECT_EQ(delegate.getNbReference(), 1);
    h.frame->idle();
    EXPECT_TRUE(h.log.lines.empty());

    // Closing the frame cancels a dialog still running; its answer never arrives.
    services.fileAnswers.push_back({"/tmp/a.pat"});
    s->run([&](CNewFileSelector*, bool) { called = 3; });
    s->forget(); // the running dialog keeps it
    services.cancelledOwners.clear();
    h.frame->close();
    h.frame = new CFrame(CRect(0, 0, 1, 1), nullptr);
    EXPECT_EQ(services.cancelledOwners, std::vector<const void*>{nullptr});
    EXPECT_EQ(services.pendingAnswers(), 0u);
    services.poll();
    EXPECT_EQ(called, 1);
}
