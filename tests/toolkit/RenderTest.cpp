// Offscreen rendering (exact for opaque blits, within 1 for alpha, loose for text) and image
// loading, including hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Harness.h"
#include "platform/Resources.h"
#include "support/PngDump.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/COptionMenu.h"
#include "toolkit/controls/CParamDisplay.h"
#include "toolkit/controls/CTextEdit.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/OffscreenFrame.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

namespace {

constexpr uint32_t kRed = 0xffff0000u, kGreen = 0xff00ff00u, kBlue = 0xff0000ffu;

std::unique_ptr<IPlatformOffscreenContext> surface(int w, int h, const CColor& fill) {
    auto s = getPlatformFactory().createOffscreenContext(w, h);
    if (s) s->clear(fill);
    return s;
}

#define NEED_BACKEND(s)                                                   \
    if (!(s)) GTEST_SKIP() << "this platform's backend draws nothing yet"

// Bounds of pixels that differ from `background` inside r.
CRect inkBounds(IPlatformOffscreenContext& s, const CRect& r, uint32_t background) {
    CRect ink(1e9, 1e9, -1e9, -1e9);
    const uint32_t* px = s.getPixels();
    for (int y = int(r.top); y < int(r.bottom); ++y)
        for (int x = int(r.left); x < int(r.right); ++x)
            if (px[size_t(y) * size_t(s.getWidth()) + size_t(x)] != background) {
                ink.left = std::min(ink.left, CCoord(x));
                ink.top = std::min(ink.top, CCoord(y));
                ink.right = std::max(ink.right, CCoord(x + 1));
                ink.bottom = std::max(ink.bottom, CCoord(y + 1));
            }
    return ink;
}

uint32_t pixel(IPlatformOffscreenContext& s, int x, int y) { return s.getPixels()[size_t(y) * size_t(s.getWidth()) + size_t(x)]; }
using Pixels = std::vector<uint32_t>;
Pixels pixels(IPlatformOffscreenContext& s, std::initializer_list<std::pair<int, int>> at) {
    Pixels out;
    for (auto [x, y] : at) out.push_back(pixel(s, x, y));
    return out;
}

// A frame rendered offscreen after building it.
struct Rendered {
    Rendered(CCoord w, CCoord h, const std::function<void(CFrame*)>& build) : frame(new CFrame(CRect(0, 0, w, h), nullptr)) {
        if (!frame->openOffscreen()) return;
        build(frame);
        frame->idle();
        s = &frame->getOffscreenFrame()->context();
    }
    ~Rendered() { frame->close(); }
    CFrame* frame;
    IPlatformOffscreenContext* s = nullptr;
};

CBitmap* twoColours(uint32_t top, uint32_t bottom, int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[size_t(y * w + x)] = y < h / 2 ? top : bottom;
    return new CBitmap(px.data(), w, h);
}

// A view that paints far beyond its own rectangle.
struct Spill : CView {
    using CView::CView;
    void draw(CDrawContext* dc) override {
        dc->setFillColor(kWhiteCColor);
        dc->drawRect(CRect(-100, -100, 100, 100), kDrawFilled);
    }
};

} // namespace

TEST(ToolkitRender, IdleWithNothingChangedPaintsNothing) {
    Rendered out(40, 40, [](CFrame* f) {
        auto* strip = new CBitmap(CResourceDescription("strip")); // module resources in any case
        auto* v = new CView(CRect(0, 0, 10, 10));
        v->setBackground(strip);
        strip->forget();
        f->addView(v);
        f->addView(new CKnob(CRect(10, 10, 30, 30), nullptr, 0, nullptr, nullptr));
    });
    NEED_BACKEND(out.s);
    OffscreenFrame* window = out.frame->getOffscreenFrame();
    const int paints = window->paintCount();
    out.frame->idle();
    out.frame->idle();
    EXPECT_EQ(window->paintCount(), paints);
    static_cast<CControl*>(out.frame->getView(1))->setValue(0.5f);
    out.frame->idle();
    EXPECT_EQ(window->paintCount(), paints + 1);
}

