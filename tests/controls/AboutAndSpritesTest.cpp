// The about box and the sprites: opening and closing, the link, the credits, the texts, and
// sprite frames moved by hand and by the clock.
#include <algorithm>

#include "ControlTestSupport.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CMySplashScreen.h"

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

// Centre of what differs from the picture in rows top..bottom-1 of the open box.
double inkCentre(Screen& s, int top, int bottom) {
    s.pixel(0, 0);
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
    EXPECT_EQ(s.pixel(20, 20), kBlack); // closed: nothing but a clickable area
    s.down(20, 20, kRButton);
    EXPECT_FALSE(box->isExpanded());
    s.log.clear();
    s.down(20, 20);
    EXPECT_EQ(s.log.take(), (Lines{"value 1"}));
    EXPECT_EQ(s.pixel(32, 22), skinColour(0, 0)); // the picture at the open rectangle
    // Credits scroll up to their height less their place's, then start from the top.
    CBitmap* credits = skinBitmap("patchdisplay.png"); // 18 high
    box->setCreditsImage(credits);
    credits->forget();
    box->setCreditsRect(CRect(10, 10, 110, 15));
    box->scrollCredits(13);
    EXPECT_EQ(box->getCreditsScroll(), 13);
    box->scrollCredits(1);
    EXPECT_EQ(box->getCreditsScroll(), 0);
    // Closed just outside the link (right edge excluded), opened, closed in it: one page.
    s.down(100, 150);
    EXPECT_FALSE(box->isExpanded());
    EXPECT_EQ(box->getViewSize(), CRect(10, 10, 40, 30));
    s.down(20, 20);
    EXPECT_TRUE(s.services.urls.empty());
    s.down(60, 150);
    EXPECT_EQ(s.services.urls, (std::vector<std::string>{"https://example.org/kelo"}));
    box->setAnyButton(true);
    s.down(20, 20, kRButton);
    EXPECT_TRUE(box->isExpanded());
}

TEST(AboutBox, VersionTexts) {
    Screen s(400, 300);
    CMySplashScreen* box = aboutBox(s);
    box->setVersionText(std::string(300, 'v'));
    EXPECT_EQ(box->versionText().size(), 255u);
    box->setVersionText("");
    EXPECT_EQ(box->versionText(), "KELO.9.2.3(64-bit)");
    // Centred in its 280 x 13 box at (17, 160) of the picture: 47..327; the extra line moved.
    box->setExtraText("Extra");
    box->setSecondLinePlace(17, 60);
    box->expand();
    EXPECT_NEAR(inkCentre(s, 180, 193), 187, 2);
    EXPECT_NEAR(inkCentre(s, 96, 109), 187, 2);
    // Short mode: the built-in text, whatever was set, centred in (25, 160)..(305, 173).
    box->setVersionText("1.0");
    box->setShortMode(true);
    EXPECT_NEAR(inkCentre(s, 180, 193), 195, 2);
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
    s.services.now += 49;
    sprite->onIdle();
    EXPECT_EQ(sprite->getX(), -10);
    s.services.now += 1;
    sprite->onIdle();
    EXPECT_EQ(sprite->getX(), -11);
    EXPECT_EQ(sprite->getValue(), 24);
    for (int i = 0; i < 20; ++i) s.idle(50);
    EXPECT_EQ(sprite->getX(), -16);
    EXPECT_FALSE(sprite->isAnimating());
    EXPECT_FALSE(sprite->isShown());
    EXPECT_EQ(s.painted(2, 10), kBlack);
}
