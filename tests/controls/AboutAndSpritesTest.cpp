// The about box and the sprites: opening and closing, the link, the credits and the sprite
// frames, moved by hand and by the clock.
#include <algorithm>
#include <tuple>

#include "ControlTestSupport.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CMySplashScreen.h"
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

} // namespace

TEST(AboutBox, OpensAndClosesWithClicksAndTheLinkOnlyOnClosing) {
    Screen s(400, 300);
    CMySplashScreen* box = aboutBox(s);
    box->setLink(true, "https://example.org/kelo");
    box->setLinkRect(CRect(60, 150, 100, 160));
    CBitmap* credits = skinBitmap("patchdisplay.png"); // 160 x 18
    box->setCreditsImage(credits);
    credits->forget();
    box->setCreditsRect(CRect(10, 10, 110, 15));
    EXPECT_EQ(s.pixel(20, 20), 0xff000000u); // closed: nothing but a clickable area

    s.down(60, 150); // outside the closed box
    EXPECT_FALSE(box->isExpanded());
    s.down(20, 20, kRButton);
    EXPECT_FALSE(box->isExpanded());
    s.log.clear();
    s.down(20, 20);
    EXPECT_TRUE(box->isExpanded());
    EXPECT_EQ(s.log.take(), (Lines{"value 1"}));
    EXPECT_EQ(box->getViewSize(), CRect(30, 20, 367, 250));
    EXPECT_EQ(s.pixel(52, 22), skinColour(0, 0)); // the picture at the open rectangle
    box->scrollCredits(2);
    EXPECT_EQ(box->getCreditsScroll(), 2);
    box->scrollCredits(11); // 18 - 5 is the last place
    EXPECT_EQ(box->getCreditsScroll(), 13);
    box->scrollCredits(1); // past it: back to the top
    EXPECT_EQ(box->getCreditsScroll(), 0);
    s.idle(40); // and the idle calls scroll them while open
    s.idle(40);
    EXPECT_EQ(box->getCreditsScroll(), 2);

    s.log.clear();
    s.down(100, 150); // closing click just outside the link (right edge excluded)
    EXPECT_FALSE(box->isExpanded());
    EXPECT_EQ(box->getViewSize(), CRect(10, 10, 40, 30));
    EXPECT_TRUE(s.services.urls.empty());
    EXPECT_EQ(s.log.take(), (Lines{"value 0"}));
    s.down(20, 20); // opening: the credits start from the top, and no link
    EXPECT_EQ(box->getCreditsScroll(), 0);
    EXPECT_TRUE(s.services.urls.empty());
    s.down(60, 150); // closing in the link area (left and top edges included)
    EXPECT_EQ(s.services.urls, (std::vector<std::string>{"https://example.org/kelo"}));

    box->setAnyButton(true);
    s.down(20, 20, kRButton);
    EXPECT_TRUE(box->isExpanded());
    box->collapse();
    EXPECT_EQ(box->getValue(), 0);
    EXPECT_EQ(box->getViewSize(), CRect(10, 10, 40, 30));
}

namespace {

// Horizontal extent of what differs from `back` in rows top..bottom-1.
std::pair<int, int> inkColumns(Screen& s, int top, int bottom, uint32_t back) {
    s.pixel(0, 0);
    int left = 10000, right = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 30; x < 367; ++x) // inside the picture
            if (s.painted(x, y) != back) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

} // namespace

TEST(AboutBox, VersionTexts) {
    Screen s(400, 300);
    CMySplashScreen* box = aboutBox(s);
    EXPECT_EQ(box->versionText(), "KELO.9.2.3(64-bit)");
    box->setVersionText(std::string(300, 'v'));
    EXPECT_EQ(box->versionText().size(), 255u);
    box->setVersionText("");
    EXPECT_EQ(box->versionText(), "KELO.9.2.3(64-bit)");
    // Centred in its 280 x 13 box at (17, 160) from the picture's top-left: x 47..327.
    box->expand();
    const uint32_t picture = skinColour(0, 0);
    auto [left, right] = inkColumns(s, 180, 193, picture);
    EXPECT_GT(left, 47);
    EXPECT_NEAR((left + right + 1) / 2.0, 187, 2);
    // Short mode: the built-in text only, in the box (25, 160)..(305, 173): centred on 195.
    box->setVersionText("1.0");
    box->setShortMode(true);
    std::tie(left, right) = inkColumns(s, 180, 193, picture);
    EXPECT_NEAR((left + right + 1) / 2.0, 195, 2);
    EXPECT_GT(right - left, 60); // the long built-in text, not "1.0"
}

