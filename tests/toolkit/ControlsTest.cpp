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

// An image of the given size; only its size matters to these tests.
CBitmap* blank(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h), 0xff000000u);
    return new CBitmap(px.data(), w, h);
}

} // namespace

TEST(ToolkitKnob, LinearDragsZoomAndClamp) {
    Harness h(400, 400);
    h.editor.knobMode = kLinearMode;
    auto* knob = h.add(new CKnob(CRect(100, 100, 140, 140), &h.listener, 4, nullptr, nullptr));
    knob->setZoomFactor(2.0f);

    // A press alone changes nothing, but still brackets an edit.
    h.click(120, 120);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 4", "editor end 4", "end"}));

    h.down(120, 120);
    h.move(120, 20);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    h.move(220, 120); // right counts like up
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    h.up(220, 120);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 4", "value 0.5", "editor end 4", "end"}));

    knob->setValue(0);
    h.down(120, 120, kLButton | kShift);
    h.move(120, 20, kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
    // Shift released mid-drag: no jump, then the plain rate.
    h.move(120, 19, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.2525f, 1e-6);
    h.move(120, -81, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.7525f, 1e-6);
    h.up(120, -81);
    // The zoom lasted for that drag only; pressing Shift mid-drag zooms from there on.
    knob->setValue(0);
    h.down(120, 120);
    h.move(120, 80);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    h.move(120, 40, kLButton | kShift); // continuous where Shift came in...
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-6);
    h.move(120, 0, kLButton | kShift); // ...then half the rate
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);
    h.up(120, 0);
    // Overshoot is remembered: back from +300 px the value stays at the end.
    knob->setValue(0);
    h.down(120, 120);
    h.move(120, -180);
    EXPECT_EQ(knob->getValue(), 1.0f);
    h.move(120, -130);
    EXPECT_EQ(knob->getValue(), 1.0f);
    h.up(120, -130);

    // A settable range, and Alt swaps linear for circular.
    knob->setKnobRange(100);
    knob->setKnobRange(-5);
    EXPECT_EQ(knob->getKnobRange(), 100.0f);
    knob->setValue(0);
    h.down(120, 120);
    h.move(120, 70);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    h.up(120, 70);
    h.down(120, 100, kLButton | kAlt); // top of the dial: circular starts at 0.5
    h.move(140, 120, kLButton | kAlt); // right: 0.8333 (linear would not move here)
    EXPECT_NEAR(knob->getValue(), 0.8333f, 1e-4);
    h.up(140, 120);
}

TEST(ToolkitKnob, CircularFollowsTheAngleAndGuardsTheGap) {
    Harness h(200, 200);
    auto* knob = h.add(new CAnimKnob(CRect(0, 0, 40, 40), &h.listener, 2, nullptr));
    // The worked values (inset 0, 270 degrees with the gap at the bottom).
    EXPECT_FLOAT_EQ(knob->valueFromPoint(CPoint(20, 0)), 0.5f);
    EXPECT_NEAR(knob->valueFromPoint(CPoint(40, 20)), 0.8333f, 1e-4);
    EXPECT_NEAR(knob->valueFromPoint(CPoint(0, 20)), 0.1667f, 1e-4);
    EXPECT_NEAR(knob->valueFromPoint(CPoint(0, 40)), 0.0f, 1e-6);
    EXPECT_EQ(knob->valueFromPoint(CPoint(20, 40)), 0.0f);
    EXPECT_NEAR(knob->valueFromPoint(CPoint(20, 20)), 0.8333f, 1e-4);
    knob->setStartAngle(0); // the range now starts at the right, so straight down is a third
    EXPECT_NEAR(knob->valueFromPoint(CPoint(20, 40)), 0.3333f, 1e-4);
    knob->setStartAngle(static_cast<float>(3 * std::numbers::pi / 4));

    for (int32 mode : {kCircularMode, kRelativCircularMode}) {
        h.editor.knobMode = mode;
        knob->setValue(0.9f);
        // Press at the angle of 0.9 (lower right), then through the gap to the lower left.
        const double a = 3 * std::numbers::pi / 4 + 0.9 * 3 * std::numbers::pi / 2;
        const CPoint p(20 + 20 * std::cos(a), 20 + 20 * std::sin(a));
        h.down(p.x, p.y);
        EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
        h.move(20, 40);
        EXPECT_EQ(knob->getValue(), 1.0f);
        h.move(1, 39);
        EXPECT_EQ(knob->getValue(), 1.0f);
        h.up(1, 39);
        // The first move jumps to the pointer's angle.
        h.down(20, 0);
        h.move(40, 20);
        EXPECT_NEAR(knob->getValue(), 0.8333f, 1e-4);
        h.up(40, 20);
    }
    // Alt makes a circular knob linear.
    knob->setValue(0);
    h.down(20, 20, kLButton | kAlt);
    h.move(20, -20, kLButton | kAlt);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    h.up(20, -20);
}

