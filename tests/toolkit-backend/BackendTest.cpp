// One set of pixel rules for every drawing backend. The blit scene's expected pixels are worked
// out here from its definition, so a backend that passes renders opaque images exactly like
// every other backend that passes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {
namespace {

uint32_t argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
int channel(uint32_t v, int shift) { return int((v >> shift) & 0xff); }

struct Surface {
    explicit Surface(int w, int h) : context(getPlatformFactory().createOffscreenContext(w, h)), width(w) {}
    uint32_t at(int x, int y) { return context->getPixels()[y * width + x]; }
    CDrawState state() const {
        CDrawState s;
        s.clip = context->getSurfaceRect();
        return s;
    }
    std::unique_ptr<IPlatformOffscreenContext> context;
    int width;
};

// Every channel of a pixel within `tolerance` of the expected one.
::testing::AssertionResult near(uint32_t actual, uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(channel(actual, shift) - channel(expected, shift)) > tolerance)
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not within " << std::dec
                                                 << tolerance << " of 0x" << std::hex << expected;
    return ::testing::AssertionSuccess();
}

// ---- the blit scene ----

struct Image {
    int width;
    int height;
    std::vector<uint32_t> pixels;
};

Image strip() { // 10 × 30: red, green and blue bands of 10 rows
    Image im{10, 30, {}};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 10; ++x)
            im.pixels.push_back(y < 10 ? 0xffff0000u : y < 20 ? 0xff00ff00u : 0xff0000ffu);
    return im;
}

Image noise() { // 17 × 13, every pixel different: a swapped axis or a wrong stride shows
    Image im{17, 13, {}};
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 17; ++x) im.pixels.push_back(0xff000000u | ((uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u) & 0xffffffu));
    return im;
}

struct Blit {
    const Image* image;
    CRect dest;
    CPoint offset;
    CRect clip; // empty: the whole surface
};

constexpr int kSceneW = 64;
constexpr int kSceneH = 48;
constexpr uint32_t kSceneBackground = 0xff0a141eu;

std::vector<Blit> sceneBlits(const Image& a, const Image& b) {
    return {
        {&a, CRect(2, 2, 12, 12), CPoint(0, 10), {}},            // the middle band only
        {&a, CRect(14, 2, 24, 12), CPoint(0, 25), {}},           // top 5 rows; the rest untouched
        {&b, CRect(26, 2, 43, 15), CPoint(0, 0), {}},            // the whole image
        {&b, CRect(30, 20, 40, 30), CPoint(5, 4), {}},           // runs out of image rows
        {&b, CRect(2, 20, 22, 40), CPoint(-3, -2), {}},          // image starts inside dest
        {&b, CRect(40, 26, 60, 46), CPoint(1, 1), CRect(44, 30, 50, 38)},
        {&b, CRect(55, 40, 72, 53), CPoint(0, 0), {}},           // past the surface's corner
    };
}

std::vector<uint32_t> expectedScene(const std::vector<Blit>& blits) {
    std::vector<uint32_t> out(size_t(kSceneW) * kSceneH, kSceneBackground);
    for (const Blit& bl : blits)
        for (int y = int(bl.dest.top); y < int(bl.dest.bottom); ++y)
            for (int x = int(bl.dest.left); x < int(bl.dest.right); ++x) {
                const int sx = x - int(bl.dest.left) + int(bl.offset.x);
                const int sy = y - int(bl.dest.top) + int(bl.offset.y);
                const bool inClip = bl.clip.isEmpty() || bl.clip.pointInside(CPoint(x, y));
                if (x < kSceneW && y < kSceneH && inClip && sx >= 0 && sy >= 0 && sx < bl.image->width &&
                    sy < bl.image->height)
                    out[size_t(y) * kSceneW + x] = bl.image->pixels[size_t(sy) * bl.image->width + sx];
            }
    return out;
}

TEST(DrawingBackend, OpaqueBlitsCopyExactlyTheSourcePixelsTheOffsetsName) {
    Surface s(kSceneW, kSceneH);
    ASSERT_TRUE(s.context);
    const Image a = strip();
    const Image b = noise();
    auto bitmapA = getPlatformFactory().createBitmap(a.pixels.data(), a.width, a.height);
    auto bitmapB = getPlatformFactory().createBitmap(b.pixels.data(), b.width, b.height);
    ASSERT_TRUE(bitmapA && bitmapB);
    s.context->clear(CColor(0x0a, 0x14, 0x1e));
    const auto blits = sceneBlits(a, b);
    for (const Blit& bl : blits) {
        CDrawState st = s.state();
        if (!bl.clip.isEmpty()) st.clip = bl.clip;
        s.context->drawBitmap(st, bl.image == &a ? *bitmapA : *bitmapB, bl.dest, bl.offset, 1.0f);
    }
    const std::vector<uint32_t> expected = expectedScene(blits);
    const uint32_t* got = s.context->getPixels();
    int wrong = 0;
    for (int i = 0; i < kSceneW * kSceneH; ++i)
        if (got[i] != expected[size_t(i)] && ++wrong <= 5)
            ADD_FAILURE() << "pixel (" << i % kSceneW << ", " << i / kSceneW << ") is 0x" << std::hex << got[i]
                          << ", expected 0x" << expected[size_t(i)];
    EXPECT_EQ(wrong, 0);
    // The same number on every backend that passes (FNV-1a of the pixels).
    uint32_t hash = 2166136261u;
    for (int i = 0; i < kSceneW * kSceneH; ++i) hash = (hash ^ got[i]) * 16777619u;
    std::printf("blit scene %dx%d hash %08x\n", kSceneW, kSceneH, hash);
}

