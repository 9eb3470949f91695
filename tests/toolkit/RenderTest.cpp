// Offscreen rendering (exact for opaque blits, loose for text) and hostile image files.
#include <gtest/gtest.h>

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
#include "toolkit/controls/CMovieBitmap.h"
#include "toolkit/controls/COptionMenu.h"
#include "toolkit/controls/CParamDisplay.h"
#include "toolkit/controls/CRockerSwitch.h"
#include "toolkit/controls/CTextEdit.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/OffscreenFrame.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

namespace {

constexpr uint32_t kRed = 0xffff0000u, kBlue = 0xff0000ffu, kBlack = 0xff000000u;
using Surface = IPlatformOffscreenContext;
using Pixels = std::vector<uint32_t>;

std::unique_ptr<Surface> surface(int w, int h) {
    auto s = getPlatformFactory().createOffscreenContext(w, h);
    if (s) s->clear(kBlackCColor);
    return s;
}

#define NEED_BACKEND(s) \
    if (!(s)) GTEST_SKIP() << "this platform's backend draws nothing yet"

uint32_t pixel(Surface& s, int x, int y) { return s.getPixels()[size_t(y) * size_t(s.getWidth()) + size_t(x)]; }

Pixels pixels(Surface& s, std::initializer_list<std::pair<int, int>> at) {
    Pixels out;
    for (auto [x, y] : at) out.push_back(pixel(s, x, y));
    return out;
}

// Bounds of the pixels inside r that are ink.
CRect inkBounds(Surface& s, const CRect& r, const std::function<bool(uint32_t)>& ink) {
    CRect b(1e9, 1e9, -1e9, -1e9);
    for (int y = int(r.top); y < int(r.bottom); ++y)
        for (int x = int(r.left); x < int(r.right); ++x)
            if (ink(pixel(s, x, y)))
                b = CRect(std::min(b.left, CCoord(x)), std::min(b.top, CCoord(y)),
                          std::max(b.right, CCoord(x + 1)), std::max(b.bottom, CCoord(y + 1)));
    return b;
}
CRect inkBounds(Surface& s, const CRect& r, uint32_t background = kBlack) {
    return inkBounds(s, r, [background](uint32_t p) { return p != background; });
}

struct Rendered {
    Rendered(CCoord w, CCoord h, const std::function<void(CFrame*)>& build)
        : frame(new CFrame(CRect(0, 0, w, h), nullptr)) {
        if (!frame->openOffscreen()) return;
        build(frame);
        frame->idle();
        s = &frame->getOffscreenFrame()->context();
    }
    ~Rendered() { frame->close(); }
    template <typename T>
    T* view(int32 i) {
        return static_cast<T*>(frame->getView(i));
    }
    CFrame* frame;
    Surface* s = nullptr;
};

// A view that paints far beyond its own rectangle.
struct Spill : CView {
    using CView::CView;
    void draw(CDrawContext* dc) override {
        dc->setFillColor(kWhiteCColor);
        dc->drawRect(CRect(-100, -100, 100, 100), kDrawFilled);
    }
};

} // namespace

TEST(ToolkitRender, ContainersShiftClipAndRepaintOnlyWhatChanged) {
    Rendered out(60, 60, [](CFrame* f) {
        auto* outer = new CViewContainer(CRect(10, 20, 50, 50));
        outer->setBackgroundColor(CColor(0, 0, 80));
        auto* strip = new CBitmap(CResourceDescription("strip")); // module resources in any case
        auto* child = new CView(CRect(30, 5, 60, 15)); // partly outside its container
        child->setBackground(strip);
        strip->forget();
        outer->addView(child);
        outer->addView(new Spill(CRect(0, 0, 10, 10))); // cut to its own rectangle
        f->addView(outer);
        f->addView(new CKnob(CRect(0, 50, 10, 60), nullptr, 0, nullptr, nullptr));
        f->addView(new CTextEdit(CRect(10, 50, 60, 60), nullptr, 0, "text"));
    });
    NEED_BACKEND(out.s);
    EXPECT_EQ(inkBounds(*out.s, CRect(0, 0, 60, 50)), CRect(10, 20, 50, 50));
    // The child (30,5) of a container at (10,20), cut at the container's edge (50).
    EXPECT_EQ(pixels(*out.s, {{40, 25}, {49, 34}, {50, 25}, {39, 25}, {15, 45}}),
              (Pixels{kRed, kRed, kBlack, 0xff000050u, 0xff000050u}));
    OffscreenFrame* window = out.frame->getOffscreenFrame();
    const int paints = window->paintCount();
    out.frame->idle();
    out.frame->idle();
    EXPECT_EQ(window->paintCount(), paints);
    out.view<CControl>(1)->setValue(0.5f);
    out.view<CTextEdit>(2)->setText("new");
    out.frame->idle();
    out.frame->idle();
    EXPECT_EQ(window->paintCount(), paints + 1); // drawing leaves them clean
}

