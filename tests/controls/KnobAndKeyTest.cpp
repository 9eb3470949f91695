// The animated knob and the illuminated key: frames shown, drags, the fade, and one command
// per click however the pointer wanders.
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
constexpr uint32_t kBlack = 0xff000000u, kWhite = 0xffffffffu;

// The test skin's cutoff strip has 101 frames of 40 x 40; the knob sits at (100, 50).
CMyAnimKnob* knob(Screen& s, int32_t frames, float value = 0.0f) {
    CBitmap* strip = skinBitmap("cutoffknob.png");
    auto* k = s.add(new CMyAnimKnob(CRect(100, 50, 140, 90), &s.listener, kCutoff, frames, 40, strip));
    strip->forget();
    k->setValue(value);
    k->setZoomFactor(2.0f);
    return k;
}

} // namespace

TEST(AnimKnob, ShowsTheTruncatedFrameOfItsValue) {
    Screen s;
    CMyAnimKnob* k = knob(s, 100); // 100 of the strip's 101 frames: 0.5 x 99 = 49.5 shows 49
    for (auto [value, frame] : {std::pair{0.5f, 49}, {0.999f, 98}, {1.0f, 99}, {0.0f, 0}}) {
        k->setValue(value);
        EXPECT_EQ(s.pixel(120, 70), skinColour(kCutoff, frame)) << value;
    }
    EXPECT_FALSE(k->isDirty());
    k->setInverse(true);
    k->setValue(0.25f);
    EXPECT_EQ(s.pixel(120, 70), skinColour(kCutoff, 74));
    k->setValue(NAN); // from a careless host: the top frame, no conversion of a non-number
    EXPECT_EQ(k->frameOffset(), 0);
    // No whole frame: neither a hang nor a read outside the picture.
    EXPECT_EQ(knob(s, 0, 1.0f)->frameOffset(), 0);
    EXPECT_EQ(s.add(new CMyAnimKnob(CRect(), nullptr, 1, 10, 0, nullptr))->frameOffset(), 0);
}

TEST(AnimKnob, PointerStartsAtTheInnerRadiusAndFollowsTheValue) {
    Screen s;
    CMyAnimKnob* k = s.add(new CMyAnimKnob(CRect(100, 50, 140, 90), nullptr, 1, 1, 40, nullptr));
    k->setPointer(true);
    k->setPointerWidth(1);
    k->setValue(0.5f); // 0 degrees: from 5 to 10 px right of the centre (120, 70)
    EXPECT_EQ(s.pixel(128, 70), kWhite);
    EXPECT_EQ(s.painted(123, 70), kBlack);
    EXPECT_EQ(s.painted(112, 70), kBlack);
    k->setValue(0.0f); // -140 degrees: down and to the left
    EXPECT_EQ(s.pixel(128, 70), kBlack);
    EXPECT_NE(s.painted(113, 76), kBlack);
}

TEST(AnimKnob, LinearDragWithFineAdjustAndSnap) {
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
    const std::pair<int, float> steps[] = {{-40, 0.55f}, {-60, 0.6f}, {-80, 0.65f}, {-100, 0.75f}};
    for (auto [y, value] : steps) {
        s.move(120, y, y > -80 ? kLButton | kShift : kLButton);
        EXPECT_FLOAT_EQ(k->getValue(), value) << y;
    }
    s.up(120, -100);
    // The zoom held for that drag only.
    s.down(120, 70, kLButton | kShift);
    s.up(120, 70);
    s.down(120, 70);
    s.move(120, 50);
    s.up(120, 50);
    EXPECT_FLOAT_EQ(k->getValue(), 0.85f);
    // Snap with Shift: truncated multiples of 1/24 (at 400 px per range).
    k->setSnapEnabled(true);
    k->setValue(0.0f);
    s.down(120, 70, kLButton | kShift);
    s.move(120, 70 - 399.6, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 23.0f / 24.0f);
    s.move(120, 70 - 30, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 1.0f / 24.0f);
    s.up(120, 40);
    // Alt drags circularly in linear mode: from three o'clock to twelve on a gap at the bottom.
    k->setValue(0.2f);
    s.down(139, 70, kLButton | kAlt);
    s.move(120, 51, kLButton | kAlt);
    EXPECT_NEAR(k->getValue(), 0.5f, 0.01f);
    s.up(120, 51);
}

