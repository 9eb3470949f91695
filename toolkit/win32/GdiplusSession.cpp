#include "toolkit/win32/GdiplusSession.h"

#include <memory>
#include <mutex>

#include "toolkit/platform/BundledFonts.h"

namespace kelo::gui::win32 {

namespace {

// Plain data with constant initialisation: nothing here runs a destructor at unload.
std::mutex lock;
int sessions = 0;
ULONG_PTR token = 0;
bool started = false;
Gdiplus::PrivateFontCollection* fonts = nullptr;
Gdiplus::FontFamily* family = nullptr;
bool fontsTried = false;
GdiplusSession::Dependent* dependents = nullptr;

void loadFonts() {
    fontsTried = true;
    auto collection = std::make_unique<Gdiplus::PrivateFontCollection>();
    if (collection->GetLastStatus() != Gdiplus::Ok) return;
    for (bool bold : {false, true}) {
        const FontFile f = bundledFont(bold);
        // The data stays where it is (it is part of the module) for as long as the collection.
        if (!f.data || f.size == 0 ||
            collection->AddMemoryFont(f.data, static_cast<INT>(f.size)) != Gdiplus::Ok)
            return;
    }
    const FontFile regular = bundledFont(false);
    wchar_t name[LF_FACESIZE] = {};
    MultiByteToWideChar(CP_UTF8, 0, regular.family, -1, name, LF_FACESIZE - 1);
    auto f = std::make_unique<Gdiplus::FontFamily>(name, collection.get());
    if (f->GetLastStatus() != Gdiplus::Ok) return;
    fonts = collection.release();
    family = f.release();
}

} // namespace

GdiplusSession::GdiplusSession() {
    std::lock_guard<std::mutex> guard(lock);
    if (sessions == 0) {
        Gdiplus::GdiplusStartupInput input;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    ++sessions;
    ok_ = started;
}

GdiplusSession::~GdiplusSession() {
    std::lock_guard<std::mutex> guard(lock);
    if (--sessions > 0) return;
    if (started)
        for (Dependent* d = dependents; d; d = d->next_) d->gdiplusStopping();
    delete family;
    delete fonts;
    family = nullptr;
    fonts = nullptr;
    fontsTried = false;
    if (started) Gdiplus::GdiplusShutdown(token);
    started = false;
    token = 0;
}

const Gdiplus::FontFamily* GdiplusSession::bundledFamily() const {
    if (!ok_) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    if (!fontsTried) loadFonts();
    return family;
}

GdiplusSession::Dependent::Dependent() {
    std::lock_guard<std::mutex> guard(lock);
    next_ = dependents;
    dependents = this;
}

GdiplusSession::Dependent::~Dependent() {
    std::lock_guard<std::mutex> guard(lock);
    for (Dependent** p = &dependents; *p; p = &(*p)->next_)
        if (*p == this) {
            *p = next_;
            break;
        }
}

int GdiplusSession::activeSessions() {
    std::lock_guard<std::mutex> guard(lock);
    return sessions;
}

} // namespace kelo::gui::win32