TEST(ToolkitKnob, WheelKeysAndCtrlReset) {
    Harness h;
    auto* knob = h.add(new CKnob(CRect(10, 10, 50, 50), &h.listener, 6, nullptr, nullptr));
    knob->setValue(0.5f);
    h.frame->idle();
    h.log.clear();
    EXPECT_TRUE(h.wheel(30, 30, 1));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 6", "value 0.6", "editor end 6", "end"}));
    h.wheel(30, 30, -1, kShift); // fine: a tenth of a step
    EXPECT_FLOAT_EQ(knob->getValue(), 0.59f);
    knob->setValue(1.0f);
    h.frame->idle();
    h.log.clear();
    h.wheel(30, 30, 1);
    EXPECT_TRUE(h.log.lines.empty());

    // Ctrl+click: back to the default in one bracket; the rest of that press does nothing.
    knob->setDefaultValue(0.25f);
    EXPECT_EQ(h.down(30, 30, kLButton | kControl), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    h.move(30, 0);
    h.up(30, 0);
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 6", "value 0.25", "editor end 6", "end"}));

    // The knob took the focus with the press: arrows are wheel steps, other keys are not its.
    EXPECT_EQ(h.key(VKEY_RIGHT), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.35f);
    EXPECT_EQ(h.key(VKEY_DOWN, 0, MODIFIER_SHIFT), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.34f);
    EXPECT_EQ(h.key(VKEY_SPACE, ' '), -1);
}

TEST(ToolkitAnimKnob, FrameIsTruncatedAndReadFromTheLeft) {
    CBitmap* strip = blank(40, 4000);
    auto* knob = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, strip, CPoint(7, 9));
    EXPECT_EQ(knob->getNumSubPixmaps(), 100);
    const std::pair<float, int> cases[] = {{0.5f, 49}, {0.999f, 98}, {1.0f, 99}, {0.0f, 0}};
    for (auto [value, frame] : cases) {
        knob->setValue(value);
        EXPECT_EQ(knob->frameOffset(), frame * 40) << value;
    }
    knob->setInverseBitmap(true);
    knob->setValue(0.25f);
    EXPECT_EQ(knob->frameOffset(), 74 * 40);
    knob->forget();

    // No image height yet: the view's height, once a bitmap arrives.
    auto* late = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 0, 0, nullptr);
    late->setBackground(strip);
    EXPECT_EQ(late->getNumSubPixmaps(), 100);
    late->forget();

    CBitmap* tall = blank(40, 1000);
    auto* explicitCount = new CAnimKnob(CRect(0, 0, 40, 40), nullptr, 0, 5, 40, tall);
    EXPECT_EQ(explicitCount->getNumSubPixmaps(), 25);
    explicitCount->forget();
    // A bitmap shorter than one frame has no frames: the first image, never a negative offset.
    auto* shortStrip = new CAnimKnob(CRect(0, 0, 40, 2000), nullptr, 0, tall);
    shortStrip->setValue(1);
    EXPECT_EQ(shortStrip->frameOffset(), 0);
    shortStrip->forget();
    strip->forget();
    tall->forget();
}