TEST(ToolkitRender, DrawContextStateOffsetAndText) {
    auto s = surface(120, 80);
    NEED_BACKEND(s);
    const double cap = kNormalFont->getPlatformFont()->getCapHeight();
    {
        CDrawContext dc(*s);
        dc.setFrameColor(kRedCColor);
        dc.setOffset(CPoint(20, 10));
        dc.saveGlobalState();
        dc.setFrameColor(kBlueCColor);
        dc.setFont(kNormalFont, 1, kBoldFace);
        EXPECT_EQ(dc.getFont()->getSize(), 1);
        dc.restoreGlobalState();
        EXPECT_EQ(dc.getFont()->getSize(), 12);
        // Shapes and text land where the offset puts them.
        dc.setFillColor(kWhiteCColor);
        dc.drawEllipse(CRect(0, 0, 10, 10), kDrawFilled);
        dc.drawRect(CRect(10, 0, 20, 10), kDrawStroked);
        dc.drawPolygon({CPoint(20, 0), CPoint(30, 0), CPoint(20, 10)}, kDrawFilled);
        dc.drawString("H", CPoint(0, 28)); // on its baseline
        dc.setOffset(CPoint());
        // Capitals sit centred on the baseline at bottom - (height/2 - cap/2).
        dc.drawString("HTH", CRect(0, 40, 120, 60), kCenterText);
        dc.drawString("HTH", CRect(0, 60, 120, 80), kRightText);
    }
    // The circle's middle, not its corner; the outline's edge, not its inside; the triangle's corner.
    EXPECT_EQ(pixels(*s, {{25, 15}, {20, 10}, {30, 15}, {35, 15}, {42, 12}, {48, 18}}),
              (Pixels{~0u, kBlack, kRed, kBlack, ~0u, kBlack}));
    const CRect text = inkBounds(*s, CRect(18, 25, 40, 40));
    EXPECT_NEAR(text.bottom, 38, 1);
    EXPECT_NEAR(text.left, 21, 1.5);
    const CRect centred = inkBounds(*s, CRect(0, 40, 120, 60)), right = inkBounds(*s, CRect(0, 60, 120, 80));
    EXPECT_NEAR((centred.left + centred.right) / 2, 60, 1);
    EXPECT_NEAR(centred.bottom, 60 - (10 - cap / 2), 1.5);
    EXPECT_NEAR(right.right, 119, 1.5);
    s->clear(CColor(0, 0, 0, 0)); // clearing replaces, it does not blend
    EXPECT_EQ(pixel(*s, 25, 15), 0u);
}

TEST(ToolkitRender, DisplaysDrawBackFrameBevelAndCaret) {
    Rendered out(60, 40, [](CFrame* f) {
        auto* plain = new CParamDisplay(CRect(0, 0, 20, 20), nullptr, kNoTextStyle | kRoundRectStyle);
        plain->setFrameColor(kRedCColor);
        plain->setFrameWidth(4);
        auto* sunk = new CParamDisplay(CRect(0, 20, 20, 30), nullptr, kNoTextStyle | k3DIn);
        // Not editing: no caret. Off the pixel grid, so the caret must be put on it.
        auto* field = new CTextEdit(CRect(20.3, 0, 41.3, 20), nullptr, 0, "");
        for (CParamDisplay* d : {plain, sunk, static_cast<CParamDisplay*>(field)}) {
            d->setBackColor(kBlueCColor);
            f->addView(d);
        }
        field->setStyle(kNoFrame);
    });
    NEED_BACKEND(out.s);
    // A round frame lies inside the display, 4 px wide.
    EXPECT_EQ(pixels(*out.s, {{3, 10}, {4, 10}, {10, 3}, {10, 4}}), (Pixels{kRed, kBlue, kRed, kBlue}));
    // Sunken: dark top and left, light bottom and right, no frame.
    EXPECT_EQ(pixels(*out.s, {{0, 25}, {10, 20}, {19, 25}, {10, 29}, {10, 25}}),
              (Pixels{0xff7f7f7fu, 0xff7f7f7fu, ~0u, ~0u, kBlue}));
    const CRect fieldInside(22, 0, 39, 20);
    EXPECT_TRUE(inkBounds(*out.s, fieldInside, kBlue).isEmpty());
    // Editing: a 1 px caret in the middle of an empty centred field, from 2 px below its top (its
    // last pixel is the backend's choice).
    out.frame->platformOnMouseDown(CPoint(25, 5), CButtonState(kLButton));
    out.frame->idle();
    EXPECT_EQ(inkBounds(*out.s, CRect(22, 0, 39, 17), kBlue), CRect(30, 2, 31, 17));
    auto* shown = out.view<CParamDisplay>(0);
    for (const std::function<void()>& change : std::initializer_list<std::function<void()>>{
             [&] { shown->setFrameWidth(3); }, [&] { shown->setShadowColor(kGreenCColor); }}) {
        shown->setDirty(false);
        change();
        EXPECT_TRUE(shown->isDirty());
    }
}

