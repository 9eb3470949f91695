// The digit display and the floating display: what they show, how they are dragged, and that
// they stay where the editor put them.
#include "ControlTestSupport.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CScrollMultipleDigits.h"
#include "toolkit/controls/CButtons.h"

using namespace kelo;
using namespace kelo::test;

namespace {

constexpr int kTens = 1202, kOnes = 1203; // STEPDIGITS10, STEPDIGITS1

// Two digits (12 x 22 each) at (50, 10) and (62, 10) of a display whose own rectangle is
// smaller than the digits: the second digit lies outside it.
CScrollMultipleDigits* digits(Screen& s, int32_t count = 2) {
    auto* d = s.add(new CScrollMultipleDigits(CRect(50, 10, 70, 32), &s.listener, 502, count));
    CBitmap* tens = skinBitmap("stepdigits10.png");
    CBitmap* ones = skinBitmap("stepdigits1.png");
    d->setDigit(0, CRect(50, 10, 62, 32), tens);
    d->setDigit(1, CRect(62, 10, 74, 32), ones);
    tens->forget();
    ones->forget();
    return d;
}

std::pair<uint32_t, uint32_t> shown(Screen& s) { return {s.pixel(55, 20), s.pixel(72, 20)}; }

} // namespace

TEST(DigitDisplay, ShowsTheIntegerPartWithLeadingZeros) {
    Screen s;
    CScrollMultipleDigits* d = digits(s);
    EXPECT_EQ(d->getMax(), 99);
    EXPECT_FALSE(d->setDigit(2, CRect(0, 0, 5, 5), nullptr));
    EXPECT_EQ(d->getDigitRect(1), CRect(62, 10, 74, 32));
    EXPECT_EQ(d->getDigitRect(2), CRect());
    for (float v : {7.0f, 7.9f}) {
        d->setValue(v);
        EXPECT_EQ(shown(s), std::pair(skinColour(kTens, 0), skinColour(kOnes, 7))) << v;
    }
    d->setValue(64);
    EXPECT_EQ(shown(s), std::pair(skinColour(kTens, 6), skinColour(kOnes, 4)));
    // The digit outside the display's own rectangle is drawn, but takes no press.
    EXPECT_EQ(d->getViewSize(), CRect(50, 10, 74, 32));
    EXPECT_EQ(s.down(72, 20), kMouseEventNotHandled);

    // Digit counts are held to 1..7; a number wider than the display shows 9s in front.
    CScrollMultipleDigits* wide = s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 12));
    EXPECT_EQ(wide->getDigitCount(), 7);
    EXPECT_EQ(wide->getMax(), 9999999);
    CScrollMultipleDigits* one = s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 1));
    one->setMax(150);
    one->setValue(127);
    EXPECT_EQ(one->shownDigit(0), 9);
}

TEST(DigitDisplay, DragWheelAndOutsideValues) {
    Screen s;
    CScrollMultipleDigits* d = digits(s);
    d->setValue(10);
    s.log.clear();
    s.down(55, 20);
    s.move(55, -20); // 40 px up at 0.25 per pixel
    s.move(55, -20);
    EXPECT_EQ(d->getValue(), 20);
    s.move(55, 300); // bounded, not negative
    EXPECT_EQ(d->getValue(), 0);
    s.up(55, 300);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 502", "value 10", "value 20", "value 0", "value 0",
                                   "editor end 502", "end"}));
    d->setValue(10);
    s.down(55, 20, kLButton | kShift);
    s.move(55, -20, kLButton | kShift);
    EXPECT_FLOAT_EQ(d->getValue(), 11);
    s.up(55, -20);

    // A notch is ten wheel increments, one with Shift, each in its own edit.
    d->setValue(10);
    d->setWheelInc(1);
    s.log.clear();
    s.wheel(55, 20, 1);
    EXPECT_EQ(d->getValue(), 20);
    s.wheel(55, 20, -1, kShift);
    EXPECT_EQ(d->getValue(), 19);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 502", "value 20", "editor end 502", "end", "begin",
                                   "editor begin 502", "value 19", "editor end 502", "end"}));
    d->setMouseEnabled(false);
    EXPECT_FALSE(s.wheel(55, 20, 1));

    // From outside: bounded, and announced to dependents only when the bounded value changed.
    gui::test::Dependent dep(s.log, "dep");
    d->addDependency(&dep);
    d->setValue(99);
    d->setValue(250);
    d->setValue(-3);
    EXPECT_EQ(s.log.take(), (Lines{"dep kMessageValueChanged", "dep kMessageValueChanged"}));
    EXPECT_EQ(d->getValue(), 0);
    d->removeDependency(&dep);
}

