// The animated knob and the illuminated key: frames, drags, the fade, one command per click.
#include <cmath>
#include <functional>
#include <tuple>
#include "ControlTestSupport.h"
#include "editor/controls/CIlluButton.h"
#include "editor/controls/CMyAnimKnob.h"
using namespace kelo;
using namespace kelo::test;

namespace {
constexpr int kCutoff = 202, kIllu1 = 700;

// The test skin's cutoff strip has 101 frames of 40 x 40; the knob sits at (100, 50).
CMyAnimKnob* knob(Screen& s, int32_t frames, float value = 0.0f) {
    auto* k = s.addWith<CMyAnimKnob>("cutoffknob.png", CRect(100, 50, 140, 90), &s.listener, kCutoff, frames, 40);
    k->setValue(value);
    k->setZoomFactor(2.0f);
    return k;
}

// Counts releases inside: the moments a key's command runs.
struct KeyListener : IControlListener {
    void valueChanged(CControl* c) override {
        reports += c->getValue() > 0 ? "1" : "0";
        if (c->getValue() == 0 && static_cast<CIlluButton*>(c)->releasedInside()) ++commands;
    }
    std::string reports;
    int commands = 0;
};
} // namespace

TEST(AnimKnob, ShowsTheTruncatedFrameOfItsValueOrItsPointer) {
    Screen s;
    CMyAnimKnob* k = knob(s, 100); // 100 of the strip's 101 frames: 0.5 x 99 = 49.5 shows 49
    for (auto [value, frame] : {std::pair{0.5f, 49}, {1.0f, 99}}) {
        k->setValue(value);
        EXPECT_EQ(s.pixel(120, 70), skinColour(kCutoff, frame)) << value;
    }
    k->setInverse(true);
    EXPECT_TRUE(k->isDirty());
    k->setValue(0.25f);
    EXPECT_EQ(s.pixel(100, 50), skinColour(kCutoff, 74));
    // A pointer from 5 to 10 px off the centre (220, 70), at 0 degrees for 0.5.
    CMyAnimKnob* p = s.add(new CMyAnimKnob(CRect(200, 50, 240, 90), nullptr, 1, 1, 40, nullptr));
    p->setPointer(true);
    p->setPointerWidth(1);
    p->setValue(0.5f);
    EXPECT_EQ(s.pixel(228, 70), kWhite);
    EXPECT_EQ(s.painted(223, 70), kBlack);
    EXPECT_EQ(s.painted(212, 70), kBlack);
    p->setPointerRadii(2, 6);
    EXPECT_EQ(s.pixel(223, 70), kWhite);
    EXPECT_EQ(s.painted(228, 70), kBlack);
}

TEST(AnimKnob, DragsLinearlyWithFineAdjustOrCircularlyWithoutJumpingTheGap) {
    Screen s;
    CMyAnimKnob* k = knob(s, 101);
    for (float bad : {0.0f, -5.0f, NAN, INFINITY}) k->setDragRange(bad);
    EXPECT_EQ(k->getDragRange(), 200);
    // A press alone changes nothing; 100 px up is half the range, reported once.
    s.down(120, 70);
    s.move(120, -30);
    s.move(120, -30);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 202", "value 0.5"}));
    // Shift is seen at a move: no jump there, then half the speed until it is released.
    for (auto [y, value] : {std::pair{-40, 0.55f}, {-60, 0.6f}, {-80, 0.65f}, {-100, 0.75f}}) {
        s.move(120, y, y > -80 ? kLButton | kShift : kLButton);
        EXPECT_FLOAT_EQ(k->getValue(), value) << y;
    }
    s.up(120, -100);
    k->setValue(0.0f); // fine adjust from the press: 100 px are a quarter
    s.down(120, 70, kLButton | kShift);
    s.move(120, -30, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 0.25f);
    s.up(120, -30);
    // Alt drags circularly: from the lower right across the gap at the bottom, held at the top.
    k->setValue(0.5f);
    s.down(138, 85, kLButton | kAlt);
    EXPECT_EQ(k->getValue(), 0.5f);
    s.move(134, 89, kLButton | kAlt);
    EXPECT_GT(k->getValue(), 0.9f);
    s.move(106, 89, kLButton | kAlt);
    EXPECT_EQ(k->getValue(), 1.0f);
    s.up(106, 89);
}

