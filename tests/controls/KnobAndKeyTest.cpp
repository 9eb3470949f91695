// The animated knob and the illuminated key: frames shown, drags, the fade, and one command
// per click however the pointer wanders.
#include <cmath>

#include "ControlTestSupport.h"
#include "editor/controls/CIlluButton.h"
#include "editor/controls/CMyAnimKnob.h"

using namespace kelo;
using namespace kelo::test;

namespace {

constexpr int kCutoff = 202;
constexpr int kIllu1 = 700;

CMyAnimKnob* knob(Screen& s, int32_t frames, float value = 0.0f) {
    CBitmap* strip = skinBitmap("cutoffknob.png"); // 101 frames of 40 x 40
    auto* k = s.add(new CMyAnimKnob(CRect(100, 50, 140, 90), &s.listener, kCutoff, frames, 40, strip));
    strip->forget();
    k->setValue(value);
    return k;
}

} // namespace

TEST(AnimKnob, ShowsTheTruncatedFrameOfItsValue) {
    Screen s;
    CMyAnimKnob* k = knob(s, 100);
    // The frame count is the creator's (100 of the strip's 101): 0.5 x 99 = 49.5 shows 49.
    for (auto [value, frame] : {std::pair{0.5f, 49}, {0.999f, 98}, {1.0f, 99}, {0.0f, 0}, {-0.5f, 0}}) {
        k->setValue(value);
        k->CControl::setValue(value); // below the minimum only through the raw setter path
        EXPECT_EQ(s.pixel(120, 70), skinColour(kCutoff, frame)) << value;
    }
    k->setInverse(true);
    k->setValue(0.25f);
    EXPECT_EQ(s.pixel(120, 70), skinColour(kCutoff, 74));
    // A strip without a whole frame neither hangs nor reads outside the picture.
    CMyAnimKnob* flat = knob(s, 0, 1.0f);
    EXPECT_EQ(flat->frameOffset(), 0);
    CMyAnimKnob* zero = s.add(new CMyAnimKnob(CRect(0, 0, 10, 10), nullptr, 1, 10, 0, nullptr));
    zero->setValue(0.7f);
    EXPECT_EQ(zero->frameOffset(), 0);
}

TEST(AnimKnob, PointerLineFollowsTheValue) {
    Screen s;
    CMyAnimKnob* k = s.add(new CMyAnimKnob(CRect(100, 50, 140, 90), nullptr, 1, 1, 40, nullptr));
    k->setPointer(true);
    k->setPointerWidth(1);
    k->setValue(0.5f); // angle 0: to the right of the centre (120, 70)
    EXPECT_EQ(s.pixel(128, 70) & 0xffffff, 0xffffffu);
    EXPECT_EQ(s.pixel(112, 70), 0xff000000u);
    EXPECT_EQ(s.pixel(123, 70), 0xff000000u); // it starts 5 px from the centre
    k->setValue(0.0f); // -140 degrees: down and to the left
    EXPECT_EQ(s.pixel(128, 70), 0xff000000u);
    EXPECT_NE(s.pixel(113, 76), 0xff000000u);
}

