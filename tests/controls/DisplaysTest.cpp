// The digit display and the floating display: what they show, how they are dragged, and that
// they stay where the editor put them.
#include <cmath>

#include "ControlTestSupport.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CScrollMultipleDigits.h"
#include "toolkit/controls/CButtons.h"

using namespace kelo;
using namespace kelo::test;

namespace {

constexpr int kTens = 1202, kOnes = 1203; // STEPDIGITS10, STEPDIGITS1

// Digits of 12 x 22 at (50, 10) and (62, 10); the display's own rectangle ends at x = 70, so
// the second digit lies partly outside it.
CScrollMultipleDigits* digits(Screen& s) {
    auto* d = s.add(new CScrollMultipleDigits(CRect(50, 10, 70, 32), &s.listener, 502, 2));
    for (int i = 0; i < 2; ++i) {
        CBitmap* strip = skinBitmap(i == 0 ? "stepdigits10.png" : "stepdigits1.png");
        d->setDigit(i, CRect(50 + 12 * i, 10, 62 + 12 * i, 32), strip);
        strip->forget();
    }
    return d;
}

} // namespace

TEST(DigitDisplay, ShowsTheIntegerPartWithLeadingZeros) {
    Screen s;
    CScrollMultipleDigits* d = digits(s);
    EXPECT_EQ(d->getMax(), 99);
    EXPECT_FALSE(d->setDigit(2, CRect(0, 0, 5, 5), nullptr));
    for (auto [v, tens, ones] : {std::tuple{7.0f, 0, 7}, {7.9f, 0, 7}, {64.0f, 6, 4}}) {
        d->setValue(v);
        EXPECT_EQ(s.pixel(55, 20), skinColour(kTens, tens)) << v;
        EXPECT_EQ(s.painted(72, 20), skinColour(kOnes, ones)) << v;
    }
    // The digit outside the display's own rectangle is drawn, but takes no press.
    EXPECT_EQ(d->getViewSize(), CRect(50, 10, 74, 32));
    EXPECT_EQ(s.down(72, 20), kMouseEventNotHandled);
    // At most 7 digits; a number wider than the display shows a 9 in front.
    EXPECT_EQ(s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 12))->getMax(), 9999999);
    auto* one = s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 1));
    one->setMax(150);
    one->setValue(127);
    EXPECT_EQ(one->shownDigit(0), 9);
    one->setValue(NAN);
    EXPECT_EQ(one->shownDigit(0), 0);
}

TEST(DigitDisplay, DragWheelAndOutsideValues) {
    Screen s;
    CScrollMultipleDigits* d = digits(s);
    d->setValue(10);
    s.log.clear();
    s.down(55, 20);
    s.move(55, -20); // 40 px up at 0.25 per pixel, reported once
    s.move(55, -20);
    s.move(55, 300); // bounded at 0
    s.up(55, 300);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 502", "value 10", "value 20", "value 0", "value 0",
                                   "editor end 502", "end"}));
    d->setValue(10);
    s.down(55, 20, kLButton | kShift); // a tenth of the speed
    s.move(55, -20, kLButton | kShift);
    s.up(55, -20);
    EXPECT_FLOAT_EQ(d->getValue(), 11);
    // A notch is ten wheel increments, one with Shift, each in its own edit.
    d->setValue(10);
    d->setWheelInc(1);
    s.log.clear();
    s.wheel(55, 20, 1);
    s.wheel(55, 20, -1, kShift);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 502", "value 20", "editor end 502", "end", "begin",
                                   "editor begin 502", "value 19", "editor end 502", "end"}));
    // From outside: bounded, and announced to dependents only when the bounded value changed.
    gui::test::Dependent dep(s.log, "dep");
    d->addDependency(&dep);
    for (float v : {99.0f, 250.0f, -3.0f}) d->setValue(v);
    EXPECT_EQ(s.log.take(), (Lines{"dep kMessageValueChanged", "dep kMessageValueChanged"}));
    d->removeDependency(&dep);
}

TEST(FloatingDisplay, FitsItsTextAroundAFixedAnchor) {
    Screen s;
    auto* f = s.add(new CFloatingDisplay(CRect(100, 50, 100, 50), nullptr, 113, nullptr));
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(80, 50, 120, 63)); // no text: 40 wide
    f->setLine(0, "0123456789");
    f->setLine(1, std::string(400, 'x'));
    f->setLineCount(1); // only the lines shown count
    f->fitToText();
    f->fitToText(); // refitting does not wander off
    EXPECT_EQ(f->getViewSize(), CRect(70, 50, 130, 63));
    EXPECT_EQ(f->getLine(1).size(), 255u);
    f->setViewSize(CRect(200, 20, 200, 20)); // moved by the editor: the new anchor
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(170, 20, 230, 33));
}

TEST(FloatingDisplay, DrawsOnlyWhileShownAndLetsClicksThrough) {
    Screen s;
    s.add(new CKickButton(CRect(100, 40, 160, 70), &s.listener, 7, nullptr));
    CBitmap* backdrop = skinBitmap("midiccbox.png"); // one image, 60 x 13
    auto* f = s.add(new CFloatingDisplay(CRect(100, 50, 160, 63), nullptr, 113, backdrop));
    backdrop->forget();
    f->setMouseableArea(f->getViewSize());
    f->setLineCount(0);
    EXPECT_EQ(s.pixel(110, 56), 0xff000000u);
    f->show();
    EXPECT_NEAR(int(s.pixel(110, 56) >> 16 & 0xff), 113 * 180 / 255, 1); // the backdrop at 180/255
    EXPECT_EQ(s.painted(100, 50), 0xffffffffu);                           // white frame
    EXPECT_FALSE(f->isDirty());
    f->setHighlight(true);
    f->setBackdropOpacity(255);
    EXPECT_EQ(s.pixel(100, 50), 0xffff0000u);
    EXPECT_EQ(s.painted(110, 56), skinColour(113, 0));
    f->hide();
    EXPECT_EQ(s.pixel(110, 56), 0xff000000u);
    // The key under the pop-up takes the click.
    f->show();
    s.log.clear();
    s.down(110, 56);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 7"}));
}

TEST(FloatingDisplay, BackdropFramesWrap) {
    Screen s;
    auto* f = s.add(new CFloatingDisplay(CRect(), nullptr, 113, nullptr));
    f->nextFrame();
    EXPECT_EQ(f->getValue(), 0); // step and span 24: one frame
    f->setSpan(72);
    std::vector<float> seen;
    for (int i = 0; i < 3; ++i, f->nextFrame()) seen.push_back(f->getValue());
    f->previousFrame();
    seen.push_back(f->getValue());
    f->setValue(48); // a pixel position, not a 0..1 value
    seen.push_back(f->getValue());
    EXPECT_EQ(seen, (std::vector<float>{0, 24, 48, 47, 48}));
}