TEST(AnimSprite, StepsThroughItsFramesAndMoves) {
    Screen s;
    CBitmap* strip = skinBitmap("skinsplash.png"); // four frames of 24 x 24
    auto* sprite = s.add(new CAnimSprite(CRect(100, 100, 124, 124), nullptr, 115, strip));
    strip->forget();
    EXPECT_EQ(sprite->getStep(), 24);
    EXPECT_EQ(sprite->getSpan(), 96);
    EXPECT_EQ(s.pixel(110, 110), 0xff000000u); // new sprites are hidden
    sprite->show();
    sprite->nextFrame();
    sprite->nextFrame();
    EXPECT_EQ(s.pixel(110, 110), skinColour(115, 2));

    const bool blink = sprite->getBlinkPhase();
    s.pixel(0, 0);
    EXPECT_NE(sprite->getBlinkPhase(), blink); // flips with each drawing

    sprite->setStep(10);
    sprite->setSpan(40);
    sprite->setValue(30); // a pixel position, not a 0..1 value
    EXPECT_EQ(sprite->getValue(), 30);
    sprite->setValue(0);
    std::vector<float> seen;
    for (int i = 0; i < 5; ++i) {
        seen.push_back(sprite->getValue());
        sprite->nextFrame();
    }
    EXPECT_EQ(seen, (std::vector<float>{0, 10, 20, 30, 0}));
    sprite->setValue(0);
    sprite->previousFrame();
    EXPECT_EQ(sprite->getValue(), 29);

    sprite->moveTo(5, 7);
    sprite->moveBy(-2, 3);
    EXPECT_EQ(sprite->getX(), 3);
    EXPECT_EQ(sprite->getY(), 10);
    EXPECT_EQ(sprite->getViewSize().getWidth(), 24);
    EXPECT_EQ(sprite->getMouseableArea(), sprite->getViewSize());
    // Clicks go to what is under a sprite.
    sprite->remember();
    s.frame->removeView(sprite, true);
    s.add(new CKickButton(CRect(0, 0, 50, 50), &s.listener, 9, nullptr));
    s.add(sprite);
    s.down(10, 20);
    EXPECT_EQ(s.log.take(), (Lines{"begin", "editor begin 9"}));
}

TEST(AnimSprite, RunsByTheClockAndStopsOffTheLeftEdge) {
    Screen s;
    CBitmap* strip = skinBitmap("skinsplash.png");
    auto* sprite = s.add(new CAnimSprite(CRect(0, 0, 24, 24), nullptr, 115, strip));
    strip->forget();
    sprite->show();
    // Crawling left one pixel per 50 ms until it is gone past -16.
    sprite->moveTo(-10, 0);
    sprite->startAnimation(50, -1, 0, true, -16);
    s.idle(40);
    EXPECT_EQ(sprite->getX(), -10); // not yet due
    s.idle(40);
    EXPECT_EQ(sprite->getX(), -11);
    EXPECT_EQ(sprite->getValue(), 24);
    for (int i = 0; i < 20; ++i) s.idle(50);
    EXPECT_EQ(sprite->getX(), -16);
    EXPECT_FALSE(sprite->isAnimating());
    EXPECT_FALSE(sprite->isShown());
    // The 32-bit clock may wrap while it runs.
    sprite->moveTo(0, 0);
    s.services.now = 0xffffffe0u;
    sprite->startAnimation(50, 0, 0, true);
    const float frame = sprite->getValue();
    s.idle(60);
    EXPECT_NE(sprite->getValue(), frame);
}
