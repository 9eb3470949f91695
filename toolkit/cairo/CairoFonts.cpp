#include "toolkit/cairo/CairoFonts.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/platform/BundledFonts.h"

namespace kelo::gui::cairo {

namespace {

// The bundled font files as paths fontconfig, FreeType and HarfBuzz can open: anonymous memory
// files (/proc/self/fd/N), or private temporary files where those do not exist.
class FontFileSet {
public:
    FontFileSet() {
        for (bool bold : {false, true}) {
            const FontFile f = bundledFont(bold);
            std::string path = store(f.data, f.size);
            if (path.empty()) return;
            paths_.push_back(path);
        }
        ok_ = true;
    }
    ~FontFileSet() {
        for (int fd : fds_) ::close(fd);
        for (const std::string& p : tempFiles_) std::remove(p.c_str());
    }
    bool ok() const { return ok_; }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::string store(const unsigned char* data, size_t size) {
        int fd = ::memfd_create("kelo-font", MFD_CLOEXEC);
        std::string path;
        if (fd >= 0) {
            path = "/proc/self/fd/" + std::to_string(fd);
        } else {
            const char* tmp = std::getenv("TMPDIR");
            std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelo-font-XXXXXX";
            std::vector<char> buf(templ.begin(), templ.end());
            buf.push_back(0);
            fd = ::mkstemp(buf.data());
            if (fd < 0) return {};
            path = buf.data();
            tempFiles_.push_back(path);
        }
        fds_.push_back(fd);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0) return {};
            done += static_cast<size_t>(n);
        }
        return path;
    }

    std::vector<int> fds_;
    std::vector<std::string> tempFiles_;
    std::vector<std::string> paths_;
    bool ok_ = false;
};

// One private font map for the process (the UI thread), with a smoothed and an aliased
// context. Hinting is off so glyph positions are the same on every surface.
class FontSystem {
public:
    static FontSystem* get() {
        static FontSystem system;
        return system.map_ ? &system : nullptr;
    }
    ~FontSystem() {
        for (PangoContext* c : contexts_)
            if (c) g_object_unref(c);
        if (map_) g_object_unref(map_);
    }
    PangoContext* context(bool antialias) const { return contexts_[antialias ? 1 : 0]; }

private:
    FontSystem() {
        if (!files_.ok()) return;
        FcConfig* config = FcConfigCreate();
        if (!config) return;
        bool added = true;
        for (const std::string& p : files_.paths())
            added = added && FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(p.c_str()));
        if (!added) {
            FcConfigDestroy(config);
            return;
        }
        map_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!map_ || !PANGO_IS_FC_FONT_MAP(map_)) {
            FcConfigDestroy(config);
            if (map_) g_object_unref(map_);
            map_ = nullptr;
            return;
        }
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map_), config);
        FcConfigDestroy(config); // the font map holds its own reference
        for (int aa = 0; aa < 2; ++aa) {
            PangoContext* c = pango_font_map_create_context(map_);
            cairo_font_options_t* o = cairo_font_options_create();
            cairo_font_options_set_antialias(o, aa ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
            cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
            pango_cairo_context_set_font_options(c, o);
            cairo_font_options_destroy(o);
            pango_cairo_context_set_resolution(c, 96.0);
            contexts_[aa] = c;
        }
    }

    FontFileSet files_;
    PangoFontMap* map_ = nullptr;
    PangoContext* contexts_[2] = {nullptr, nullptr};
};

} // namespace

std::unique_ptr<CairoFont> CairoFont::create(CCoord size, int32 style) {
    FontSystem* fs = FontSystem::get();
    if (!fs || size <= 0) return nullptr;
    PangoFontDescription* d = pango_font_description_new();
    // Every family name maps to the bundled one.
    pango_font_description_set_family(d, bundledFont(false).family);
    pango_font_description_set_weight(d, (style & kBoldFace) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, (style & kItalicFace) ? PANGO_STYLE_OBLIQUE : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
    auto font = std::unique_ptr<CairoFont>(new CairoFont(d));

    PangoFontMetrics* m = pango_context_get_metrics(fs->context(true), d, nullptr);
    font->ascent_ = double(pango_font_metrics_get_ascent(m)) / PANGO_SCALE;
    font->descent_ = double(pango_font_metrics_get_descent(m)) / PANGO_SCALE;
    pango_font_metrics_unref(m);
    PangoLayout* l = font->layout("H", true);
    PangoRectangle ink;
    pango_layout_get_extents(l, &ink, nullptr);
    font->capHeight_ = double(pango_layout_get_baseline(l) - ink.y) / PANGO_SCALE;
    return font;
}

CairoFont::CairoFont(PangoFontDescription* description) : description_(description) {}

CairoFont::~CairoFont() {
    for (PangoLayout* l : layouts_)
        if (l) g_object_unref(l);
    pango_font_description_free(description_);
}

PangoLayout* CairoFont::layout(std::string_view utf8, bool antialias) const {
    PangoLayout*& l = layouts_[antialias ? 1 : 0];
    if (!l) {
        FontSystem* fs = FontSystem::get();
        l = pango_layout_new(fs->context(antialias));
        pango_layout_set_font_description(l, description_);
    }
    if (g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) {
        pango_layout_set_text(l, utf8.data(), static_cast<int>(utf8.size()));
    } else {
        // Text from files (names, skins) may be in another encoding: show what can be shown.
        gchar* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size()));
        pango_layout_set_text(l, valid, -1);
        g_free(valid);
    }
    return l;
}

CCoord CairoFont::getStringWidth(std::string_view utf8) const {
    if (utf8.empty()) return 0;
    PangoRectangle logical;
    pango_layout_get_extents(layout(utf8, true), nullptr, &logical);
    return double(logical.width) / PANGO_SCALE;
}

} // namespace kelo::gui::cairo
