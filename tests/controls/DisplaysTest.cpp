// The about box, sprites moved by hand and by the clock, the digits and the learn label.
#include <algorithm>
#include "ControlTestSupport.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CMySplashScreen.h"
#include "editor/controls/CScrollMultipleDigits.h"
#include "toolkit/controls/CButtons.h"
using namespace kelo;
using namespace kelo::test;

namespace {
// Closed at (10, 10, 40, 30); open over (30, 20, 367, 250), the size of the module's picture.
CMySplashScreen* aboutBox(Screen& s) {
    CBitmap* picture = skinBitmap("background.png");
    auto* box = s.add(new CMySplashScreen(CRect(10, 10, 40, 30), &s.listener, 100, picture, CRect(30, 20, 367, 250)));
    picture->forget();
    return box;
}

// Centre of the ink in rows top..bottom-1 of the open box, after a full repaint or one idle.
double inkCentre(Screen& s, int top, int bottom, bool all = true) {
    all ? void(s.pixel(0, 0)) : s.idle();
    int left = 10000, right = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 30; x < 367; ++x)
            if (s.painted(x, y) != skinColour(0, 0)) left = std::min(left, x), right = std::max(right, x);
    return (left + right + 1) / 2.0;
}
} // namespace

TEST(AboutBox, OpensAndClosesWithClicksAndTheLinkOnlyOnClosing) {
    Screen s(400, 300);
    CMySplashScreen* box = aboutBox(s);
    box->setLink(true, "https://example.org/kelo");
    box->setLinkRect(CRect(60, 150, 100, 160));
    s.down(20, 20, kRButton);
    EXPECT_FALSE(box->isExpanded());
    s.down(20, 20);
    EXPECT_EQ(s.log.take(), (Lines{"value 1"}));
    EXPECT_EQ(s.pixel(32, 22), skinColour(0, 0)); // the picture at the open rectangle
    CBitmap* credits = skinBitmap("patchdisplay.png"); // 18 high: scrolls up to 18 - 5 pixels
    box->setCreditsImage(credits);
    credits->forget();
    box->setCreditsRect(CRect(10, 10, 110, 15));
    box->scrollCredits(13);
    EXPECT_EQ(box->getCreditsScroll(), 13);
    box->setCreditsImage(credits); // new credits start from the top
    EXPECT_EQ(box->getCreditsScroll(), 0);
    // Closed just outside the link (right edge excluded), opened, closed in it: one page.
    s.down(100, 150);
    EXPECT_FALSE(box->isExpanded());
    EXPECT_EQ(box->getViewSize(), CRect(10, 10, 40, 30));
    s.down(20, 20);
    EXPECT_EQ(box->getCreditsScroll(), 0); // from the top at each opening
    EXPECT_TRUE(s.services.urls.empty());
    s.down(60, 150);
    EXPECT_EQ(s.services.urls, (std::vector<std::string>{"https://example.org/kelo"}));
    box->setAnyButton(true);
    s.down(20, 20, kRButton);
    EXPECT_TRUE(box->isExpanded());
    box->collapse();
    EXPECT_FALSE(box->isExpanded());
}

TEST(AboutBox, VersionTexts) {
    Screen s(400, 300);
    CMySplashScreen* box = aboutBox(s);
    box->setVersionText(std::string(300, 'v'));
    EXPECT_EQ(box->versionText().size(), 255u);
    box->setVersionText("");
    EXPECT_EQ(box->versionText(), "KELO.9.2.3(64-bit)");
    box->setCreditsRect(CRect(10, 10, 110, 15)); // a place for credits, but none to show
    // Centred in its 280 x 13 box at (17, 160) of the picture: 47..327; the extra line moved.
    box->setExtraText("Extra");
    box->expand();
    EXPECT_NEAR(inkCentre(s, 180, 193), 187, 2);
    box->setSecondLinePlace(17, 60);
    EXPECT_NEAR(inkCentre(s, 96, 109, false), 187, 2);
    box->setExtraText("");
    EXPECT_GT(inkCentre(s, 96, 109, false), 1000); // no ink left
}

