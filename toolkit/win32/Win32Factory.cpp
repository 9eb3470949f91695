// Windows: GDI+ drawing, a child HWND per editor. Timers are polled from the frame's idle, which
// the host's effEditIdle and the window's own 30 ms timer both drive, so they run even in hosts
// that rarely send effEditIdle, and always on the UI thread between events.
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/PolledTimer.h"
#include "toolkit/win32/GdiplusContext.h"
#include "toolkit/win32/GdiplusFont.h"
#include "toolkit/win32/Win32Frame.h"

namespace kelo::gui {

namespace {

class Win32Factory final : public IPlatformFactory {
public:
    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameCallback& callback, const CRect& size,
                                                void* parent) override {
        return win32::Win32Frame::create(callback, size, static_cast<HWND>(parent));
    }
    std::unique_ptr<IPlatformOffscreenContext> createOffscreenContext(int width, int height) override {
        return win32::GdiplusContext::create(width, height);
    }
    std::unique_ptr<IPlatformBitmap> createBitmap(const uint32_t* pixels, int width, int height) override {
        return win32::GdiplusBitmap::create(pixels, width, height);
    }
    std::unique_ptr<IPlatformFont> createFont(const char* /*name*/, CCoord size, int32 style) override {
        return win32::GdiplusFont::create(size, style);
    }
    std::unique_ptr<IPlatformTimer> createTimer(uint32_t periodMs, std::function<void()> fire) override {
        return createPolledTimer(periodMs, std::move(fire));
    }
};

} // namespace

IPlatformFactory& getPlatformFactory() {
    static Win32Factory factory;
    return factory;
}

} // namespace kelo::gui
