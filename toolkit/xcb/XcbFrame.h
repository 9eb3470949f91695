#pragma once
// The editor's X11 window: a child of the host's window on its own xcb connection (no Xlib, so
// no error handler can exit the host), painted from a cairo image back buffer.
//
// Nothing here blocks or runs on its own: events are drained in pollEvents() and painting
// happens in presentInvalid(), both from the host's effEditIdle. If the host destroys the
// parent first, the window dies with it; this object then only drains and ignores.
#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/cairo/CairoContext.h"
#include "toolkit/platform/IPlatformFrame.h"

namespace kelo::gui::xcb {

class XcbFrame final : public IPlatformFrame {
public:
    // Null when there is no X display, the parent does not exist, or its visual is not 24/32-bit
    // true colour.
    static std::unique_ptr<XcbFrame> create(IPlatformFrameCallback& callback, const CRect& size, uint32_t parent);
    ~XcbFrame() override;

    void invalidRect(const CRect& rect) override;
    void pollEvents() override;
    void presentInvalid() override;
    void setSize(const CRect& size) override;
    bool getCurrentMousePosition(CPoint& where) const override;
    void setTextInputFocus(bool on) override;
    void* getNativeHandle() const override;
    bool isAlive() const override { return alive_; }

private:
    XcbFrame(IPlatformFrameCallback& callback, xcb_connection_t* connection, xcb_window_t window,
             xcb_gcontext_t gc, uint8_t depth, std::unique_ptr<cairo::CairoImageContext> back);

    void dispatch(xcb_generic_event_t* event);
    void putImage(const CRect& area);
    bool translateKey(xcb_keycode_t code, uint16_t state, VstKeyCode& key);
    void loadKeyboardMapping();
    uint32_t eventMask() const;

    IPlatformFrameCallback& callback_;
    xcb_connection_t* connection_;
    xcb_window_t window_;
    xcb_gcontext_t gc_;
    uint8_t depth_;
    std::unique_ptr<cairo::CairoImageContext> back_;
    std::vector<CRect> invalid_;
    std::vector<CRect> exposed_;
    std::vector<uint8_t> scratch_;
    std::vector<uint32_t> keysyms_;
    uint8_t firstKeycode_ = 0;
    uint8_t keysymsPerKeycode_ = 0;
    // Double clicks: X reports single presses only.
    uint32_t lastPressTime_ = 0;
    uint8_t lastPressButton_ = 0;
    CPoint lastPressAt_;
    bool* destroyed_ = nullptr;
    bool alive_ = true;
    bool textInput_ = false;
};

} // namespace kelo::gui::xcb