TEST(ToolkitButtons, KickReportsOnReleaseWithInclusiveEdges) {
    Harness h;
    auto* kick = h.add(new CKickButton(CRect(10, 10, 50, 30), &h.listener, 8, nullptr));
    h.click(20, 20);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 8", "value 1", "value 0", "editor end 8", "end"}));
    h.down(20, 20);
    EXPECT_EQ(kick->getValue(), 1.0f);
    h.move(80, 80);
    EXPECT_EQ(kick->getValue(), 0.0f);
    h.up(80, 80);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 8", "value 0", "editor end 8", "end"}));
    h.down(20, 20);
    h.move(50, 30); // the right and bottom edges still count
    EXPECT_EQ(kick->getValue(), 1.0f);
    h.up(50, 30);
    h.log.clear();
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(h.keyUp(VKEY_RETURN), 1);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 8", "value 1", "value 0", "editor end 8", "end"}));
}

TEST(ToolkitButtons, OnOffTogglesOnReleaseInside) {
    Harness h;
    auto* b = h.add(new COnOffButton(CRect(10, 10, 30, 30), &h.listener, 9, nullptr));
    h.click(15, 15);
    EXPECT_EQ(b->getValue(), 1.0f);
    h.click(15, 15);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 9", "value 1", "editor end 9", "end", "begin",
                                   "editor begin 9", "value 0", "editor end 9", "end"}));
    h.down(15, 15);
    h.up(30, 15); // the release must be inside (half-open)
    EXPECT_EQ(b->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 9", "editor end 9", "end"}));
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 9", "value 1", "editor end 9", "end"}));
}

TEST(ToolkitButtons, CheckBoxTogglesFromHalfToChecked) {
    Harness h;
    auto* c = h.add(new CCheckBox(CRect(10, 10, 100, 30), &h.listener, 11, "Title"));
    c->setValue(0.5f);
    h.click(20, 20);
    EXPECT_EQ(c->getValue(), 1.0f);
    h.click(20, 20);
    EXPECT_EQ(c->getValue(), 0.0f);
    h.down(20, 20);
    h.move(200, 200);
    h.up(200, 200);
    EXPECT_EQ(c->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 11", "value 1", "editor end 11", "end", "begin",
                                   "editor begin 11", "value 0", "editor end 11", "end", "begin", "editor begin 11",
                                   "editor end 11", "end"}));
    // Other buttons are swallowed.
    EXPECT_EQ(h.down(20, 20, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    h.frame->idle();
    c->setTitle("Other");
    EXPECT_TRUE(c->isDirty());
    auto* font = new CFontDesc("Arial", 9);
    c->setFont(font);
    font->forget(); // the box keeps its own reference
    EXPECT_EQ(font->getNbReference(), 1);
    // Sized to fit: box, 5 px, title.
    auto* fit = h.add(new CCheckBox(CRect(10, 40, 11, 60), nullptr, 1, "Fit", nullptr, CCheckBox::kAutoSizeToFit));
    IPlatformFont* pf = kSystemFont->getPlatformFont();
    EXPECT_DOUBLE_EQ(fit->getWidth(), fit->boxRect().getWidth() + 5 + (pf ? pf->getStringWidth("Fit") : 0));
}

TEST(ToolkitButtons, MovieBitmapRoundsToTheNearestFrame) {
    CBitmap* two = blank(10, 20);
    auto* m = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 0, two);
    m->setValue(0.49f);
    EXPECT_EQ(m->frameOffset(), 0);
    m->setValue(0.5f);
    EXPECT_EQ(m->frameOffset(), 10);
    m->forget();
    CBitmap* three = blank(10, 30);
    auto* m3 = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 0, three, CPoint(0, 100));
    const std::pair<float, int> cases[] = {{0.24f, 0}, {0.25f, 1}, {0.75f, 2}};
    for (auto [value, frame] : cases) {
        m3->setValue(value);
        EXPECT_EQ(m3->frameOffset(), 100 + frame * 10) << value;
    }
    m3->forget();
    two->forget();
    three->forget();
}

