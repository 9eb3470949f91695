#include "toolkit/cairo/CairoContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "toolkit/cairo/CairoFonts.h"

namespace kelo::gui::cairo {

namespace {

double channel(uint8_t v) { return v / 255.0; }

// Strokes of odd integer width sit on pixel centres.
double strokeShift(CCoord width) {
    const double w = std::round(width);
    return (w == width && static_cast<long>(w) % 2 == 1) ? 0.5 : 0.0;
}

double whole(double v) { return std::floor(v + 0.5); }

} // namespace

// ---- CairoBitmap ----

std::unique_ptr<CairoBitmap> CairoBitmap::create(const uint32_t* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y)
        std::memcpy(data + size_t(y) * size_t(stride), pixels + size_t(y) * size_t(width), size_t(width) * 4);
    cairo_surface_mark_dirty(s);
    return std::unique_ptr<CairoBitmap>(new CairoBitmap(s, width, height));
}

CairoBitmap::~CairoBitmap() { cairo_surface_destroy(surface_); }

// ---- CairoImageContext ----

std::unique_ptr<CairoImageContext> CairoImageContext::create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return std::unique_ptr<CairoImageContext>(new CairoImageContext(s, width, height));
}

CairoImageContext::CairoImageContext(cairo_surface_t* s, int w, int h)
    : surface_(s), cr_(cairo_create(s)), width_(w), height_(h) {}

CairoImageContext::~CairoImageContext() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

const uint32_t* CairoImageContext::getPixels() {
    cairo_surface_flush(surface_);
    // ARGB32 rows are width × 4 bytes, so the surface is one contiguous block of words.
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface_));
}

void CairoImageContext::clear(const CColor& color) {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr_, channel(color.red), channel(color.green), channel(color.blue), channel(color.alpha));
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void CairoImageContext::begin(const CDrawState& s) {
    cairo_save(cr_);
    cairo_set_antialias(cr_, s.drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, s.clip.left, s.clip.top, s.clip.getWidth(), s.clip.getHeight());
    cairo_clip(cr_);
}

void CairoImageContext::source(const CColor& c, float globalAlpha) {
    cairo_set_source_rgba(cr_, channel(c.red), channel(c.green), channel(c.blue), channel(c.alpha) * globalAlpha);
}

void CairoImageContext::strokeStyle(const CDrawState& s) {
    cairo_set_line_width(cr_, s.lineWidth);
    if (s.lineStyle == kLineOnOffDash) {
        const double dash = std::max(1.0, s.lineWidth);
        cairo_set_dash(cr_, &dash, 1, 0);
    }
    static constexpr cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
    static constexpr cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_cap(cr_, caps[static_cast<int>(s.lineCap) % 3]);
    cairo_set_line_join(cr_, joins[static_cast<int>(s.lineJoin) % 3]);
    source(s.frameColor, s.globalAlpha);
}

void CairoImageContext::finishPath(const CDrawState& s, CDrawStyle style) {
    if (style == kDrawFilled || style == kDrawFilledAndStroked) {
        source(s.fillColor, s.globalAlpha);
        if (style == kDrawFilled)
            cairo_fill(cr_);
        else
            cairo_fill_preserve(cr_);
    }
    if (style == kDrawStroked || style == kDrawFilledAndStroked) {
        strokeStyle(s);
        cairo_stroke(cr_);
    }
}

void CairoImageContext::drawLine(const CDrawState& s, const CPoint& from, const CPoint& to) {
    begin(s);
    // An upright or level line moves across itself only: its ends then stay on pixel edges,
    // where no rounding can add or drop a pixel at either end.
    const double d = strokeShift(s.lineWidth);
    const double dx = from.y == to.y && from.x != to.x ? 0.0 : d;
    const double dy = from.x == to.x && from.y != to.y ? 0.0 : d;
    cairo_move_to(cr_, from.x + dx, from.y + dy);
    cairo_line_to(cr_, to.x + dx, to.y + dy);
    strokeStyle(s);
    cairo_stroke(cr_);
    end();
}

void CairoImageContext::drawPolygon(const CDrawState& s, const CPoint* points, size_t count, bool closed,
                                    CDrawStyle style) {
    if (!points || count < 2) return;
    begin(s);
    const bool fill = closed && style != kDrawStroked;
    if (fill) {
        cairo_move_to(cr_, points[0].x, points[0].y);
        for (size_t i = 1; i < count; ++i) cairo_line_to(cr_, points[i].x, points[i].y);
        cairo_close_path(cr_);
        source(s.fillColor, s.globalAlpha);
        cairo_fill(cr_);
    }
    if (!closed || style != kDrawFilled) {
        const double d = strokeShift(s.lineWidth);
        cairo_move_to(cr_, points[0].x + d, points[0].y + d);
        for (size_t i = 1; i < count; ++i) cairo_line_to(cr_, points[i].x + d, points[i].y + d);
        if (closed) cairo_close_path(cr_);
        strokeStyle(s);
        cairo_stroke(cr_);
    }
    end();
}