TEST(DrawingBackend, ShapesCoverTheirPixelsAndStayInsideTheClip) {
    Surface s(32, 20);
    ASSERT_TRUE(s.context);
    CDrawState st = s.state();
    st.fillColor = kRedCColor;
    st.clip = CRect(0, 0, 8, 20);
    s.context->drawRect(st, CRect(3, 2, 9, 7), kDrawFilled);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 3 && x < 8 && y >= 2 && y < 7;
            EXPECT_EQ(s.at(x, y), inside ? 0xffff0000u : 0u) << x << "," << y;
        }

    st = s.state();
    st.frameColor = kGreenCColor;
    s.context->drawLine(st, CPoint(2, 12), CPoint(10, 12));
    for (int x = 3; x < 9; ++x) {
        EXPECT_EQ(s.at(x, 12), 0xff00ff00u) << x;
        EXPECT_EQ(s.at(x, 11), 0u) << x;
        EXPECT_EQ(s.at(x, 13), 0u) << x;
    }
    // A 1-px outline lies on the rectangle's own edge pixels.
    s.context->drawRect(st, CRect(12, 2, 20, 10), kDrawStroked);
    for (auto [x, y] : {std::pair{12, 2}, {19, 2}, {12, 9}, {19, 9}, {15, 2}, {12, 5}})
        EXPECT_EQ(s.at(x, y), 0xff00ff00u) << x << "," << y;
    for (auto [x, y] : {std::pair{11, 2}, {20, 2}, {12, 1}, {12, 10}, {15, 5}, {13, 3}})
        EXPECT_EQ(s.at(x, y), 0u) << x << "," << y;

    // Round shapes fill their middle and leave their corners.
    st.fillColor = kBlueCColor;
    s.context->drawEllipse(st, CRect(22, 2, 30, 10), kDrawFilled);
    s.context->drawRoundRect(st, CRect(22, 11, 30, 19), 3, kDrawFilled);
    for (int top : {2, 11}) {
        EXPECT_EQ(s.at(26, top + 4), 0xff0000ffu) << top;
        EXPECT_EQ(s.at(22, top), 0u) << top;
    }
    // A rounded outline runs along the rectangle: 2 px wide, one pixel each side of its edge.
    st.lineWidth = 2;
    s.context->drawRoundRect(st, CRect(12, 13, 20, 19), 2, kDrawStroked);
    for (int y = 11; y < 16; ++y) EXPECT_EQ(s.at(16, y), y == 12 || y == 13 ? 0xff00ff00u : 0u) << y;
    st.lineWidth = 1;

    st.globalAlpha = 0.5f;
    s.context->drawRect(st, CRect(0, 15, 2, 17), kDrawFilled);
    EXPECT_TRUE(near(s.at(0, 15), argb(128, 0, 0, 128), 1));
}

TEST(DrawingBackend, GradientHoldsItsEndColoursBeyondTheFirstAndLastStops) {
    Surface s(20, 40);
    ASSERT_TRUE(s.context);
    const CGradientStop stops[] = {{0.2, kWhiteCColor}, {0.5, CColor(0, 200, 0)}, {1.0, kBlackCColor}};
    s.context->fillRoundRectGradient(s.state(), CRect(0, 0, 20, 40), 5, stops, 3);
    for (int y : {0, 6}) EXPECT_TRUE(near(s.at(10, y), 0xffffffffu, 3)) << y; // no wrap of the last colour
    EXPECT_TRUE(near(s.at(10, 20), argb(255, 0, 200, 0), 16));
    EXPECT_LE(channel(s.at(10, 39), 8), 15);
    EXPECT_LT(channel(s.at(0, 0), 24), 255); // the rounded corner leaves its outer pixel
}

TEST(DrawingBackend, TextSitsOnItsBaselineAndMeasuresItsAdvance) {
    auto font = getPlatformFactory().createFont("Verdana", 12, kNormalFace);
    auto bold = getPlatformFactory().createFont("Arial", 12, kBoldFace);
    ASSERT_TRUE(font && bold);
    EXPECT_NEAR(font->getCapHeight(), 12 * 1493.0 / 2048, 0.5); // the bundled family's cap height
    EXPECT_GT(font->getAscent(), font->getCapHeight());
    EXPECT_GT(font->getDescent(), 0);

    const double w = font->getStringWidth("Hello");
    // The advances of H, e, l, l, o; a backend that hints rounds each one. Padding around the
    // run (GDI+'s default layout adds a sixth of an em on each side) would be 4 px more.
    EXPECT_NEAR(w, 12 * 5191.0 / 2048, 1.5);
    EXPECT_NEAR(font->getStringWidth("HelloHello"), 2 * w, 1.0); // no padding around a run
    EXPECT_GT(font->getStringWidth("Hello "), w + 2);             // trailing spaces count
    EXPECT_GT(bold->getStringWidth("Hello"), w);
    EXPECT_GT(font->getStringWidth("\xc3\xa9\xff"), 0); // é and a byte that is no UTF-8

    Surface s(60, 24);
    ASSERT_TRUE(s.context);
    CDrawState st = s.state();
    st.fontColor = kWhiteCColor;
    // Right-aligned into x < 50, baseline at 18.
    s.context->drawString(st, *font, "HH", CPoint(50 - font->getStringWidth("HH"), 18), true);
    int minX = 99, maxX = -1, minY = 99, maxY = -1;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 60; ++x)
            if (channel(s.at(x, y), 24) > 128) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    EXPECT_NEAR(maxX, 48, 1); // H's right stem ends a side bearing before the advance
    EXPECT_NEAR(maxY, 17, 1); // the stems stand on the baseline
    EXPECT_NEAR(minY, 18 - font->getCapHeight(), 1);
    EXPECT_GT(minX, 50 - font->getStringWidth("HH"));
}

} // namespace
} // namespace kelo::gui