TEST(ToolkitRender, ContainersShiftAndClipTheirChildren) {
    Rendered out(60, 60, [](CFrame* f) {
        auto* outer = new CViewContainer(CRect(10, 20, 50, 50));
        outer->setBackgroundColor(CColor(0, 0, 80));
        // A child partly outside its container is cut at the container's edge.
        auto* strip = new CBitmap(CResourceDescription("STRIP"));
        auto* child = new CView(CRect(30, 5, 60, 15));
        child->setBackground(strip);
        strip->forget();
        outer->addView(child);
        auto* clear = new CViewContainer(CRect(0, 20, 10, 30)); // transparent: no background of its own
        clear->setBackgroundColor(CColor(255, 255, 255));
        clear->setTransparency(true);
        outer->addView(clear);
        outer->addView(new Spill(CRect(0, 0, 10, 10))); // cut to its own rectangle
        f->addView(outer);
    });
    NEED_BACKEND(out.s);
    EXPECT_EQ(inkBounds(*out.s, CRect(0, 0, 60, 60), 0xff000000u), CRect(10, 20, 50, 50));
    // The child (30,5) of a container at (10,20), cut at the container's edge (50); the
    // transparent container shows its parent.
    EXPECT_EQ(pixels(*out.s, {{40, 25}, {49, 34}, {50, 25}, {39, 25}, {15, 45}}),
              (Pixels{kRed, kRed, 0xff000000u, 0xff000050u, 0xff000050u}));
    EXPECT_TRUE(inkBounds(*out.s, CRect(20, 20, 40, 30), 0xff000050u).isEmpty());
}

TEST(ToolkitRender, AlphaBlendsWithinOne) {
    auto s = surface(4, 2, kBlackCColor);
    NEED_BACKEND(s);
    auto* a = new CBitmap(CResourceDescription("ALPHA"));
    ASSERT_TRUE(a->isLoaded());
    {
        CDrawContext dc(*s);
        a->draw(&dc, CRect(0, 0, 4, 1), CPoint(), 0.5f);
        dc.setGlobalAlpha(0.5f);
        a->draw(&dc, CRect(0, 1, 4, 2));
    }
    for (int row = 0; row < 2; ++row) {
        EXPECT_NEAR(red(pixel(*s, 0, row)), 128, 1); // opaque white at half
        EXPECT_NEAR(green(pixel(*s, 1, row)), 64, 1); // half white at half
        EXPECT_EQ(pixel(*s, 2, row), 0xff000000u);    // transparent leaves black
        EXPECT_EQ(alpha(pixel(*s, 0, row)), 255);
    }
    a->forget();
}

TEST(ToolkitRender, DrawContextStartStateAndFontTable) {
    auto s = surface(10, 10, kBlackCColor);
    NEED_BACKEND(s);
    CDrawContext dc(*s);
    EXPECT_EQ(dc.getDrawMode(), kAliasing);
    EXPECT_EQ(dc.getFrameColor(), kWhiteCColor);
    EXPECT_EQ(dc.getFillColor(), kBlackCColor);
    EXPECT_EQ(dc.getFontColor(), kWhiteCColor);
    EXPECT_EQ(dc.getLineWidth(), 1);
    EXPECT_EQ(dc.getFont()->getSize(), 12);
    const std::pair<CFontRef, int> table[] = {{kSystemFont, 12},         {kNormalFontVeryBig, 18}, {kNormalFontBig, 14},
                                              {kNormalFont, 12},         {kNormalFontSmall, 11},   {kNormalFontSmaller, 10},
                                              {kNormalFontVerySmall, 9}, {kSymbolFont, 13}};
    for (auto [font, size] : table) {
        EXPECT_EQ(font->getSize(), size);
        ASSERT_NE(font->getPlatformFont(), nullptr);
        // Every family name is the bundled one: same size, same widths.
        EXPECT_NEAR(font->getPlatformFont()->getStringWidth("Wide"),
                    CFontDesc("No Such Family", size).getPlatformFont()->getStringWidth("Wide"), 0.01);
    }
    EXPECT_GT(CFontDesc("Verdana", 12, kBoldFace).getPlatformFont()->getStringWidth("Wide"),
              kNormalFont->getPlatformFont()->getStringWidth("Wide"));

    dc.setFrameColor(kRedCColor);
    dc.setOffset(CPoint(3, 4));
    dc.saveGlobalState();
    dc.setFrameColor(kBlueCColor);
    dc.setOffset(CPoint());
    dc.setFont(kNormalFont, 20, kBoldFace);
    dc.restoreGlobalState();
    EXPECT_EQ(dc.getFrameColor(), kRedCColor);
    EXPECT_EQ(dc.getOffset(), CPoint(3, 4));
    EXPECT_EQ(dc.getFont()->getSize(), 12);
}