void CairoImageContext::drawRect(const CDrawState& s, const CRect& r, CDrawStyle style) {
    begin(s);
    if (style != kDrawStroked) {
        cairo_rectangle(cr_, r.left, r.top, r.getWidth(), r.getHeight());
        source(s.fillColor, s.globalAlpha);
        cairo_fill(cr_);
    }
    if (style != kDrawFilled) {
        const double h = s.lineWidth / 2;
        cairo_rectangle(cr_, r.left + h, r.top + h, r.getWidth() - s.lineWidth, r.getHeight() - s.lineWidth);
        strokeStyle(s);
        cairo_stroke(cr_);
    }
    end();
}

void CairoImageContext::drawEllipse(const CDrawState& s, const CRect& r, CDrawStyle style) {
    auto ellipse = [this](const CRect& e) {
        if (e.getWidth() <= 0 || e.getHeight() <= 0) return false;
        cairo_save(cr_);
        cairo_translate(cr_, e.left + e.getWidth() / 2, e.top + e.getHeight() / 2);
        cairo_scale(cr_, e.getWidth() / 2, e.getHeight() / 2);
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr_);
        return true;
    };
    begin(s);
    if (style != kDrawStroked && ellipse(r)) {
        source(s.fillColor, s.globalAlpha);
        cairo_fill(cr_);
    }
    CRect inner = r;
    inner.inset(s.lineWidth / 2, s.lineWidth / 2);
    if (style != kDrawFilled && ellipse(inner)) {
        strokeStyle(s);
        cairo_stroke(cr_);
    }
    end();
}

void CairoImageContext::roundRectPath(const CRect& r, CCoord radius) {
    const double rad = std::clamp(radius, 0.0, std::min(r.getWidth(), r.getHeight()) / 2);
    const double pi = std::numbers::pi;
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, r.right - rad, r.top + rad, rad, -pi / 2, 0);
    cairo_arc(cr_, r.right - rad, r.bottom - rad, rad, 0, pi / 2);
    cairo_arc(cr_, r.left + rad, r.bottom - rad, rad, pi / 2, pi);
    cairo_arc(cr_, r.left + rad, r.top + rad, rad, pi, 3 * pi / 2);
    cairo_close_path(cr_);
}

void CairoImageContext::drawRoundRect(const CDrawState& s, const CRect& r, CCoord radius, CDrawStyle style) {
    if (r.isEmpty()) return;
    begin(s);
    roundRectPath(r, radius);
    finishPath(s, style);
    end();
}

void CairoImageContext::fillRoundRectGradient(const CDrawState& s, const CRect& r, CCoord radius,
                                              const CGradientStop* stops, size_t count) {
    if (r.isEmpty() || !stops || count == 0) return;
    begin(s);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, r.top, 0, r.bottom);
    for (size_t i = 0; i < count; ++i) {
        const CColor& c = stops[i].color;
        cairo_pattern_add_color_stop_rgba(p, std::clamp(stops[i].position, 0.0, 1.0), channel(c.red), channel(c.green),
                                          channel(c.blue), channel(c.alpha) * s.globalAlpha);
    }
    roundRectPath(r, radius);
    cairo_set_source(cr_, p);
    cairo_fill(cr_);
    cairo_pattern_destroy(p);
    end();
}

void CairoImageContext::drawBitmap(const CDrawState& s, IPlatformBitmap& bitmap, const CRect& dest,
                                   const CPoint& offset, float alpha) {
    const double a = double(alpha) * s.globalAlpha;
    if (a <= 0) return;
    const CRect d(whole(dest.left), whole(dest.top), whole(dest.right), whole(dest.bottom));
    if (d.isEmpty()) return;
    begin(s);
    cairo_rectangle(cr_, d.left, d.top, d.getWidth(), d.getHeight());
    cairo_clip(cr_);
    cairo_set_source_surface(cr_, static_cast<CairoBitmap&>(bitmap).surface(), d.left - whole(offset.x),
                             d.top - whole(offset.y));
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    if (a >= 1.0)
        cairo_paint(cr_);
    else
        cairo_paint_with_alpha(cr_, a);
    end();
}

void CairoImageContext::drawString(const CDrawState& s, IPlatformFont& font, std::string_view utf8,
                                   const CPoint& baseline, bool antialias) {
    if (utf8.empty()) return;
    auto& f = static_cast<CairoFont&>(font);
    PangoLayout* l = f.layout(utf8, antialias);
    begin(s);
    source(s.fontColor, s.globalAlpha);
    cairo_move_to(cr_, baseline.x, baseline.y - double(pango_layout_get_baseline(l)) / PANGO_SCALE);
    pango_cairo_show_layout(cr_, l);
    end();
}

} // namespace kelo::gui::cairo
