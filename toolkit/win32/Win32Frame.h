#pragma once
// The editor's window on Windows: a child of the host's window with its own class, painted from
// a GDI+ back buffer in WM_PAINT (only the dirty rectangles are drawn and copied).
//
// Events arrive through the host's message loop; pointer capture holds a drag while the mouse
// leaves the window. A 30 ms window timer runs the frame's idle for hosts that rarely send
// effEditIdle. If the host destroys the parent first, the window dies with it; this object then
// only ignores calls until it is destroyed.
#include <memory>
#include <vector>

#include "toolkit/platform/IPlatformFrame.h"
#include "toolkit/win32/GdiplusContext.h"
#include "toolkit/win32/OleSession.h"

namespace kelo::gui::win32 {

class Win32Frame final : public IPlatformFrame {
public:
    static constexpr unsigned kIdleTimerMs = 30;

    // Null when parent is not a window, the size is not positive or GDI+ is unavailable.
    static std::unique_ptr<Win32Frame> create(IPlatformFrameCallback& callback, const CRect& size, HWND parent);
    ~Win32Frame() override;

    void invalidRect(const CRect& rect) override;
    void pollEvents() override {}
    void presentInvalid() override;
    void setSize(const CRect& size) override;
    bool getCurrentMousePosition(CPoint& where) const override;
    void setTextInputFocus(bool on) override;
    void* getNativeHandle() const override { return hwnd_; }
    bool isAlive() const override { return hwnd_ != nullptr; }

    // The surface the window presents from (tests read it back).
    GdiplusContext& backBuffer() { return *back_; }

private:
    Win32Frame(IPlatformFrameCallback& callback, std::unique_ptr<GdiplusContext> back);
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HWND hwnd);
    void trackLeave(HWND hwnd);
    bool key(UINT message, WPARAM wParam, LPARAM lParam);

    OleSession ole_;
    IPlatformFrameCallback& callback_;
    std::unique_ptr<GdiplusContext> back_;
    HWND hwnd_ = nullptr;
    HWND focusBefore_ = nullptr;
    // False once this object is gone: a callback may destroy it while its handler still runs.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::vector<char> regionData_;
    // Buttons pressed in this window and not yet released, and where the pointer was last.
    int32 pressed_ = 0;
    CPoint lastPoint_;
    bool trackingLeave_ = false;
    bool textInput_ = false;
    bool classHeld_ = false;
};

} // namespace kelo::gui::win32