TEST(ToolkitButtons, RockerReportsThePressNotTheReturn) {
    kelo::test::FakeServices services;
    Harness h;
    auto* v = h.add(new CRockerSwitch(CRect(10, 10, 30, 50), &h.listener, 12, nullptr, CPoint(), kVertical));
    EXPECT_EQ(v->getValue(), 0.0f);
    h.click(20, 15);
    EXPECT_EQ(v->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 12", "value -1", "editor end 12", "end"}));
    h.down(10, 15); // edges count
    EXPECT_EQ(v->getValue(), -1.0f);
    h.up(10, 15);
    h.log.clear();
    h.down(20, 30); // on the dividing line: the first half
    EXPECT_EQ(v->getValue(), -1.0f);
    h.move(20, 45);
    EXPECT_EQ(v->getValue(), 1.0f);
    h.move(100, 100);
    EXPECT_EQ(v->getValue(), 0.0f); // outside: back to the value at the press
    h.up(100, 100);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 12", "value -1", "value 1", "value 0", "editor end 12",
                                   "end"}));

    // The focused vertical rocker takes Up and Down (not Left and Right), reporting both ways.
    EXPECT_EQ(h.key(VKEY_LEFT), -1);
    h.invalidated.clear();
    EXPECT_EQ(h.key(VKEY_UP), 1);
    EXPECT_EQ(v->getValue(), -1.0f);
    EXPECT_FALSE(h.invalidated.empty()); // a key repaints at once, not at the next idle
    EXPECT_EQ(h.keyUp(VKEY_UP), 1);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 12", "value -1", "value 0", "editor end 12", "end"}));

    auto* r = h.add(new CRockerSwitch(CRect(100, 10, 140, 30), &h.listener, 13, nullptr));
    h.click(130, 20);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 13", "value 1", "editor end 13", "end"}));

    // A wheel notch presses toward min and springs back 200 ms later, from idle.
    EXPECT_TRUE(h.wheel(120, 20, 1));
    EXPECT_EQ(r->getValue(), -1.0f);
    services.now += 199;
    h.frame->idle();
    EXPECT_EQ(r->getValue(), -1.0f);
    services.now += 1;
    h.frame->idle();
    EXPECT_EQ(r->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 13", "value -1", "value 0", "editor end 13", "end"}));
}

TEST(ToolkitButtons, TextButtonKickAndOnOffStyles) {
    Harness h;
    auto* kick = h.add(new CTextButton(CRect(10, 10, 60, 30), &h.listener, 14, "Go"));
    auto* toggle = h.add(new CTextButton(CRect(10, 40, 60, 60), &h.listener, 15, "On", CTextButton::kOnOffStyle));
    h.click(20, 20);
    h.click(20, 50);
    h.click(20, 50);
    h.down(20, 50);
    h.move(200, 200);
    h.up(200, 200);
    EXPECT_EQ(kick->getValue(), 0.0f);
    EXPECT_EQ(toggle->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 14", "value 1", "value 0", "editor end 14", "end",
                                   "begin", "editor begin 15", "value 1", "editor end 15", "end",
                                   "begin", "editor begin 15", "value 0", "editor end 15", "end",
                                   "begin", "editor begin 15", "editor end 15", "end"}));
    // Return presses a focused kick button; its release repaints it at once.
    h.click(20, 20);
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(kick->getValue(), 1.0f);
    h.invalidated.clear();
    EXPECT_EQ(h.keyUp(VKEY_RETURN), 1);
    EXPECT_EQ(kick->getValue(), 0.0f);
    EXPECT_FALSE(h.invalidated.empty());
}