TEST(AnimSprite, StepsThroughItsFramesMovesAndRunsByTheClock) {
    Screen s;
    auto* sprite = s.addWith<CAnimSprite>("skinsplash.png", CRect(100, 100, 124, 124), nullptr, 115);
    EXPECT_EQ(s.pixel(110, 110), kBlack); // new sprites are hidden
    sprite->show();
    sprite->nextFrame(); // the step is the view's height, the span the strip's
    sprite->nextFrame();
    EXPECT_EQ(s.pixel(110, 110), skinColour(115, 2));
    sprite->moveTo(-5, 7);
    sprite->moveBy(-5, -7);
    EXPECT_EQ(sprite->getViewSize(), CRect(-10, 0, 14, 24));
    // One pixel left per 50 ms, frames stepping, hidden once off the left edge.
    sprite->setValue(0);
    sprite->startAnimation(50, -1, 0, true, -16);
    s.services.now += 50;
    sprite->onIdle();
    EXPECT_EQ(sprite->getX(), -11);
    EXPECT_EQ(sprite->getValue(), 24);
    for (int i = 0; i < 20; ++i) s.idle(50);
    EXPECT_EQ(sprite->getX(), -16);
    EXPECT_FALSE(sprite->isAnimating());
    EXPECT_EQ(s.painted(2, 10), kBlack);
}

TEST(DigitDisplay, ShowsTheIntegerPartWithLeadingZerosAndIsDraggedInOneEdit) {
    Screen s;
    // Digits of 12 x 22 at (50, 10) and (62, 10), the second partly outside the display.
    auto* d = s.add(new CScrollMultipleDigits(CRect(50, 10, 70, 32), &s.listener, 502, 2));
    for (int i = 0; i < 2; ++i) {
        CBitmap* strip = skinBitmap(i == 0 ? "stepdigits10.png" : "stepdigits1.png");
        d->setDigit(i, CRect(50 + 12 * i, 10, 62 + 12 * i, 32), strip);
        strip->forget();
    }
    d->setValue(64.9f);
    EXPECT_EQ(s.pixel(55, 20), skinColour(1202, 6));
    EXPECT_EQ(s.painted(72, 20), skinColour(1203, 4));
    EXPECT_EQ(s.down(72, 20), kMouseEventNotHandled); // drawn outside, but takes no press there
    // 40 px up at 0.25 per pixel, reported once; bounded at 0; a tenth of that with Shift.
    d->setValue(10);
    s.log.take();
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
    d->setWheelInc(1); // a notch is ten increments, one with Shift
    EXPECT_TRUE(s.frame->platformOnMouseWheel(CPoint(55, 20), kMouseWheelAxisY, 1, 0));
    EXPECT_TRUE(s.frame->platformOnMouseWheel(CPoint(55, 20), kMouseWheelAxisY, -1, kShift));
    EXPECT_FLOAT_EQ(d->getValue(), 10);
    EXPECT_EQ(s.add(new CScrollMultipleDigits(CRect(), nullptr, 1, 12))->getMax(), 9999999); // 7 at most
}

TEST(FloatingDisplay, FitsItsTextAroundItsAnchorDrawsOnlyWhileShownAndLetsClicksThrough) {
    Screen s;
    s.add(new CKickButton(CRect(100, 40, 160, 70), &s.listener, 7, nullptr));
    auto* f = s.addWith<CFloatingDisplay>("midiccbox.png", CRect(130, 50, 130, 50), nullptr, 113); // 60 x 13
    f->setLine(0, "0123456789");
    f->setLine(1, std::string(400, 'x'));
    EXPECT_EQ(f->getLine(1).size(), 255u);
    f->setLineCount(1); // only the lines shown count
    f->fitToText();
    EXPECT_EQ(f->getViewSize(), CRect(100, 50, 160, 63));
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
    f->setLineCount(1);
    s.idle();
    int ink = 0;
    for (int x = 101; x < 159; ++x) ink += s.painted(x, 56) != skinColour(113, 0);
    EXPECT_GT(ink, 0);
    f->hide();
    s.idle();
    EXPECT_EQ(s.painted(110, 56), kBlack);
    f->show();
    s.log.take();
    s.down(110, 56); // the key under the pop-up takes the click
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 7"}));
}