TEST(AnimKnob, LinearDragWithFineAdjustAndSnap) {
    Screen s;
    CMyAnimKnob* k = knob(s, 101);
    k->setDragRange(200);
    k->setZoomFactor(2.0f);
    for (float bad : {0.0f, -5.0f, NAN, INFINITY}) k->setDragRange(bad);
    EXPECT_EQ(k->getDragRange(), 200);

    // A press alone changes nothing; 100 px up is half the range.
    s.down(120, 70);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 202"}));
    s.move(120, -30);
    s.move(120, -30);
    EXPECT_FLOAT_EQ(k->getValue(), 0.5f);
    EXPECT_EQ(s.log.take(), (Lines{"value 0.5"}));
    // Shift pressed on the way: no jump where it is first seen, then half the speed.
    s.move(120, -40, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 0.55f);
    s.move(120, -60, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 0.6f);
    s.move(120, -80); // released: seen here, so these 20 px still count fine
    EXPECT_FLOAT_EQ(k->getValue(), 0.65f);
    s.move(120, -100);
    EXPECT_FLOAT_EQ(k->getValue(), 0.75f);
    s.up(120, -100);
    // The zoom was for that drag only.
    s.down(120, 70, kLButton | kShift);
    s.up(120, 70);
    s.down(120, 70);
    s.move(120, 50);
    EXPECT_FLOAT_EQ(k->getValue(), 0.85f);
    s.up(120, 50);

    // Snap while Shift is held: truncated multiples of 1/24.
    k->setSnapEnabled(true);
    k->setValue(0.0f);
    s.down(120, 70, kLButton | kShift);
    s.move(120, 70 - 399.6, kLButton | kShift); // 0.999 at 400 px per range
    EXPECT_FLOAT_EQ(k->getValue(), 23.0f / 24.0f);
    s.move(120, 70 - 30, kLButton | kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 1.0f / 24.0f);
    s.up(120, 40);
    s.log.clear();

    // Alt in linear mode drags circularly: the first move jumps to the pointer's angle.
    k->setValue(0.2f);
    s.down(139, 70, kLButton | kAlt); // three o'clock of a knob with its gap at the bottom
    s.move(120, 51, kLButton | kAlt); // twelve o'clock
    EXPECT_NEAR(k->getValue(), 0.5f, 0.01f);
    s.up(120, 51);
}

TEST(AnimKnob, CircularDragDoesNotJumpAcrossTheGap) {
    Screen s(300, 200, kCircularMode);
    CMyAnimKnob* k = knob(s, 101, 0.5f);
    s.down(138, 85); // lower right: near the maximum; a press alone changes nothing
    EXPECT_EQ(k->getValue(), 0.5f);
    s.move(134, 89);
    EXPECT_GT(k->getValue(), 0.9f);
    s.move(106, 89); // across the bottom gap to the lower left
    EXPECT_EQ(k->getValue(), 1.0f);
    s.up(106, 89);
    // Alt drags linearly in circular mode.
    k->setValue(0.0f);
    s.down(120, 70, kLButton | kAlt);
    s.move(120, 30, kLButton | kAlt);
    EXPECT_FLOAT_EQ(k->getValue(), 0.2f);
    s.up(120, 30);
    // Ctrl+click goes back to the default value in one edit bracket.
    k->setDefaultValue(0.1f);
    s.log.clear();
    s.down(120, 70, kLButton | kControl);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 202", "value 0.1", "editor end 202", "end"}));
}

namespace {

// Records each report with whether it is a release inside: the moment a key's command runs.
struct KeyListener : IControlListener {
    void valueChanged(CControl* c) override {
        auto* b = static_cast<CIlluButton*>(c);
        reports += fmt(b->getValue());
        if (b->getValue() == 0 && b->releasedInside()) ++commands;
    }
    static std::string fmt(float v) { return v > 0 ? "1" : "0"; }
    std::string reports;
    int commands = 0;
};

CIlluButton* key(Screen& s, IControlListener* l, CBitmap* bitmap) {
    return s.add(new CIlluButton(CRect(10, 10, 40, 30), l, kIllu1, 20, bitmap));
}

} // namespace