namespace {

CFloatingDisplay* popup(Screen& s, CBitmap* backdrop = nullptr) {
    return s.add(new CFloatingDisplay(CRect(100, 50, 100, 50), nullptr, 113, backdrop));
}

} // namespace

TEST(FloatingDisplay, FitsItsTextAroundAFixedAnchor) {
    Screen s;
    CFloatingDisplay* f = popup(s);
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(80, 50, 120, 63)); // no text: 40 wide
    f->setLine(0, "0123456789");
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(70, 50, 130, 63));
    f->fitToText(); // refitting does not wander off
    EXPECT_EQ(f->getViewSize(), CRect(70, 50, 130, 63));
    f->setLine(1, std::string(400, 'x')); // cut at 255
    EXPECT_EQ(f->getLine(1).size(), 255u);
    f->setLineCount(1); // only shown lines count
    f->fitToText();
    EXPECT_EQ(f->getViewSize().getWidth(), 60);
    // Moved by the editor: the new place is the anchor.
    f->setViewSize(CRect(200, 20, 200, 20));
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(170, 20, 230, 33));
}

TEST(FloatingDisplay, DrawsOnlyWhileShownAndLetsClicksThrough) {
    Screen s;
    CBitmap* backdrop = skinBitmap("midiccbox.png"); // one image, 60 x 13
    CFloatingDisplay* f = popup(s, backdrop);
    backdrop->forget();
    f->setViewSize(CRect(100, 50, 160, 63));
    f->setMouseableArea(f->getViewSize());
    f->setLineCount(0);
    EXPECT_EQ(s.pixel(110, 56), 0xff000000u);
    EXPECT_FALSE(f->wasDrawn());
    f->show();
    const uint32_t p = s.pixel(110, 56);
    EXPECT_NEAR(int(p >> 16 & 0xff), 113 * 180 / 255, 1); // the backdrop at 180/255
    EXPECT_EQ(s.pixel(100, 50), 0xffffffffu);                // white frame
    f->setHighlight(true);
    EXPECT_EQ(s.pixel(100, 50), 0xffff0000u);
    f->setBackdropOpacity(255);
    EXPECT_EQ(s.pixel(110, 56), skinColour(113, 0));
    // The overlay goes over the backdrop at its own size.
    const uint32_t green[4] = {0xff00ff00u, 0xff00ff00u, 0xff00ff00u, 0xff00ff00u};
    auto* overlay = new CBitmap(green, 2, 2);
    f->setOverlay(overlay);
    overlay->forget();
    EXPECT_EQ(s.pixel(101, 51), 0xff00ff00u);
    EXPECT_EQ(s.painted(103, 53), skinColour(113, 0));
    EXPECT_FALSE(f->isDirty());
    f->hide();
    EXPECT_EQ(s.pixel(110, 56), 0xff000000u);

    // A key under the pop-up still takes the click.
    f->show();
    f->remember();
    s.frame->removeView(f, true);
    s.frame->addView(new CKickButton(CRect(100, 40, 160, 70), &s.listener, 7, nullptr));
    s.frame->addView(f); // on top of the key
    s.log.clear();
    s.down(110, 56);
    s.up(110, 56);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 7", "value 1", "value 0", "editor end 7", "end"}));
}

TEST(FloatingDisplay, BackdropFramesWrap) {
    Screen s;
    CFloatingDisplay* f = popup(s);
    f->nextFrame();
    EXPECT_EQ(f->getValue(), 0); // step and span 24: one frame
    f->setSpan(72);
    f->nextFrame();
    f->nextFrame();
    EXPECT_EQ(f->getValue(), 48);
    f->nextFrame();
    EXPECT_EQ(f->getValue(), 0);
    f->previousFrame();
    EXPECT_EQ(f->getValue(), 47);
    f->setValue(48); // a pixel position, not a 0..1 value
    EXPECT_EQ(f->getValue(), 48);
}