TEST(ToolkitTextEdit, EditsOnlyWhileFocusedAndReportsOnlyChanges) {
    Harness h;
    auto* edit = h.add(new CTextEdit(CRect(10, 10, 150, 30), &h.listener, 16, "abc"));
    edit->setText("name"); // from the program: silent
    h.click(20, 20);
    EXPECT_TRUE(edit->isEditingText());
    EXPECT_TRUE(h.platformFrame->textInput); // keys go to the window only now
    h.click(180, 180); // a click elsewhere ends the edit; unchanged: silent
    EXPECT_FALSE(edit->isEditingText());
    EXPECT_FALSE(h.platformFrame->textInput);
    EXPECT_TRUE(h.log.lines.empty());

    h.click(20, 20);
    h.key(VKEY_BACK);
    h.key(0, 'X');
    h.key(VKEY_ESCAPE); // reverts
    EXPECT_EQ(edit->getText(), "name");
    EXPECT_TRUE(h.log.lines.empty());

    h.click(20, 20);
    h.key(VKEY_HOME);
    h.key(VKEY_DELETE);
    h.key(0, 0xe9); // é
    h.key(VKEY_END);
    h.key(VKEY_LEFT);
    h.key(VKEY_BACK);
    h.key(VKEY_SPACE, ' ');
    h.key(0, 0x1f600); // four bytes in UTF-8
    h.key(VKEY_LEFT);
    h.key(VKEY_BACK); // removes the space: the caret steps over whole characters
    EXPECT_EQ(edit->getEditText(), "\xc3\xa9" "a\xf0\x9f\x98\x80" "e");
    EXPECT_EQ(h.key(VKEY_RETURN), 1);
    EXPECT_EQ(edit->getText(), "\xc3\xa9" "a\xf0\x9f\x98\x80" "e");
    EXPECT_EQ(h.log.take(), (Lines{"begin", "editor begin 16", "value 0", "editor end 16", "end"}));
    EXPECT_EQ(edit->getNbReference(), 1);
    // Not editing: keys are not its.
    EXPECT_EQ(h.key(0, 'q'), -1);
}

namespace {

struct MenuFixture {
    MenuFixture() : menu(new COptionMenu(CRect(10, 10, 110, 30), &h.listener, 20)) {
        h.add(menu);
        menu->addEntry("A");
        menu->addEntry("-");
        menu->addEntry("B");
    }
    // Rows of the first panel: A 31..49, separator 49..56, B 56..74 (below the menu).
    Harness h;
    COptionMenu* menu;
};

} // namespace

