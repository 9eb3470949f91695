#pragma once
// One factory per platform builds the backend objects the portable toolkit stands on:
// Linux = cairo + pango drawing with an xcb window, Windows = GDI+ with a child HWND.
// getPlatformFactory() is defined once per platform (see toolkit/CMakeLists.txt).
//
// Every create function returns null when the platform cannot make the object; callers treat
// that as a failure result, never as a crash.
#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/Types.h"
#include "toolkit/platform/IPlatformBitmap.h"
#include "toolkit/platform/IPlatformDrawContext.h"
#include "toolkit/platform/IPlatformFont.h"
#include "toolkit/platform/IPlatformFrame.h"
#include "toolkit/platform/IPlatformTimer.h"

namespace kelo::gui {

class IPlatformFactory {
public:
    virtual ~IPlatformFactory() = default;

    // A child window of `parent` (X11: the parent window's id; Windows: the parent HWND) of the
    // given size, reporting to `callback`, which must outlive it.
    virtual std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameCallback& callback, const CRect& size,
                                                        void* parent) = 0;

    // A transparent black in-memory surface of width × height pixels.
    virtual std::unique_ptr<IPlatformOffscreenContext> createOffscreenContext(int width, int height) = 0;

    // A copy of width × height premultiplied 0xAARRGGBB pixels (see IPlatformBitmap.h).
    virtual std::unique_ptr<IPlatformBitmap> createBitmap(const uint32_t* pixels, int width, int height) = 0;

    // `name` is any family name (every name maps to the bundled family), `size` in pixels,
    // `style` the CTxtFace bits (bold is honoured; the others may be ignored).
    virtual std::unique_ptr<IPlatformFont> createFont(const char* name, CCoord size, int32 style) = 0;

    // Calls `fire` every periodMs milliseconds on the UI thread until the timer is destroyed.
    virtual std::unique_ptr<IPlatformTimer> createTimer(uint32_t periodMs, std::function<void()> fire) = 0;
};

// The factory of the platform this module was built for.
IPlatformFactory& getPlatformFactory();

} // namespace kelo::gui
