#include "toolkit/win32/GdiplusFont.h"

namespace kelo::gui::win32 {

std::wstring toWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(std::min<size_t>(utf8.size(), 0x7fffffff));
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

std::unique_ptr<GdiplusFont> GdiplusFont::create(CCoord size, int32 style) {
    if (!(size > 0) || size > 10000) return nullptr;
    auto f = std::unique_ptr<GdiplusFont>(new GdiplusFont(size, style));
    const GdiplusSession session;
    if (!f->ensure(session)) return nullptr;
    const Gdiplus::FontFamily* family = session.bundledFamily();
    const INT face = f->font_->GetStyle();
    const double em = family->GetEmHeight(face);
    if (em <= 0) return nullptr;
    f->ascent_ = size * family->GetCellAscent(face) / em;
    f->descent_ = size * family->GetCellDescent(face) / em;
    // The top of "H" above the baseline: the cap height in the outline itself.
    Gdiplus::GraphicsPath path;
    Gdiplus::RectF bounds;
    if (path.AddString(L"H", 1, family, face, static_cast<Gdiplus::REAL>(size), Gdiplus::PointF(0, 0),
                       f->format_.get()) == Gdiplus::Ok &&
        path.GetBounds(&bounds) == Gdiplus::Ok && bounds.Height > 0)
        f->capHeight_ = f->ascent_ - bounds.Y;
    return f;
}

GdiplusFont::~GdiplusFont() { gdiplusStopping(); }

void GdiplusFont::gdiplusStopping() {
    measure_.reset();
    measureImage_.reset();
    format_.reset();
    font_.reset();
}

bool GdiplusFont::ensure(const GdiplusSession& session) const {
    if (measure_) return true;
    const Gdiplus::FontFamily* family = session.bundledFamily();
    if (!family) return false;
    // Only regular and bold faces are bundled; GDI+ refuses a face the collection lacks.
    const INT faces[] = {(style_ & kBoldFace) ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                         Gdiplus::FontStyleRegular};
    for (INT face : faces) {
        font_ = std::make_unique<Gdiplus::Font>(family, static_cast<Gdiplus::REAL>(size_), face, Gdiplus::UnitPixel);
        if (font_->GetLastStatus() == Gdiplus::Ok && font_->IsAvailable()) break;
        font_.reset();
    }
    if (!font_) return false;
    format_ = std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormat::GenericTypographic());
    format_->SetFormatFlags(format_->GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces |
                            Gdiplus::StringFormatFlagsNoWrap);
    measureImage_ = std::make_unique<Gdiplus::Bitmap>(1, 1, PixelFormat32bppPARGB);
    measure_ = std::make_unique<Gdiplus::Graphics>(measureImage_.get());
    if (format_->GetLastStatus() != Gdiplus::Ok || measure_->GetLastStatus() != Gdiplus::Ok) {
        const_cast<GdiplusFont*>(this)->gdiplusStopping();
        return false;
    }
    measure_->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    return true;
}

CCoord GdiplusFont::getStringWidth(std::string_view utf8) const {
    const std::wstring text = toWide(utf8);
    if (text.empty()) return 0;
    // Usually an editor is open and GDI+ runs; otherwise this starts it for the one call.
    const GdiplusSession session;
    if (!ensure(session)) return 0;
    Gdiplus::RectF box;
    if (measure_->MeasureString(text.c_str(), static_cast<INT>(text.size()), font_.get(), Gdiplus::PointF(0, 0),
                                format_.get(), &box) != Gdiplus::Ok)
        return 0;
    return box.Width;
}

} // namespace kelo::gui::win32
