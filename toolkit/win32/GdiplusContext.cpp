#include "toolkit/win32/GdiplusContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "toolkit/win32/GdiplusFont.h"

namespace kelo::gui::win32 {

namespace {

using Gdiplus::REAL;

double whole(double v) { return std::floor(v + 0.5); }

// Strokes of odd integer width sit on pixel centres.
double strokeShift(CCoord width) {
    const double w = std::round(width);
    return (w == width && static_cast<long>(w) % 2 == 1) ? 0.5 : 0.0;
}

Gdiplus::Color color(const CColor& c, float globalAlpha) {
    const float a = std::clamp(c.alpha * globalAlpha, 0.0f, 255.0f);
    return Gdiplus::Color(static_cast<BYTE>(std::lround(a)), c.red, c.green, c.blue);
}

Gdiplus::RectF rectF(const CRect& r, double inset = 0) {
    return Gdiplus::RectF(static_cast<REAL>(r.left + inset), static_cast<REAL>(r.top + inset),
                          static_cast<REAL>(r.getWidth() - 2 * inset), static_cast<REAL>(r.getHeight() - 2 * inset));
}

Gdiplus::PointF pointF(const CPoint& p, double shift = 0) {
    return Gdiplus::PointF(static_cast<REAL>(p.x + shift), static_cast<REAL>(p.y + shift));
}

// A pen for the state's frame colour, width, dash, cap and join.
void setupPen(Gdiplus::Pen& pen, const CDrawState& s) {
    static constexpr Gdiplus::LineCap caps[] = {Gdiplus::LineCapFlat, Gdiplus::LineCapRound, Gdiplus::LineCapSquare};
    static constexpr Gdiplus::LineJoin joins[] = {Gdiplus::LineJoinMiter, Gdiplus::LineJoinRound,
                                                  Gdiplus::LineJoinBevel};
    const int cap = std::clamp(static_cast<int>(s.lineCap), 0, 2);
    pen.SetLineCap(caps[cap], caps[cap], Gdiplus::DashCapFlat);
    pen.SetLineJoin(joins[std::clamp(static_cast<int>(s.lineJoin), 0, 2)]);
    if (s.lineStyle == kLineOnOffDash) {
        // GDI+ dash lengths are in line widths: on and off one width each, at least a pixel.
        const REAL unit = s.lineWidth >= 1 ? 1.0f : static_cast<REAL>(1.0 / std::max(s.lineWidth, 0.01));
        const REAL pattern[] = {unit, unit};
        pen.SetDashPattern(pattern, 2);
    }
}

void roundRectPath(Gdiplus::GraphicsPath& path, const CRect& r, CCoord radius) {
    const double rad = std::clamp(radius, 0.0, std::min(r.getWidth(), r.getHeight()) / 2);
    if (rad <= 0) {
        path.AddRectangle(rectF(r));
        return;
    }
    const auto d = static_cast<REAL>(2 * rad);
    const auto l = static_cast<REAL>(r.left);
    const auto t = static_cast<REAL>(r.top);
    const auto rr = static_cast<REAL>(r.right);
    const auto b = static_cast<REAL>(r.bottom);
    path.AddArc(rr - d, t, d, d, 270, 90);
    path.AddArc(rr - d, b - d, d, d, 0, 90);
    path.AddArc(l, b - d, d, d, 90, 90);
    path.AddArc(l, t, d, d, 180, 90);
    path.CloseFigure();
}

} // namespace

// ---- GdiplusBitmap ----

std::unique_ptr<GdiplusBitmap> GdiplusBitmap::create(const uint32_t* pixels, int width, int height) {
    // The portable loader bounds sizes; this only guards the stride arithmetic.
    if (!pixels || width <= 0 || height <= 0 || width > 0x7fffffff / 4) return nullptr;
    auto b = std::unique_ptr<GdiplusBitmap>(new GdiplusBitmap(width, height));
    if (!b->session_.ok()) return nullptr;
    b->pixels_.assign(pixels, pixels + size_t(width) * size_t(height));
    b->opaque_ = std::all_of(b->pixels_.begin(), b->pixels_.end(), [](uint32_t p) { return (p >> 24) == 0xff; });
    b->image_ = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                  reinterpret_cast<BYTE*>(b->pixels_.data()));
    if (b->image_->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return b;
}

// ---- GdiplusContext ----

std::unique_ptr<GdiplusContext> GdiplusContext::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
    auto c = std::unique_ptr<GdiplusContext>(new GdiplusContext(width, height));
    if (!c->session_.ok()) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows, like the pixels the interface hands out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    c->dib_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!c->dib_ || !bits) return nullptr;
    c->bits_ = static_cast<uint32_t*>(bits);
    c->dc_ = CreateCompatibleDC(nullptr);
    if (!c->dc_) return nullptr;
    c->oldBitmap_ = SelectObject(c->dc_, c->dib_);
    c->image_ = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                  reinterpret_cast<BYTE*>(bits));
    if (c->image_->GetLastStatus() != Gdiplus::Ok) return nullptr;
    c->graphics_ = std::make_unique<Gdiplus::Graphics>(c->image_.get());
    if (c->graphics_->GetLastStatus() != Gdiplus::Ok) return nullptr;
    c->graphics_->SetCompositingQuality(Gdiplus::CompositingQualityDefault);
    c->graphics_->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    std::memset(bits, 0, size_t(width) * size_t(height) * 4);
    return c;
}

