// One set of pixel rules for every drawing backend. The blit scene's expected pixels are worked
// out here from its definition, so a backend that passes renders opaque images exactly like
// every other backend that passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {
namespace {

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

struct Image {
    Image(int w, int h, uint32_t (*colour)(int x, int y)) : width(w), height(h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) pixels.push_back(colour(x, y));
        bitmap = getPlatformFactory().createBitmap(pixels.data(), w, h);
    }
    int width, height;
    std::vector<uint32_t> pixels;
    std::unique_ptr<IPlatformBitmap> bitmap;
};

struct Blit {
    const Image& image;
    CRect dest;
    CPoint offset;
    CRect clip; // empty: the whole surface
};

TEST(DrawingBackend, OpaqueBlitsCopyExactlyTheSourcePixelsTheOffsetsName) {
    constexpr int kW = 64, kH = 48;
    Surface s(kW, kH);
    ASSERT_TRUE(s.context);
    // Red, green and blue bands of 10 rows; and every pixel different, so a swapped axis or a
    // wrong stride shows.
    const Image a(10, 30, [](int, int y) { return y < 10 ? 0xffff0000u : y < 20 ? 0xff00ff00u : 0xff0000ffu; });
    const Image b(17, 13, [](int x, int y) { return 0xff000000u | (x * 2654435761u ^ y * 40503u); });
    ASSERT_TRUE(a.bitmap && b.bitmap);
    const Blit blits[] = {
        {a, CRect(2, 2, 12, 12), CPoint(0, 10), {}},   // the middle band only
        {a, CRect(14, 2, 24, 12), CPoint(0, 25), {}},  // top 5 rows; the rest untouched
        {b, CRect(26, 2, 43, 15), CPoint(0, 0), {}},   // the whole image
        {b, CRect(30, 20, 40, 30), CPoint(5, 4), {}},  // runs out of image rows
        {b, CRect(2, 20, 22, 40), CPoint(-3, -2), {}}, // image starts inside dest
        {b, CRect(40, 26, 60, 46), CPoint(1, 1), CRect(44, 30, 50, 38)},
        {b, CRect(55, 40, 72, 53), CPoint(0, 0), {}},  // past the surface's corner
    };
    s.context->clear(CColor(0x0a, 0x14, 0x1e));
    std::vector<uint32_t> expected(size_t(kW) * kH, 0xff0a141eu);
    for (const Blit& bl : blits) {
        CDrawState st = s.state();
        if (!bl.clip.isEmpty()) st.clip = bl.clip;
        s.context->drawBitmap(st, *bl.image.bitmap, bl.dest, bl.offset, 1.0f);
        for (int y = int(bl.dest.top); y < std::min(int(bl.dest.bottom), kH); ++y)
            for (int x = int(bl.dest.left); x < std::min(int(bl.dest.right), kW); ++x) {
                const int sx = x - int(bl.dest.left - bl.offset.x), sy = y - int(bl.dest.top - bl.offset.y);
                if ((bl.clip.isEmpty() || bl.clip.pointInside(CPoint(x, y))) && sx >= 0 && sy >= 0 &&
                    sx < bl.image.width && sy < bl.image.height)
                    expected[size_t(y) * kW + x] = bl.image.pixels[size_t(sy) * bl.image.width + sx];
            }
    }
    EXPECT_EQ(std::vector<uint32_t>(s.context->getPixels(), s.context->getPixels() + kW * kH), expected);
}

// Fills, round shapes, gradients and alpha are held to the same rules in the toolkit's render
// tests; what those leave open is where a stroke's pixels lie.
TEST(DrawingBackend, StrokesLieOnTheirEdgePixelsAndStayInsideTheClip) {
    Surface s(32, 20);
    ASSERT_TRUE(s.context);
    CDrawState st = s.state();
    st.frameColor = kGreenCColor;
    st.clip = CRect(0, 0, 32, 16);
    s.context->drawLine(st, CPoint(2, 12), CPoint(10, 12));
    s.context->drawLine(st, CPoint(2, 17), CPoint(10, 17));
    s.context->drawRect(st, CRect(12, 2, 20, 10), kDrawStroked);
    for (auto [x, y, lit] : {std::tuple{3, 12, 1}, {8, 12, 1}, {5, 11, 0}, {5, 13, 0}, {5, 17, 0}, {12, 2, 1},
                             {19, 2, 1}, {12, 9, 1}, {19, 9, 1}, {15, 2, 1}, {12, 5, 1}, {11, 2, 0}, {20, 2, 0},
                             {12, 1, 0}, {12, 10, 0}, {15, 5, 0}, {13, 3, 0}})
        EXPECT_EQ(s.at(x, y), lit ? 0xff00ff00u : 0u) << x << "," << y;
    // A 2-px rounded outline runs along the rectangle, one pixel each side of its edge.
    st.lineWidth = 2;
    s.context->drawRoundRect(st, CRect(22, 5, 30, 11), 2, kDrawStroked);
    for (int y = 3; y < 8; ++y) EXPECT_EQ(s.at(26, y), y == 4 || y == 5 ? 0xff00ff00u : 0u) << y;
}

// Where text lands is held to the toolkit render tests; here, that every backend measures alike.
TEST(DrawingBackend, TextMeasuresTheBundledFontsAdvances) {
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
}

} // namespace
} // namespace kelo::gui