TEST(ToolkitOptionMenu, ChoicesCountSeparatorsAndCancelStillBrackets) {
    MenuFixture f;
    Harness& h = f.h;
    Dependent dep(h.log, "dep");
    f.menu->addDependency(&dep);

    h.down(20, 20);
    EXPECT_TRUE(f.menu->isPoppedUp());
    h.up(20, 60); // the release of the opening press is not a choice
    EXPECT_TRUE(f.menu->isPoppedUp());
    h.click(20, 52); // a separator is not a choice either
    EXPECT_TRUE(f.menu->isPoppedUp());
    h.click(20, 60);
    EXPECT_FALSE(f.menu->isPoppedUp());
    EXPECT_EQ(f.menu->getValue(), 2.0f);
    EXPECT_EQ(f.menu->getLastResult(), 2);
    EXPECT_EQ(f.menu->getCurrentIndex(), 1);
    EXPECT_EQ(f.menu->getCurrentIndex(true), 2);
    // The value change and valueChanged merge into one message for the dependents.
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20",
                                   "value 2", "dep kMessageValueChanged", "editor end 20", "end",
                                   "dep kMessageEndEdit"}));

    h.click(20, 20);
    h.click(190, 190); // outside: cancelled
    EXPECT_FALSE(f.menu->isPoppedUp());
    EXPECT_EQ(f.menu->getLastResult(), -1);
    EXPECT_EQ(h.log.take(), (Lines{"dep kMsgBeforePopup", "begin", "dep kMessageBeginEdit", "editor begin 20",
                                   "editor end 20", "end", "dep kMessageEndEdit"}));

    f.menu->setValue(5); // out of range: ignored entirely
    EXPECT_EQ(f.menu->getValue(), 2.0f);
    EXPECT_TRUE(h.log.lines.empty());
    EXPECT_FALSE(f.menu->setCurrent(1)); // a separator
    EXPECT_TRUE(f.menu->setCurrent(1, false));
    EXPECT_EQ(f.menu->getCurrentIndex(true), 2);

    // Arrows step through the choosable entries of a closed, focused menu.
    h.log.clear();
    EXPECT_EQ(h.key(VKEY_UP), 1);
    EXPECT_EQ(f.menu->getValue(), 0.0f);
    EXPECT_EQ(h.log.take(), (Lines{"begin", "dep kMessageBeginEdit", "editor begin 20", "dep kMessageValueChanged",
                                   "value 0", "dep kMessageValueChanged", "editor end 20", "end",
                                   "dep kMessageEndEdit"}));
    EXPECT_TRUE(f.menu->checkEntryAlone(2));
    EXPECT_TRUE(f.menu->isCheckEntry(2));
    EXPECT_FALSE(f.menu->isCheckEntry(0));
    EXPECT_FALSE(f.menu->checkEntryAlone(7));

    // Keyboard: the focused menu opens with Return, the overlay takes arrows and Return.
    h.key(VKEY_RETURN);
    EXPECT_TRUE(f.menu->isPoppedUp());
    h.key(VKEY_DOWN);
    h.key(VKEY_RETURN);
    EXPECT_FALSE(f.menu->isPoppedUp());
    EXPECT_EQ(f.menu->getLastResult(), 0);
    f.menu->clearCurrent(); // the first entry can be cleared too
    EXPECT_EQ(f.menu->getCurrentIndex(), -1);
    f.menu->removeDependency(&dep);
}

TEST(ToolkitOptionMenu, SubmenuChoiceReachesTopListenerAndSubmenuDependents) {
    MenuFixture f;
    Harness& h = f.h;
    auto* sub = new COptionMenu();
    sub->addEntry("X");
    sub->addEntry("Y");
    f.menu->addEntry(sub, "Sub"); // row 74..92
    sub->forget();
    Dependent subDep(h.log, "sub");
    sub->addDependency(&subDep);

    for (int round = 0; round < 2; ++round) {
        h.click(20, 20);
        h.move(20, 80); // hovering opens the submenu to the right, level with its row
        h.move(120, 92);
        h.click(120, 92); // Y's first row: the panel opens 1 px above its row (73), rows of 18
        EXPECT_FALSE(f.menu->isPoppedUp());
        int32 index = -1;
        EXPECT_EQ(f.menu->getLastItemMenu(index), sub);
        EXPECT_EQ(index, 1);
        EXPECT_EQ(f.menu->getValue(), 0.0f); // the top menu's own value does not change
        const Lines expectRound0{"begin", "editor begin 20", "sub kMessageValueChanged", "value 0", "editor end 20",
                                 "end"};
        const Lines expectRound1{"begin", "editor begin 20", "value 0", "editor end 20", "end"};
        Lines got;
        for (auto& l : h.log.take())
            if (l != "sub kMsgBeforePopup") got.push_back(l);
        EXPECT_EQ(got, round == 0 ? expectRound0 : expectRound1);
    }
    sub->removeDependency(&subDep);
}