GdiplusContext::~GdiplusContext() {
    graphics_.reset();
    image_.reset();
    if (dc_) {
        SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    if (dib_) DeleteObject(dib_);
}

void GdiplusContext::flush() { graphics_->Flush(Gdiplus::FlushIntentionSync); }

const uint32_t* GdiplusContext::getPixels() {
    flush();
    return bits_;
}

void GdiplusContext::clear(const CColor& color) {
    flush();
    const uint32_t a = color.alpha;
    auto pre = [a](uint32_t v) { return (v * a + 127) / 255; };
    const uint32_t word = (a << 24) | (pre(color.red) << 16) | (pre(color.green) << 8) | pre(color.blue);
    std::fill(bits_, bits_ + size_t(width_) * size_t(height_), word);
}

bool GdiplusContext::begin(const CDrawState& s, bool shapes) {
    Gdiplus::Graphics& g = *graphics_;
    g.ResetTransform();
    g.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    CRect clip(whole(s.clip.left), whole(s.clip.top), whole(s.clip.right), whole(s.clip.bottom));
    clip.bound(getSurfaceRect());
    if (clip.isEmpty()) return false;
    g.SetClip(Gdiplus::Rect(static_cast<INT>(clip.left), static_cast<INT>(clip.top), static_cast<INT>(clip.getWidth()),
                            static_cast<INT>(clip.getHeight())));
    if (shapes) {
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
        g.TranslateTransform(-0.5f, -0.5f);
        g.SetSmoothingMode(s.drawMode == kAntiAliasing ? Gdiplus::SmoothingModeAntiAlias : Gdiplus::SmoothingModeNone);
    } else {
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        g.SetSmoothingMode(Gdiplus::SmoothingModeNone);
    }
    return true;
}

void GdiplusContext::strokeAndFill(const CDrawState& s, Gdiplus::GraphicsPath& fillPath,
                                   Gdiplus::GraphicsPath* strokePath, CDrawStyle style) {
    if (style != kDrawStroked) {
        Gdiplus::SolidBrush brush(color(s.fillColor, s.globalAlpha));
        graphics_->FillPath(&brush, &fillPath);
    }
    if (style != kDrawFilled) {
        Gdiplus::Pen pen(color(s.frameColor, s.globalAlpha), static_cast<REAL>(s.lineWidth));
        setupPen(pen, s);
        graphics_->DrawPath(&pen, strokePath ? strokePath : &fillPath);
    }
}

void GdiplusContext::drawLine(const CDrawState& s, const CPoint& from, const CPoint& to) {
    if (!begin(s, true)) return;
    Gdiplus::Pen pen(color(s.frameColor, s.globalAlpha), static_cast<REAL>(s.lineWidth));
    setupPen(pen, s);
    const double d = strokeShift(s.lineWidth);
    graphics_->DrawLine(&pen, pointF(from, d), pointF(to, d));
}

void GdiplusContext::drawPolygon(const CDrawState& s, const CPoint* points, size_t count, bool closed,
                                 CDrawStyle style) {
    if (!points || count < 2 || count > 0x7fffffff || !begin(s, true)) return;
    std::vector<Gdiplus::PointF> p(count);
    const INT n = static_cast<INT>(count);
    if (closed && style != kDrawStroked) {
        for (size_t i = 0; i < count; ++i) p[i] = pointF(points[i]);
        Gdiplus::SolidBrush brush(color(s.fillColor, s.globalAlpha));
        graphics_->FillPolygon(&brush, p.data(), n, Gdiplus::FillModeWinding);
    }
    if (!closed || style != kDrawFilled) {
        const double d = strokeShift(s.lineWidth);
        for (size_t i = 0; i < count; ++i) p[i] = pointF(points[i], d);
        Gdiplus::Pen pen(color(s.frameColor, s.globalAlpha), static_cast<REAL>(s.lineWidth));
        setupPen(pen, s);
        if (closed)
            graphics_->DrawPolygon(&pen, p.data(), n);
        else
            graphics_->DrawLines(&pen, p.data(), n);
    }
}

void GdiplusContext::drawRect(const CDrawState& s, const CRect& r, CDrawStyle style) {
    if (r.isEmpty() || !begin(s, true)) return;
    if (style != kDrawStroked) {
        Gdiplus::SolidBrush brush(color(s.fillColor, s.globalAlpha));
        graphics_->FillRectangle(&brush, rectF(r));
    }
    if (style != kDrawFilled) {
        Gdiplus::Pen pen(color(s.frameColor, s.globalAlpha), static_cast<REAL>(s.lineWidth));
        setupPen(pen, s);
        graphics_->DrawRectangle(&pen, rectF(r, s.lineWidth / 2));
    }
}

void GdiplusContext::drawEllipse(const CDrawState& s, const CRect& r, CDrawStyle style) {
    if (r.isEmpty() || !begin(s, true)) return;
    if (style != kDrawStroked) {
        Gdiplus::SolidBrush brush(color(s.fillColor, s.globalAlpha));
        graphics_->FillEllipse(&brush, rectF(r));
    }
    if (style != kDrawFilled && r.getWidth() > s.lineWidth && r.getHeight() > s.lineWidth) {
        Gdiplus::Pen pen(color(s.frameColor, s.globalAlpha), static_cast<REAL>(s.lineWidth));
        setupPen(pen, s);
        graphics_->DrawEllipse(&pen, rectF(r, s.lineWidth / 2));
    }
}

void GdiplusContext::drawRoundRect(const CDrawState& s, const CRect& r, CCoord radius, CDrawStyle style) {
    if (r.isEmpty() || !begin(s, true)) return;
    Gdiplus::GraphicsPath path;
    roundRectPath(path, r, radius);
    strokeAndFill(s, path, nullptr, style);
}

void GdiplusContext::fillRoundRectGradient(const CDrawState& s, const CRect& r, CCoord radius,
                                           const CGradientStop* stops, size_t count) {
    if (r.isEmpty() || !stops || count == 0 || !begin(s, true)) return;
    Gdiplus::GraphicsPath path;
    roundRectPath(path, r, radius);
    if (count == 1) {
        Gdiplus::SolidBrush brush(color(stops[0].color, s.globalAlpha));
        graphics_->FillPath(&brush, &path);
        return;
    }
    // GDI+ wants the first stop at 0 and the last at 1; the end colours extend to the edges.
    std::vector<Gdiplus::Color> colors;
    std::vector<REAL> positions;
    colors.reserve(count + 2);
    positions.reserve(count + 2);
    for (size_t i = 0; i < count; ++i) {
        const auto pos = static_cast<REAL>(std::clamp(stops[i].position, 0.0, 1.0));
        if (i == 0 && pos > 0) {
            colors.push_back(color(stops[0].color, s.globalAlpha));
            positions.push_back(0);
        }
        colors.push_back(color(stops[i].color, s.globalAlpha));
        positions.push_back(std::max(pos, positions.empty() ? 0.0f : positions.back()));
    }
    if (positions.back() < 1) {
        colors.push_back(colors.back());
        positions.push_back(1);
    }
    Gdiplus::LinearGradientBrush brush(Gdiplus::PointF(0, static_cast<REAL>(r.top)),
                                       Gdiplus::PointF(0, static_cast<REAL>(r.bottom)), colors.front(), colors.back());
    brush.SetInterpolationColors(colors.data(), positions.data(), static_cast<INT>(colors.size()));
    // Without this GDI+ wraps the gradient, and the first row can take the last colour.
    brush.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics_->FillPath(&brush, &path);
}

void GdiplusContext::drawBitmap(const CDrawState& s, IPlatformBitmap& bitmap, const CRect& dest,
                                const CPoint& offset, float alpha) {
    const double a = double(alpha) * s.globalAlpha;
    if (!(a > 0)) return;
    auto& image = static_cast<GdiplusBitmap&>(bitmap);
    const CRect d(whole(dest.left), whole(dest.top), whole(dest.right), whole(dest.bottom));
    // The image's place on the surface, cut to dest: pixels of dest outside it stay untouched.
    const double x0 = d.left - whole(offset.x);
    const double y0 = d.top - whole(offset.y);
    CRect visible(x0, y0, x0 + image.getWidth(), y0 + image.getHeight());
    visible.bound(d);
    if (visible.isEmpty() || !begin(s, false)) return;
    const Gdiplus::Rect target(static_cast<INT>(visible.left), static_cast<INT>(visible.top),
                               static_cast<INT>(visible.getWidth()), static_cast<INT>(visible.getHeight()));
    const auto srcX = static_cast<INT>(visible.left - x0);
    const auto srcY = static_cast<INT>(visible.top - y0);
    if (a >= 1.0) {
        // The same pixels as blending, several times faster (wine's blending path especially).
        if (image.opaque()) graphics_->SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics_->DrawImage(&image.image(), target, srcX, srcY, target.Width, target.Height, Gdiplus::UnitPixel);
        return;
    }
    Gdiplus::ColorMatrix m = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, static_cast<REAL>(a), 0},
                               {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&m);
    graphics_->DrawImage(&image.image(), target, srcX, srcY, target.Width, target.Height, Gdiplus::UnitPixel,
                         &attributes);
}

void GdiplusContext::drawString(const CDrawState& s, IPlatformFont& font, std::string_view utf8,
                                const CPoint& baseline, bool antialias) {
    const std::wstring text = toWide(utf8);
    auto& f = static_cast<GdiplusFont&>(font);
    if (text.empty() || !f.ensure(session_) || !begin(s, false)) return;
    // Grayscale only: ClearType on a surface with alpha leaves coloured fringes.
    graphics_->SetTextRenderingHint(antialias ? Gdiplus::TextRenderingHintAntiAlias
                                              : Gdiplus::TextRenderingHintSingleBitPerPixel);
    Gdiplus::SolidBrush brush(color(s.fontColor, s.globalAlpha));
    const Gdiplus::PointF origin(static_cast<REAL>(baseline.x), static_cast<REAL>(baseline.y - f.getAscent()));
    graphics_->DrawString(text.c_str(), static_cast<INT>(text.size()), &f.font(), origin, &f.format(), &brush);
}

} // namespace kelo::gui::win32