TEST(AnimKnob, CircularDragDoesNotJumpAcrossTheGap) {
    Screen s(300, 200, kCircularMode);
    CMyAnimKnob* k = knob(s, 101, 0.5f);
    s.down(138, 85); // lower right, near the maximum; the press alone changes nothing
    EXPECT_EQ(k->getValue(), 0.5f);
    s.move(134, 89);
    EXPECT_GT(k->getValue(), 0.9f);
    s.move(106, 89); // across the gap to the lower left
    EXPECT_EQ(k->getValue(), 1.0f);
    s.up(106, 89);
    k->setValue(0.0f); // Alt drags linearly in circular mode
    s.down(120, 70, kLButton | kAlt);
    s.move(120, 30, kLButton | kAlt);
    s.up(120, 30);
    EXPECT_FLOAT_EQ(k->getValue(), 0.2f);
    k->setDefaultValue(0.1f); // Ctrl+click: the default, in one edit bracket
    s.log.clear();
    s.down(120, 70, kLButton | kControl);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 202", "value 0.1", "editor end 202", "end"}));
}

namespace {

// Records the reports and counts releases inside: the moments a key's command runs.
struct KeyListener : IControlListener {
    void valueChanged(CControl* c) override {
        reports += c->getValue() > 0 ? "1" : "0";
        if (c->getValue() == 0 && static_cast<CIlluButton*>(c)->releasedInside()) ++commands;
    }
    std::string reports;
    int commands = 0;
};

} // namespace

TEST(IlluButton, RunsItsCommandOncePerClickWhereverThePointerWent) {
    Screen s;
    KeyListener l;
    auto* b = s.add(new CIlluButton(CRect(10, 10, 40, 30), &l, kIllu1, 20, nullptr));
    // Press at (20, 20), the moves, release at the last point.
    const std::tuple<std::vector<CPoint>, std::string, int> gestures[] = {
        {{{20, 20}}, "10", 1},
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
    l = KeyListener();
    s.down(20, 20);
    s.frame->onMouseCancel();
    EXPECT_FALSE(b->isEditing());
    EXPECT_EQ(b->getValue(), 0);
    // Return on the focused key is a click too; another button is no press.
    s.frame->setFocusView(b);
    s.key(VKEY_RETURN);
    VstKeyCode ret{0, VKEY_RETURN, 0};
    s.frame->onKeyUp(ret);
    EXPECT_EQ(l.commands, 1);
    EXPECT_EQ(s.down(20, 20, kRButton), kMouseEventNotHandled);
}

TEST(IlluButton, FadesTowardsItsLight) {
    Screen s;
    auto* b = s.add(new CIlluButton(CRect(10, 10, 40, 30), nullptr, kIllu1, 20, nullptr));
    s.idle();
    b->setFading(true);
    b->setLit(true);
    // Redraws are asked for until the level is within 0.01 of the target.
    for (auto [level, dirty] : {std::pair{0.75f, true}, {0.9375f, true}, {0.984375f, true}, {0.99609375f, false}}) {
        b->stepFade();
        EXPECT_FLOAT_EQ(b->getLightLevel(), level);
        EXPECT_EQ(b->isDirty(), dirty) << level;
        s.idle();
    }
    b->setLit(false);
    b->stepFade();
    EXPECT_FLOAT_EQ(b->getLightLevel(), 0.25f * 0.99609375f);
    b->setLit(true);
    b->setLit(true); // on twice in a row: full light at once
    EXPECT_EQ(b->getLightLevel(), 1.0f);
}

TEST(IlluButton, DrawsLitPressedFadingAndBareImages) {
    Screen s;
    CBitmap* bitmap = skinBitmap("illubutton1.png"); // four images of 30 x 20
    auto* b = s.add(new CIlluButton(CRect(10, 10, 40, 30), nullptr, kIllu1, 20, bitmap));
    bitmap->forget();
    // Released, pressed, dragged out (released again), lit, lit and pressed.
    const std::function<void()> steps[] = {[] {}, [&] { s.down(25, 20); }, [&] { s.move(80, 80); },
                                           [&] { b->setLit(true); }, [&] { s.move(25, 20); }};
    const int images[] = {0, 1, 0, 2, 3};
    for (int i = 0; i < 5; ++i) {
        steps[i]();
        EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, images[i])) << i;
    }
    s.up(25, 20);
    // Half faded: the lit image over the opaque unlit one, nothing of the panel showing.
    b->setFading(true);
    b->setLightLevel(0.5f);
    const uint32_t p = s.pixel(25, 20);
    EXPECT_NEAR(int(p & 0xff), 3, 1); // blue 1 (unlit) and 5 (lit)
    EXPECT_EQ(p >> 8, skinColour(kIllu1, 0) >> 8);
    // Without a bitmap: an outline, and a cross while pressed.
    s.add(new CIlluButton(CRect(50, 10, 80, 40), nullptr, kIllu1, 30, nullptr));
    EXPECT_EQ(s.pixel(50, 10), kWhite);
    EXPECT_EQ(s.painted(60, 20), kBlack);
    s.down(65, 20);
    EXPECT_EQ(s.pixel(60, 20), kWhite);     // on the diagonal from (50, 10)
    EXPECT_EQ(s.painted(69, 20), kWhite);   // on the other one
    EXPECT_EQ(s.painted(65, 12), kBlack);
}