TEST(IlluButton, RunsItsCommandOncePerClickWhereverThePointerWent) {
    Screen s;
    KeyListener l;
    CIlluButton* b = key(s, &l, nullptr);
    struct Gesture {
        std::vector<CPoint> path; // press, moves..., release at the last point
        std::string reports;
        int commands;
    };
    const Gesture gestures[] = {
        {{{20, 20}, {20, 20}}, "10", 1},
        {{{20, 20}, {60, 20}, {61, 20}, {25, 25}, {25, 25}}, "1010", 1}, // out and back in
        {{{20, 20}, {60, 20}, {60, 20}}, "100", 0},                      // out and released
        {{{20, 20}, {40, 30}, {40, 30}}, "10", 1},                       // the edges are inside
    };
    for (const Gesture& g : gestures) {
        l.reports.clear();
        l.commands = 0;
        s.down(g.path.front().x, g.path.front().y);
        for (size_t i = 1; i + 1 < g.path.size(); ++i) s.move(g.path[i].x, g.path[i].y);
        s.up(g.path.back().x, g.path.back().y);
        EXPECT_EQ(l.reports, g.reports);
        EXPECT_EQ(l.commands, g.commands) << g.reports;
        EXPECT_FALSE(b->isEditing());
    }
    // A drag cut short (the key removed, the window gone) ends the edit and runs nothing.
    l.commands = 0;
    s.down(20, 20);
    s.frame->onMouseCancel();
    EXPECT_FALSE(b->isEditing());
    EXPECT_EQ(b->getValue(), 0);
    EXPECT_EQ(l.commands, 0);
    // Return on the focused key is a click too; other buttons are not presses.
    l.commands = 0;
    s.frame->setFocusView(b);
    s.key(VKEY_RETURN);
    VstKeyCode ret{0, VKEY_RETURN, 0};
    s.frame->onKeyUp(ret);
    EXPECT_EQ(l.commands, 1);
    EXPECT_EQ(s.down(20, 20, kRButton), kMouseEventNotHandled);
}

TEST(IlluButton, FadesTowardsItsLight) {
    Screen s;
    CIlluButton* b = key(s, nullptr, nullptr);
    s.idle();
    b->setFading(true);
    b->setLit(true);
    std::vector<float> levels;
    for (int i = 0; i < 4; ++i) {
        b->stepFade();
        levels.push_back(b->getLightLevel());
        EXPECT_EQ(b->isDirty(), i < 3) << i; // asks for redraws until within 0.01 of the target
        s.idle();
    }
    EXPECT_FLOAT_EQ(levels[0], 0.75f);
    EXPECT_FLOAT_EQ(levels[1], 0.9375f);
    EXPECT_FLOAT_EQ(levels[2], 0.984375f);
    b->setLit(false);
    b->stepFade();
    EXPECT_FLOAT_EQ(b->getLightLevel(), 0.25f * levels[3]);
    // On twice in a row: full light at once.
    b->setLit(true);
    b->setLit(true);
    EXPECT_EQ(b->getLightLevel(), 1.0f);
}

TEST(IlluButton, DrawsLitPressedAndFadingImages) {
    Screen s;
    CBitmap* bitmap = skinBitmap("illubutton1.png"); // four images of 30 x 20
    CIlluButton* b = key(s, nullptr, bitmap);
    bitmap->forget();
    EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, 0));
    s.down(25, 20);
    EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, 1));
    s.move(80, 80); // dragged out: the released image
    EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, 0));
    b->setLit(true);
    EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, 2));
    s.move(25, 20);
    EXPECT_EQ(s.pixel(25, 20), skinColour(kIllu1, 3));
    s.up(25, 20);
    // Half faded: the lit image over the unlit one at half strength, nothing of the panel.
    b->setFading(true);
    b->setLightLevel(0.5f);
    const uint32_t p = s.pixel(25, 20);
    EXPECT_NEAR(int(p & 0xff), 3, 1); // blue channels 1 (unlit) and 5 (lit)
    EXPECT_EQ(p >> 8, skinColour(kIllu1, 0) >> 8);
}

TEST(IlluButton, WithoutABitmapShowsItsPressWithACross) {
    Screen s;
    s.add(new CIlluButton(CRect(10, 10, 40, 40), nullptr, kIllu1, 30, nullptr));
    EXPECT_EQ(s.pixel(10, 10), 0xffffffffu); // the outline
    EXPECT_EQ(s.pixel(20, 20), 0xff000000u);
    s.down(25, 20);
    EXPECT_EQ(s.pixel(20, 20), 0xffffffffu); // on the diagonal from (10, 10)
    EXPECT_EQ(s.pixel(29, 20), 0xffffffffu); // on the other one
    EXPECT_EQ(s.pixel(25, 12), 0xff000000u);
    s.up(25, 20);
    EXPECT_EQ(s.pixel(20, 20), 0xff000000u);
}