TEST(ToolkitRender, ControlsPickTheirImagesShapesAndHighlights) {
    Rendered out(200, 100, [](CFrame* f) {
        CBitmap* strip = new CBitmap(CResourceDescription("STRIP"));
        auto* k = new CAnimKnob(CRect(20, 0, 30, 10), nullptr, 0, strip, CPoint(0, 10));
        k->setValue(1);
        f->addView(k);
        auto* rocker = new CRockerSwitch(CRect(40, 0, 50, 10), nullptr, 0, strip);
        rocker->setValue(1);
        f->addView(rocker);
        auto* movie = new CMovieBitmap(CRect(60, 0, 70, 10), nullptr, 0, strip);
        movie->setValue(0.5f);
        f->addView(movie);
        strip->forget();
        auto* handle = new CKnob(CRect(160, 40, 200, 80), nullptr, 0, nullptr, nullptr);
        handle->setValue(0.5f); // pointing straight up
        f->addView(handle);
        auto* titled = new CTextButton(CRect(100, 40, 160, 60), nullptr, 0, "");
        titled->setTitle("H");
        titled->setTextAlignment(kLeftText);
        titled->setTextMargin(10);
        f->addView(titled);
        auto* cross = new CCheckBox(CRect(0, 50, 100, 80), nullptr, 0, nullptr, nullptr, CCheckBox::kDrawCrossBox);
        cross->setValue(1);
        f->addView(cross);
    });
    NEED_BACKEND(out.s);
    EXPECT_EQ(pixel(*out.s, 25, 5), kBlue); // the anim knob's last image, its offset ignored
    EXPECT_EQ(pixels(*out.s, {{45, 5}, {65, 5}}), (Pixels{kBlue, 0xff00ff00u})); // the rocker held right
    const int paints = out.frame->getOffscreenFrame()->paintCount();
    out.frame->idle();
    EXPECT_EQ(out.frame->getOffscreenFrame()->paintCount(), paints); // all drawn clean
    // A paint the system asks for draws pending changes too, leaving idle nothing to do.
    out.view<CControl>(2)->setValue(0);
    out.frame->invalid();
    out.frame->getOffscreenFrame()->presentInvalid();
    out.frame->idle();
    EXPECT_EQ(out.frame->getOffscreenFrame()->paintCount(), paints + 1);
    // The line handle runs from the centre up, in white (its grey shadow 1 px to the left).
    EXPECT_GT(red(pixel(*out.s, 180, 50)), 200);
    EXPECT_EQ(pixel(*out.s, 180, 70), kBlack);
    // A left-aligned title keeps its margin from the edge.
    const CRect title = inkBounds(*out.s, CRect(103, 46, 158, 54), [](uint32_t p) { return red(p) < 100; });
    EXPECT_NEAR(title.left, 112, 1.5);
    // The cross: red where the diagonals meet, white between them.
    const CRect box = out.view<CCheckBox>(5)->boxRect();
    const int cx = int(box.left + box.getWidth() / 2), cy = int(box.top + box.getHeight() / 2);
    EXPECT_GT(red(pixel(*out.s, cx, cy)), 200);
    EXPECT_GT(green(pixel(*out.s, cx, int(box.top + 3))), 200);
    // Held down it shows a highlight ring inside its frame, gone once the pointer leaves.
    const int rx = int(box.left) + 1;
    const uint32_t plain = pixel(*out.s, rx, cy);
    out.frame->platformOnMouseDown(CPoint(cx, cy), CButtonState(kLButton));
    out.frame->idle();
    EXPECT_NE(pixel(*out.s, rx, cy), plain);
    out.frame->platformOnMouseMoved(CPoint(150, 95), CButtonState(kLButton));
    out.frame->idle();
    EXPECT_EQ(pixel(*out.s, rx, cy), plain);
    out.frame->platformOnMouseUp(CPoint(150, 95), CButtonState(kLButton));
}

