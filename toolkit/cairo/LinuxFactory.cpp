// Linux: cairo + pango drawing, xcb windows, timers fired from the frame's idle (the host's
// effEditIdle drives everything; the toolkit starts no timer of its own).
#include <cstdint>

#include "toolkit/cairo/CairoContext.h"
#include "toolkit/cairo/CairoFonts.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/PolledTimer.h"
#include "toolkit/xcb/XcbFrame.h"

namespace kelo::gui {

namespace {

class LinuxFactory final : public IPlatformFactory {
public:
    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameCallback& callback, const CRect& size,
                                                void* parent) override {
        return xcb::XcbFrame::create(callback, size, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parent)));
    }
    std::unique_ptr<IPlatformOffscreenContext> createOffscreenContext(int width, int height) override {
        return cairo::CairoImageContext::create(width, height);
    }
    std::unique_ptr<IPlatformBitmap> createBitmap(const uint32_t* pixels, int width, int height) override {
        return cairo::CairoBitmap::create(pixels, width, height);
    }
    std::unique_ptr<IPlatformFont> createFont(const char* /*name*/, CCoord size, int32 style) override {
        return cairo::CairoFont::create(size, style);
    }
    std::unique_ptr<IPlatformTimer> createTimer(uint32_t periodMs, std::function<void()> fire) override {
        return createPolledTimer(periodMs, std::move(fire));
    }
};

} // namespace

IPlatformFactory& getPlatformFactory() {
    static LinuxFactory factory;
    return factory;
}

} // namespace kelo::gui