TEST(ToolkitRender, ShapesFillWhereTheyShould) {
    auto s = surface(60, 30, kBlackCColor);
    NEED_BACKEND(s);
    {
        CDrawContext dc(*s);
        dc.setFillColor(kWhiteCColor);
        dc.setFrameColor(kRedCColor); // a filled shape has no outline
        dc.drawEllipse(CRect(0, 0, 20, 20), kDrawFilled);
        dc.drawRoundRect(CRect(20, 0, 60, 20), 6, kDrawFilled);
        dc.drawRect(CRect(0, 22, 10, 30), kDrawStroked);
    }
    // The circle's middle, top and bottom, not its corner; the rounded rectangle's edges, not its corners.
    EXPECT_EQ(pixels(*s, {{10, 10}, {10, 1}, {10, 18}, {1, 1}, {40, 19}, {40, 0}, {20, 19}, {59, 0}, {59, 11}}),
              (Pixels{~0u, ~0u, ~0u, 0xff000000u, ~0u, ~0u, 0xff000000u, 0xff000000u, ~0u}));
    for (auto [x, y] : {std::pair{10, 0}, {0, 10}, {19, 10}})
        EXPECT_EQ(red(pixel(*s, x, y)), green(pixel(*s, x, y))) << x << "," << y;
    // A stroked rectangle stays inside its bounds.
    EXPECT_EQ(inkBounds(*s, CRect(0, 21, 60, 30), 0xff000000u), CRect(0, 22, 10, 30));
    EXPECT_EQ(pixel(*s, 5, 26), 0xff000000u);
    s->clear(CColor(0, 0, 0, 0)); // clearing replaces, it does not blend
    EXPECT_EQ(pixel(*s, 10, 10), 0u);
}

TEST(ToolkitRender, DisplaysDrawBackFrameAndBevel) {
    Rendered out(40, 40, [](CFrame* f) {
        auto* plain = new CParamDisplay(CRect(0, 0, 20, 10), nullptr, kNoTextStyle);
        plain->setBackColor(kBlueCColor);
        plain->setFrameColor(kRedCColor);
        plain->setFrameWidth(2);
        f->addView(plain);
        auto* sunk = new CParamDisplay(CRect(0, 20, 20, 30), nullptr, kNoTextStyle | k3DIn);
        sunk->setBackColor(kBlueCColor);
        f->addView(sunk);
        auto* idleEdit = new CTextEdit(CRect(20, 0, 40, 20), nullptr, 0, ""); // not editing: no caret
        idleEdit->setStyle(kNoFrame);
        idleEdit->setBackColor(kBlueCColor);
        f->addView(idleEdit);
    });
    NEED_BACKEND(out.s);
    EXPECT_EQ(pixels(*out.s, {{0, 5}, {1, 5}, {2, 5}, {10, 9}}), (Pixels{kRed, kRed, kBlue, kRed})) << "2 px frame";
    EXPECT_TRUE(inkBounds(*out.s, CRect(20, 0, 40, 20), kBlue).isEmpty());
    // Sunken: dark top and left, light bottom and right, no frame.
    EXPECT_EQ(pixels(*out.s, {{0, 25}, {10, 20}, {19, 25}, {10, 29}, {10, 25}}),
              (Pixels{0xff7f7f7fu, 0xff7f7f7fu, ~0u, ~0u, kBlue}));
    auto* shown = static_cast<CParamDisplay*>(out.frame->getView(0));
    shown->setDirty(false);
    shown->setFrameWidth(3);
    EXPECT_TRUE(shown->isDirty());
    shown->setValue(0.75f);
    const std::string twoPlaces = shown->formatValue();
    shown->setPrecision(0);
    shown->setStyle(k3DIn);
    EXPECT_EQ(twoPlaces + " " + shown->formatValue(), "0.75 1");
    EXPECT_EQ(shown->getStyle(), k3DIn);
}

