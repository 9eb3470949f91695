#pragma once
// The window a CFrame lives in, and what the window reports back to the frame.
//
// Every call happens on the editor's UI thread (the thread that calls effEditOpen/effEditIdle).
// A window that the host destroys under us (the parent first, effEditClose later) stays a valid
// object that quietly does nothing: isAlive() turns false and no call crashes or blocks.
// A callback may destroy the platform frame (an editor closed by a click): after any callback
// the platform frame touches none of its members unless it knows it still exists.
#include <cstdint>

#include "toolkit/Types.h"

namespace kelo::gui {

class IPlatformDrawContext;

class IPlatformFrameCallback {
public:
    virtual ~IPlatformFrameCallback() = default;

    // Draw everything that intersects updateRect (frame coordinates) into the context. The
    // context's surface is the whole frame; the caller has already clipped to updateRect.
    virtual void platformDrawRect(IPlatformDrawContext& context, const CRect& updateRect) = 0;

    // Pointer events in frame coordinates. buttons holds the button that changed plus every
    // button still held, and the modifier keys.
    virtual CMouseEventResult platformOnMouseDown(CPoint where, CButtonState buttons) = 0;
    virtual CMouseEventResult platformOnMouseMoved(CPoint where, CButtonState buttons) = 0;
    virtual CMouseEventResult platformOnMouseUp(CPoint where, CButtonState buttons) = 0;
    virtual CMouseEventResult platformOnMouseExited(CPoint where, CButtonState buttons) = 0;
    // One notch is a distance of 1.0; positive is up (Y) or right (X).
    virtual bool platformOnMouseWheel(CPoint where, CMouseWheelAxis axis, float distance, CButtonState buttons) = 0;

    // Keys the window received itself (only while text input is on, see setTextInputFocus).
    // True when someone used the key.
    virtual bool platformOnKeyDown(VstKeyCode& key) = 0;
    virtual bool platformOnKeyUp(VstKeyCode& key) = 0;

    // The window's own periodic timer, for hosts that rarely call effEditIdle. Windows without
    // one never call it.
    virtual void platformOnTimer() = 0;
};

class IPlatformFrame {
public:
    // Destroys the native window (if it still exists) and releases every OS resource.
    virtual ~IPlatformFrame() = default;

    // Marks a frame rectangle for painting; nothing is painted here.
    virtual void invalidRect(const CRect& rect) = 0;
    // Delivers pending window-system events to the callback without blocking. Windows whose
    // events arrive through the host's message loop do nothing here.
    virtual void pollEvents() = 0;
    // Paints what is invalid through platformDrawRect and shows it. A window that paints from
    // its own paint message may just ask for that paint.
    virtual void presentInvalid() = 0;

    // Resizes the native window (frame coordinates, origin 0, 0).
    virtual void setSize(const CRect& size) = 0;
    // Pointer position in frame coordinates; false when unknown.
    virtual bool getCurrentMousePosition(CPoint& where) const = 0;
    // Keyboard events go to the window only while a text field is edited, so the host keeps its
    // keys the rest of the time.
    virtual void setTextInputFocus(bool on) = 0;

    // The native handle (X11 window id or HWND); null offscreen.
    virtual void* getNativeHandle() const = 0;
    // False once the native window was destroyed by someone else.
    virtual bool isAlive() const = 0;
};

} // namespace kelo::gui