TEST(ToolkitRender, MenuOverlayIsDrawnInsideTheFrame) {
    Rendered out(120, 100, [&](CFrame* f) {
        auto* menu = new COptionMenu(CRect(80, 80, 120, 100), nullptr, 1);
        for (int i = 0; i < 20; ++i) menu->addEntry("entry");
        auto* shortMenu = new COptionMenu(CRect(0, 0, 40, 20), nullptr, 2);
        shortMenu->addEntry("one");
        shortMenu->addEntry("-");
        f->addView(menu);
        f->addView(shortMenu);
    });
    NEED_BACKEND(out.s);
    out.frame->platformOnMouseDown(CPoint(90, 90), CButtonState(kLButton));
    out.frame->idle();
    // Too long and too far right: the panel fills the frame's height at its right edge.
    EXPECT_EQ(pixels(*out.s, {{119, 0}, {119, 99}, {52, 50}}), (Pixels{0xff6e6e6eu, 0xff6e6e6eu, 0xfff5f5f5u}))
        << "border, then the face left of the text";
    out.frame->platformOnMouseDown(CPoint(5, 5), CButtonState(kLButton)); // outside: closes
    out.frame->idle();
    EXPECT_EQ(pixel(*out.s, 119, 50), kBlack);
    // A short panel below its menu: the hot row in the highlight colour, the separator grey.
    out.frame->platformOnMouseDown(CPoint(5, 5), CButtonState(kLButton));
    out.frame->platformOnMouseMoved(CPoint(5, 35), CButtonState(kLButton));
    out.frame->idle();
    EXPECT_EQ(pixels(*out.s, {{3, 35}, {10, 42}}), (Pixels{0xff3875d7u, 0xffbebebeu}));
}

TEST(ToolkitBitmap, HostileImagesAreRefusedWithAReason) {
    const kelo::platform::ResourceData png = kelo::platform::findResource("PNG", "STRIP");
    ASSERT_TRUE(png);
    const auto* bytes = static_cast<const unsigned char*>(png.data);
    const std::vector<unsigned char> good(bytes, bytes + png.size);
    auto load = [](CBitmap* b) {
        const BitmapLoadResult r = b->getLoadResult();
        EXPECT_EQ(b->isLoaded(), r == BitmapLoadResult::kOk);
        b->forget();
        return r;
    };
    auto patched = [&](size_t at, std::vector<unsigned char> with) {
        std::vector<unsigned char> d = good;
        std::copy(with.begin(), with.end(), d.begin() + long(at));
        return d;
    };
    std::vector<unsigned char> corrupt = good;
    for (size_t i = 41; i < corrupt.size() - 12; ++i) corrupt[i] ^= 0x5a; // inside the image data
    const std::pair<std::vector<unsigned char>, BitmapLoadResult> cases[] = {
        {good, BitmapLoadResult::kOk},
        {{good.begin(), good.begin() + long(good.size() / 2)}, BitmapLoadResult::kCorrupt},
        {corrupt, BitmapLoadResult::kCorrupt},
        {patched(16, {0, 1, 0x86, 0xa0, 0, 1, 0x86, 0xa0}), BitmapLoadResult::kTooLarge}, // 100000 square
        {patched(16, {0, 1, 0, 1}), BitmapLoadResult::kTooLarge}, // 65537 x 30: over the side, not the budget
        {{}, BitmapLoadResult::kCorrupt},
    };
    for (const auto& [d, r] : cases) EXPECT_EQ(load(CBitmap::fromMemory(d.data(), d.size())), r) << d.size();
    // A size beyond the file limit is refused before a byte is read.
    EXPECT_EQ(load(CBitmap::fromMemory(good.data(), CBitmap::kMaxFileBytes + 1)), BitmapLoadResult::kTooLarge);
    EXPECT_EQ(load(new CBitmap(CResourceDescription("NO_SUCH_IMAGE"))), BitmapLoadResult::kNotFound);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelo-bitmap-test";
    std::filesystem::create_directories(dir);
    std::ofstream((dir / "strip.png").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
    std::ofstream((dir / "huge.png").string(), std::ios::binary).write("\x89PNG", 4);
    std::filesystem::resize_file(dir / "huge.png", CBitmap::kMaxFileBytes + 1);
    const std::pair<std::filesystem::path, BitmapLoadResult> files[] = {
        {dir / "missing.png", BitmapLoadResult::kNotFound}, {dir, BitmapLoadResult::kUnreadable},
        {dir / "strip.png", BitmapLoadResult::kOk}, {dir / "huge.png", BitmapLoadResult::kTooLarge}};
    for (const auto& [path, result] : files) EXPECT_EQ(load(CBitmap::fromFile(path.string())), result) << path;
    std::filesystem::remove_all(dir);
    if (auto s = surface(4, 4)) { // a refused image draws nothing and breaks nothing
        CBitmap* bad = CBitmap::fromMemory(corrupt.data(), corrupt.size());
        CDrawContext dc(*s);
        bad->draw(&dc, CRect(0, 0, 4, 4));
        EXPECT_EQ(pixel(*s, 1, 1), kBlack);
        bad->forget();
    }
}