TEST(ToolkitRender, TextFollowsItsAlignment) {
    auto s = surface(120, 40, kBlackCColor);
    NEED_BACKEND(s);
    const CRect r(10, 10, 110, 30);
    const double cap = kNormalFont->getPlatformFont()->getCapHeight();
    EXPECT_GT(cap, 6);
    EXPECT_LT(cap, 12);
    for (CHoriTxtAlign align : {kLeftText, kCenterText, kRightText}) {
        s->clear(kBlackCColor);
        {
            CDrawContext dc(*s);
            dc.setFont(kNormalFont);
            dc.drawString("HTH", r, align);
        }
        const CRect ink = inkBounds(*s, CRect(0, 0, 120, 40), 0xff000000u);
        // Capitals sit on the baseline: bottom - (height/2 - cap/2).
        EXPECT_NEAR(ink.bottom, r.bottom - (r.getHeight() / 2 - cap / 2), 1.5);
        EXPECT_NEAR(ink.top, r.bottom - (r.getHeight() / 2 + cap / 2), 1.5);
        if (align == kLeftText) {
            EXPECT_NEAR(ink.left, r.left + 1, 1.5);
        } else if (align == kRightText) {
            EXPECT_NEAR(ink.right, r.right - 1, 1.5);
        } else {
            EXPECT_NEAR((ink.left + ink.right) / 2, 60, 1);
        }
    }
    // At a point: the baseline there, shifted by the context's offset.
    s->clear(kBlackCColor);
    {
        CDrawContext dc(*s);
        dc.setFont(kNormalFont);
        dc.setOffset(CPoint(5, 0));
        dc.drawString("H", CPoint(10, 30));
    }
    const CRect ink = inkBounds(*s, CRect(0, 0, 120, 40), 0xff000000u);
    EXPECT_NEAR(ink.bottom, 30, 1);
    EXPECT_NEAR(ink.left, 16, 1.5);
}

TEST(ToolkitRender, LabelsTransparencyAndShadow) {
    for (bool shadow : {false, true}) {
        Rendered out(120, 40, [&](CFrame* f) {
            f->setBackgroundColor(CColor(0, 0, 80));
            auto* label = new CTextLabel(CRect(10, 10, 110, 30), "Shadow", nullptr, shadow ? kShadowText : 0);
            label->setTransparency(true);
            f->addView(label);
        });
        NEED_BACKEND(out.s);
        const CRect ink = inkBounds(*out.s, CRect(0, 0, 120, 40), 0xff000050u);
        EXPECT_GT(ink.left, 10); // nothing but glyphs changed: no background, no frame
        EXPECT_LT(ink.right, 110);
        int reddish = 0;
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 110; ++x)
                if (red(pixel(*out.s, x, y)) > 128 && green(pixel(*out.s, x, y)) < 64) ++reddish;
        EXPECT_EQ(reddish > 0, shadow);
    }
}