TEST(ToolkitOptionMenu, CheckStylesAndLongListsScrollInsideTheFrame) {
    Harness h(200, 200);
    auto* checkCurrent = h.add(new COptionMenu(CRect(0, 0, 50, 20), &h.listener, 21, nullptr, nullptr, kCheckStyle));
    auto* multi = h.add(new COptionMenu(CRect(0, 0, 50, 20), &h.listener, 22, nullptr, nullptr, kMultipleCheckStyle));
    for (auto* m : {checkCurrent, multi}) {
        m->addEntry("one");
        m->addEntry("two");
    }
    checkCurrent->setValue(1);
    checkCurrent->setValue(1);
    EXPECT_FALSE(checkCurrent->isCheckEntry(1));
    EXPECT_TRUE(checkCurrent->showsCheck(1));
    EXPECT_FALSE(checkCurrent->showsCheck(0));
    multi->setValue(1);
    EXPECT_TRUE(multi->isCheckEntry(1));
    multi->setValue(1);
    EXPECT_FALSE(multi->isCheckEntry(1));
    EXPECT_TRUE(multi->checkEntry(0, true));
    EXPECT_TRUE(multi->showsCheck(0));
    checkCurrent->setVisible(false);
    multi->setVisible(false);

    // 40 entries do not fit in 200 px: the panel fills the frame height and scrolls.
    auto* longMenu = h.add(new COptionMenu(CRect(150, 150, 200, 170), &h.listener, 23));
    for (int i = 0; i < 40; ++i) longMenu->addEntry(("item " + std::to_string(i)).c_str());
    h.click(160, 160);
    ASSERT_TRUE(longMenu->isPoppedUp());
    CView* overlay = h.frame->getModalView();
    ASSERT_NE(overlay, nullptr);
    // The panel is moved up and left into the frame; row i sits at 1 + 12 (arrow) + 18 i and
    // the wheel scrolls one entry per notch.
    h.wheel(170, 100, -3);
    h.click(170, 13 + 5);
    EXPECT_EQ(longMenu->getLastResult(), 3);
    // Keys scroll the hot entry into view: after 12 steps down the top row is no longer 0.
    h.click(160, 160);
    for (int i = 0; i < 12; ++i) h.key(VKEY_DOWN);
    h.click(170, 13 + 5);
    EXPECT_GT(longMenu->getLastResult(), 0);
    h.click(160, 160);
    h.key(VKEY_ESCAPE);
    EXPECT_FALSE(longMenu->isPoppedUp());
    EXPECT_EQ(h.frame->getModalView(), nullptr);
}

namespace {
struct IdleCounter : CView {
    IdleCounter() : CView(CRect(0, 0, 1, 1)) {}
    void onIdle() override { ++count; }
    int count = 0;
};
} // namespace

TEST(ToolkitTimers, IdleViewsTickAboutThirtyTimesASecondFromTheFramesIdle) {
    kelo::test::FakeServices services;
    Harness h;
    auto* v = h.add(new IdleCounter);
    v->setWantsIdle(true);
    services.now += 32;
    h.frame->idle();
    EXPECT_EQ(v->count, 0);
    services.now += 1; // 1000 / 30 ms
    h.frame->idle();
    EXPECT_EQ(v->count, 1);
    h.frame->idle();
    EXPECT_EQ(v->count, 1); // once per period, counted from the last tick
    services.now += 33;
    h.frame->idle();
    EXPECT_EQ(v->count, 2);
    v->setWantsIdle(false);
    services.now += 100;
    h.frame->idle();
    EXPECT_EQ(v->count, 2);
}

