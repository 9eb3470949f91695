// The digit display and the floating display: what they show, how they are dragged, and that
// they stay where the editor put them.
#include <cmath>

#include "ControlTestSupport.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CScrollMultipleDigits.h"
#include "toolkit/controls/CButtons.h"

using namespace kelo;
using namespace kelo::test;

TEST(DigitDisplay, ShowsTheIntegerPartWithLeadingZerosAndIsDraggedInOneEdit) {
    Screen s;
    // Digits of 12 x 22 at (50, 10) and (62, 10), the second partly outside the display.
    auto* d = s.add(new CScrollMultipleDigits(CRect(50, 10, 70, 32), &s.listener, 502, 2));
    for (int i = 0; i < 2; ++i) {
        CBitmap* strip = skinBitmap(i == 0 ? "stepdigits10.png" : "stepdigits1.png");
        d->setDigit(i, CRect(50 + 12 * i, 10, 62 + 12 * i, 32), strip);
        strip->forget();
    }
    EXPECT_EQ(d->getMax(), 99);
    for (auto [v, tens, ones] : {std::tuple{7.9f, 0, 7}, {64.0f, 6, 4}}) {
        d->setValue(v);
        EXPECT_EQ(s.pixel(55, 20), skinColour(1202, tens)) << v;
        EXPECT_EQ(s.painted(72, 20), skinColour(1203, ones)) << v;
    }
    EXPECT_EQ(s.down(72, 20), kMouseEventNotHandled); // drawn outside, but takes no press there
    // 40 px up at 0.25 per pixel, reported once; bounded at 0; a tenth of that with Shift.
    d->setValue(10);
    s.log.clear();
    EXPECT_EQ(s.down(55, 20, kRButton), kMouseEventNotHandled);
    s.down(55, 20);
    s.move(55, -20);
    s.move(55, -20);
    s.move(55, 300);
    s.up(55, 300);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 502", "value 10", "value 20", "value 0", "value 0",
                                   "editor end 502", "end"}));
    s.down(55, 20, kLButton | kShift);
    s.move(55, -20, kLButton | kShift);
    s.up(55, -20);
    EXPECT_FLOAT_EQ(d->getValue(), 1);
    // A notch is ten wheel increments, one with Shift.
    d->setWheelInc(1);
    EXPECT_TRUE(s.wheel(55, 20, 1));
    EXPECT_TRUE(s.wheel(55, 20, -1, kShift));
    EXPECT_FLOAT_EQ(d->getValue(), 10);
    // At most 7 digits; a number wider than the display shows a 9 in front.
    EXPECT_EQ(s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 12))->getMax(), 9999999);
    auto* one = s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 1));
    one->setMax(150);
    one->setValue(127);
    EXPECT_EQ(one->shownDigit(0), 9);
    one->setValue(NAN);
    EXPECT_EQ(one->shownDigit(0), 0);
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
    EXPECT_EQ(f->getLine(0), "0123456789");
    EXPECT_EQ(f->getLine(1).size(), 255u);
    f->setViewSize(CRect(200, 20, 200, 20)); // moved by the editor: the new anchor
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(170, 20, 230, 33));
}

TEST(FloatingDisplay, DrawsOnlyWhileShownAndLetsClicksThrough) {
    Screen s;
    s.add(new CKickButton(CRect(100, 40, 160, 70), &s.listener, 7, nullptr));
    auto* f = s.addWith<CFloatingDisplay>("midiccbox.png", CRect(100, 50, 160, 63), nullptr, 113); // 60 x 13
    f->setMouseableArea(f->getViewSize());
    f->setLineCount(0);
    EXPECT_EQ(s.pixel(110, 56), kBlack);
    f->show();
    EXPECT_NEAR(int(s.pixel(110, 56) >> 16 & 0xff), 113 * 180 / 255, 1); // the backdrop at 180/255
    EXPECT_EQ(s.painted(100, 50), kWhite);                                // white frame
    f->setHighlight(true); // each change repaints at the next idle by itself
    s.idle();
    EXPECT_EQ(s.painted(100, 50), 0xffff0000u);
    f->setBackdropOpacity(255);
    s.idle();
    EXPECT_EQ(s.painted(110, 56), skinColour(113, 0));
    f->setLine(0, "88");
    f->setLineCount(1);
    s.idle();
    int ink = 0;
    for (int x = 101; x < 159; ++x) ink += s.painted(x, 56) != skinColour(113, 0);
    EXPECT_GT(ink, 0);
    f->hide();
    s.idle();
    EXPECT_EQ(s.painted(110, 56), kBlack);
    // The key under the pop-up takes the click.
    f->show();
    s.log.clear();
    s.down(110, 56);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 7"}));
}