TEST(ToolkitRender, ControlsPickTheirImagesAndShapes) {
    Rendered out(200, 100, [](CFrame* f) {
        CBitmap* onOff = twoColours(kRed, kGreen, 10, 20);
        auto* b = new COnOffButton(CRect(0, 0, 10, 10), nullptr, 0, onOff);
        b->setValue(0.7f); // only exactly max is "on"
        f->addView(b);
        auto* on = new COnOffButton(CRect(10, 0, 20, 10), nullptr, 0, onOff);
        on->setValue(1);
        f->addView(on);
        // The anim knob ignores its offset argument.
        CBitmap* strip = new CBitmap(CResourceDescription("STRIP"));
        auto* k = new CAnimKnob(CRect(20, 0, 30, 10), nullptr, 0, strip, CPoint(0, 10));
        k->setValue(1);
        f->addView(k);
        auto* hidden = new CKickButton(CRect(30, 0, 40, 10), nullptr, 0, onOff);
        hidden->setVisible(false);
        f->addView(hidden);
        onOff->forget();
        strip->forget();
        for (float v : {0.5f, 0.6f}) {
            auto* t = new CTextButton(CRect(50 + (v > 0.5f ? 60 : 0), 0, 100 + (v > 0.5f ? 60 : 0), 30), nullptr, 0, "");
            t->setValue(v);
            f->addView(t);
        }
        auto* handle = new CKnob(CRect(160, 40, 200, 80), nullptr, 0, nullptr, nullptr);
        handle->setValue(0.5f); // pointing straight up
        f->addView(handle);
        auto* cross = new CCheckBox(CRect(0, 50, 100, 80), nullptr, 0, nullptr, nullptr, CCheckBox::kDrawCrossBox);
        cross->setValue(1);
        f->addView(cross);
    });
    NEED_BACKEND(out.s);
    // Off, on, the anim knob's last image, and the hidden button's place (the frame's black).
    EXPECT_EQ(pixels(*out.s, {{5, 5}, {15, 5}, {25, 5}, {35, 5}}), (Pixels{kRed, kGreen, kBlue, 0xff000000u}));
    // Highlighted above 0.5: the darker pair. Row 26 is 0.9 down the gradient, which runs
    // from 0.2 (start colour) to 1.0 (end colour): 220 -> 180 plain, 180 -> 100 highlighted.
    EXPECT_NEAR(red(pixel(*out.s, 75, 26)), 185, 2);
    EXPECT_NEAR(red(pixel(*out.s, 135, 26)), 110, 2);
    // The line handle runs from the centre up, in white (its grey shadow 1 px to the left).
    EXPECT_GT(red(pixel(*out.s, 180, 50)), 200);
    EXPECT_EQ(pixel(*out.s, 180, 70), 0xff000000u);
    // The cross: red where the diagonals meet, white between them.
    const CRect drawn = static_cast<CCheckBox*>(out.frame->getView(out.frame->getNbViews() - 1))->boxRect();
    ASSERT_EQ(drawn.getWidth(), drawn.getHeight());
    const int cx = int(drawn.left + drawn.getWidth() / 2);
    const int cy = int(drawn.top + drawn.getHeight() / 2);
    EXPECT_GT(red(pixel(*out.s, cx, cy)), 200);
    EXPECT_LT(green(pixel(*out.s, cx, cy)), 80);
    EXPECT_GT(green(pixel(*out.s, cx, int(drawn.top + 3))), 200);
}

TEST(ToolkitRender, MenuOverlayIsDrawnInsideTheFrame) {
    Log log;
    Listener listener(log);
    COptionMenu* menu = nullptr;
    Rendered out(120, 100, [&](CFrame* f) {
        menu = new COptionMenu(CRect(80, 80, 120, 100), &listener, 1);
        for (int i = 0; i < 20; ++i) menu->addEntry("entry");
        f->addView(menu);
    });
    NEED_BACKEND(out.s);
    out.frame->platformOnMouseDown(CPoint(90, 90), CButtonState(kLButton));
    ASSERT_TRUE(menu->isPoppedUp());
    out.frame->idle();
    // Too long and too far right: the panel fills the frame's height at its right edge.
    EXPECT_EQ(pixels(*out.s, {{119, 50}, {119, 0}, {119, 99}, {52, 50}}),
              (Pixels{0xff6e6e6eu, 0xff6e6e6eu, 0xff6e6e6eu, 0xfff5f5f5u})) << "border, then the face left of the text";
    out.frame->platformOnMouseDown(CPoint(5, 5), CButtonState(kLButton)); // outside: closes
    EXPECT_FALSE(menu->isPoppedUp());
    out.frame->idle();
    EXPECT_EQ(pixel(*out.s, 119, 50), 0xff000000u);
}