TEST(ToolkitFileSelector, ExtensionsFiltersAndAsynchronousAnswers) {
    kelo::test::FakeServices services;
    Harness h;
    CNewFileSelector* s = CNewFileSelector::create(h.frame, CNewFileSelector::kSelectFile);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CNewFileSelector::create(nullptr), nullptr);
    s->addFileExtension(CFileExtension("Pattern files", "pat"));
    s->setDefaultExtension(CFileExtension("Parameter files", "param"));
    s->setDefaultExtension(CFileExtension("Pattern files", "pat")); // only the first call counts
    EXPECT_EQ(s->getExtensions().size(), 2u);
    EXPECT_EQ(s->getDefaultExtension()->extension, "param");

    bool called = false;
    bool confirmed = true;
    services.fileAnswers.push_back({});
    EXPECT_TRUE(s->run([&](CNewFileSelector* sel, bool ok) {
        called = true;
        confirmed = ok;
        EXPECT_EQ(sel->getNumSelectedFiles(), 0);
    }));
    EXPECT_FALSE(s->run(CNewFileSelector::Callback())); // one at a time
    ASSERT_EQ(services.fileRequests.size(), 1u);
    const auto& r = services.fileRequests[0];
    ASSERT_EQ(r.filters.size(), 3u);
    EXPECT_EQ(r.filters[0].description, "All supported file types");
    EXPECT_EQ(r.filters[0].extensions, (std::vector<std::string>{"pat", "param"}));
    EXPECT_EQ(r.defaultFilter, 2u);
    EXPECT_EQ(r.defaultExtension, "param");
    EXPECT_FALSE(called); // the answer comes from idle, never from inside run()
    h.frame->idle();
    EXPECT_TRUE(called);
    EXPECT_FALSE(confirmed);

    // A delegate hears only a confirmed choice.
    Dependent delegate(h.log, "delegate");
    services.fileAnswers.push_back({"/tmp/a.pat", "/tmp/b.pat"});
    s->run(&delegate);
    h.frame->idle();
    EXPECT_EQ(s->getNumSelectedFiles(), 1); // no multiple selection asked for
    EXPECT_STREQ(s->getSelectedFile(0), "/tmp/a.pat");
    EXPECT_EQ(s->getSelectedFile(1), nullptr);
    EXPECT_EQ(h.log.take(), (Lines{"delegate CNewFileSelector Select End Message"}));
    // A cancelled run drops its answer and lets go of its delegate.
    services.fileAnswers.push_back({"/tmp/c.pat"});
    s->run(&delegate);
    EXPECT_EQ(delegate.getNbReference(), 2);
    s->cancel();
    EXPECT_EQ(delegate.getNbReference(), 1);
    h.frame->idle();
    EXPECT_TRUE(h.log.lines.empty());
    s->forget();

    CNewFileSelector* folder = CNewFileSelector::create(h.frame, CNewFileSelector::kSelectDirectory);
    CNewFileSelector* save = CNewFileSelector::create(h.frame, CNewFileSelector::kSelectSaveFile);
    folder->run(CNewFileSelector::Callback());
    save->run(CNewFileSelector::Callback());
    EXPECT_EQ(services.fileRequests[3].kind, kelo::platform::FileDialogKind::kFolder);
    EXPECT_EQ(services.fileRequests[4].kind, kelo::platform::FileDialogKind::kSave);
    h.frame->idle();
    folder->forget();
    save->forget();
}

TEST(ToolkitFileSelector, ClosingTheFrameCancelsItsDialog) {
    kelo::test::FakeServices services;
    bool called = false;
    {
        Harness h;
        CNewFileSelector* s = CNewFileSelector::create(h.frame);
        services.fileAnswers.push_back({"/tmp/a.pat"});
        s->run([&](CNewFileSelector*, bool) { called = true; });
        s->forget(); // the running dialog keeps it until the answer, or until the answer is dropped
        EXPECT_EQ(services.pendingAnswers(), 1u);
    }
    EXPECT_EQ(services.cancelledOwners, std::vector<const void*>{nullptr});
    EXPECT_EQ(services.pendingAnswers(), 0u);
    services.poll();
    EXPECT_FALSE(called);
}