TEST(IlluButton, RunsItsCommandOncePerClickWhereverThePointerWent) {
    Screen s;
    KeyListener l;
    auto* b = s.add(new CIlluButton(CRect(10, 10, 40, 30), &l, kIllu1, 20, nullptr));
    // Press at (20, 20), the moves, release at the last point.
    const std::tuple<std::vector<CPoint>, std::string, int> gestures[] = {
        {{{60, 20}, {61, 20}, {25, 25}}, "1010", 1}, // out and back in
        {{{60, 20}}, "100", 0},                      // out and released there
        {{{40, 30}}, "10", 1},                       // the edges are inside
    };
    for (const auto& [path, reports, commands] : gestures) {
        l = KeyListener();
        s.down(20, 20);
        for (const CPoint& p : path) s.move(p.x, p.y);
        s.up(path.back().x, path.back().y);
        EXPECT_EQ(l.reports, reports);
        EXPECT_EQ(l.commands, commands) << reports;
        EXPECT_FALSE(b->isEditing());
    }
    // A drag cut short (the key removed, the window gone) ends the edit and runs nothing.
    s.down(20, 20);
    s.frame->onMouseCancel();
    EXPECT_FALSE(b->isEditing());
    EXPECT_EQ(b->getValue(), 0);
    EXPECT_EQ(s.down(20, 20, kRButton), kMouseEventNotHandled);
    // Return on the focused key is a click too.
    s.frame->setFocusView(b);
    VstKeyCode ret{0, VKEY_RETURN, 0};
    s.frame->onKeyDown(ret);
    EXPECT_EQ(s.frame->onKeyUp(ret), 1);
    EXPECT_EQ(l.commands, 2); // the last gesture's and this one
}

TEST(IlluButton, DrawsLitPressedFadingAndBareImages) {
    Screen s;
    auto* b = s.addWith<CIlluButton>("illubutton1.png", CRect(10, 10, 40, 30), nullptr, kIllu1, 20);
    // Released, pressed, dragged out (released again), lit, lit and pressed.
    const std::function<void()> steps[] = {[] {}, [&] { s.down(25, 20); }, [&] { s.move(80, 80); },
                                           [&] { b->setLit(true); }, [&] { s.move(25, 20); }};
    const int images[] = {0, 1, 0, 2, 3};
    for (int i = 0; i < 5; ++i) {
        steps[i]();
        EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, images[i])) << i;
    }
    s.up(25, 20);
    // Fading: a quarter of the way left per step, redrawn until within 0.01 of the light.
    b->setFading(true);
    s.idle();
    EXPECT_FALSE(b->isDirty());
    b->stepFade();
    EXPECT_FLOAT_EQ(b->getLightLevel(), 0.75f);
    EXPECT_TRUE(b->isDirty());
    b->setLit(true); // on again while lit: full light at once
    EXPECT_EQ(b->getLightLevel(), 1.0f);
    b->setLightLevel(0.5f); // the lit image (blue 5) half over the opaque unlit one (blue 1)
    EXPECT_EQ(s.pixel(25, 20) & 0xffffff00u, skinColour(kIllu1, 0) & 0xffffff00u);
    EXPECT_NEAR(int(s.painted(25, 20) & 0xff), 3, 1);
    // Without a bitmap: an outline, and a cross while pressed.
    s.add(new CIlluButton(CRect(50, 10, 80, 40), nullptr, kIllu1, 30, nullptr));
    EXPECT_EQ(s.pixel(50, 10), kWhite);
    EXPECT_EQ(s.painted(60, 20), kBlack);
    s.down(65, 20);
    EXPECT_EQ(s.pixel(60, 20), kWhite);   // on the diagonal from (50, 10)
    EXPECT_EQ(s.painted(69, 20), kWhite); // on the other one
    EXPECT_EQ(s.painted(65, 12), kBlack);
}