TEST(ToolkitBitmap, HostileImagesAreRefusedWithAReason) {
    const kelo::platform::ResourceData png = kelo::platform::findResource("PNG", "STRIP");
    ASSERT_TRUE(png);
    const auto* bytes = static_cast<const unsigned char*>(png.data);
    std::vector<unsigned char> good(bytes, bytes + png.size);

    auto load = [](const std::vector<unsigned char>& data) {
        CBitmap* b = CBitmap::fromMemory(data.data(), data.size());
        const BitmapLoadResult r = b->getLoadResult();
        EXPECT_EQ(b->isLoaded(), r == BitmapLoadResult::kOk);
        b->forget();
        return r;
    };
    EXPECT_EQ(load(good), BitmapLoadResult::kOk);
    EXPECT_EQ(load(std::vector<unsigned char>(good.begin(), good.begin() + long(good.size() / 2))),
              BitmapLoadResult::kCorrupt);
    std::vector<unsigned char> corrupt = good;
    for (size_t i = 41; i < corrupt.size() - 12; ++i) corrupt[i] ^= 0x5a; // inside the image data
    EXPECT_EQ(load(corrupt), BitmapLoadResult::kCorrupt);
    std::vector<unsigned char> huge = good;
    const unsigned char side[4] = {0x00, 0x01, 0x86, 0xa0}; // 100000
    std::memcpy(huge.data() + 16, side, 4);
    std::memcpy(huge.data() + 20, side, 4);
    EXPECT_EQ(load(huge), BitmapLoadResult::kTooLarge);
    std::vector<unsigned char> wide = good; // 65537 x 30: over the side limit, not the budget
    const unsigned char w65537[4] = {0x00, 0x01, 0x00, 0x01};
    std::memcpy(wide.data() + 16, w65537, 4);
    EXPECT_EQ(load(wide), BitmapLoadResult::kTooLarge);
    EXPECT_EQ(load({}), BitmapLoadResult::kCorrupt);
    // A size beyond the file limit is refused before a byte is read.
    CBitmap* oversize = CBitmap::fromMemory(good.data(), CBitmap::kMaxFileBytes + 1);
    EXPECT_EQ(oversize->getLoadResult(), BitmapLoadResult::kTooLarge);
    oversize->forget();
    EXPECT_EQ(load(std::vector<unsigned char>(100, 0x42)), BitmapLoadResult::kCorrupt);

    auto* missing = new CBitmap(CResourceDescription("NO_SUCH_IMAGE"));
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getLoadResult(), BitmapLoadResult::kNotFound);
    EXPECT_EQ(missing->getWidth(), 0);
    missing->forget();
    // From files: missing, a folder, a real one.
    auto fileResult = [](const std::string& path) {
        CBitmap* b = CBitmap::fromFile(path);
        const BitmapLoadResult r = b->getLoadResult();
        b->forget();
        return r;
    };
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelo-bitmap-test";
    std::filesystem::create_directories(dir);
    std::ofstream((dir / "strip.png").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
    EXPECT_EQ(fileResult((dir / "missing.png").string()), BitmapLoadResult::kNotFound);
    EXPECT_EQ(fileResult(dir.string()), BitmapLoadResult::kUnreadable);
    EXPECT_EQ(fileResult((dir / "strip.png").string()), BitmapLoadResult::kOk);
    std::filesystem::remove_all(dir);

    // A refused image draws nothing and breaks nothing.
    auto s = surface(4, 4, kBlackCColor);
    if (s) {
        CBitmap* bad = CBitmap::fromMemory(corrupt.data(), corrupt.size());
        CDrawContext dc(*s);
        bad->draw(&dc, CRect(0, 0, 4, 4));
        EXPECT_EQ(pixel(*s, 1, 1), 0xff000000u);
        bad->forget();
    }
}
