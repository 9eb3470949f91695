#include "toolkit/win32/Win32Frame.h"

#include <windowsx.h>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace kelo::gui::win32 {

namespace {

constexpr UINT_PTR kIdleTimerId = 1;
constexpr DWORD kMaxPaintRects = 16;

// The module holding this code: its own class name keeps two copies of the toolkit (two
// plug-ins in one host) from sharing a window procedure.
HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

std::mutex classLock;
int classUsers = 0;
wchar_t className[64] = {};

// Registered with the first window and unregistered with the last, so an unloaded plug-in
// leaves no class behind whose window procedure is gone.
bool holdClass(WNDPROC proc) {
    std::lock_guard<std::mutex> guard(classLock);
    if (classUsers == 0) {
        HMODULE module = thisModule();
        std::swprintf(className, 64, L"KeloFrame%p", static_cast<void*>(module));
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = proc;
        wc.hInstance = module;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = className;
        // A class left by an earlier instance of this very module (same name, same procedure)
        // is just as good.
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    ++classUsers;
    return true;
}

void releaseClass() {
    std::lock_guard<std::mutex> guard(classLock);
    if (--classUsers == 0) UnregisterClassW(className, thisModule());
}

int32 modifiers(WPARAM keys) {
    int32 b = 0;
    if (keys & MK_SHIFT) b |= kShift;
    if (keys & MK_CONTROL) b |= kControl;
    // Alt is not part of a mouse message's key state.
    if (GetKeyState(VK_MENU) < 0) b |= kAlt;
    return b;
}

int32 heldButtons(WPARAM keys) {
    int32 b = 0;
    if (keys & MK_LBUTTON) b |= kLButton;
    if (keys & MK_MBUTTON) b |= kMButton;
    if (keys & MK_RBUTTON) b |= kRButton;
    if (keys & MK_XBUTTON1) b |= kButton4;
    if (keys & MK_XBUTTON2) b |= kButton5;
    return b;
}

constexpr WPARAM kAnyButton = MK_LBUTTON | MK_MBUTTON | MK_RBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

int32 buttonOf(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP: return kLButton;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_MBUTTONUP: return kMButton;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_RBUTTONUP: return kRButton;
    default: return GET_XBUTTON_WPARAM(wParam) == XBUTTON1 ? kButton4 : kButton5;
    }
}

CPoint pointOf(LPARAM lParam) { return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

unsigned char keyModifiers() {
    unsigned char m = 0;
    if (GetKeyState(VK_SHIFT) < 0) m |= MODIFIER_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) m |= MODIFIER_CONTROL;
    if (GetKeyState(VK_MENU) < 0) m |= MODIFIER_ALTERNATE;
    return m;
}

// Keys that have no character of their own. Space and the characters come with WM_CHAR.
unsigned char virtualKey(WPARAM vk, LPARAM lParam) {
    switch (vk) {
    case VK_BACK: return VKEY_BACK;
    case VK_TAB: return VKEY_TAB;
    case VK_RETURN: return (lParam & (1 << 24)) ? VKEY_ENTER : VKEY_RETURN; // the keypad's is "extended"
    case VK_ESCAPE: return VKEY_ESCAPE;
    case VK_DELETE: return VKEY_DELETE;
    case VK_INSERT: return VKEY_INSERT;
    case VK_HOME: return VKEY_HOME;
    case VK_END: return VKEY_END;
    case VK_PRIOR: return VKEY_PAGEUP;
    case VK_NEXT: return VKEY_PAGEDOWN;
    case VK_LEFT: return VKEY_LEFT;
    case VK_UP: return VKEY_UP;
    case VK_RIGHT: return VKEY_RIGHT;
    case VK_DOWN: return VKEY_DOWN;
    default: return 0;
    }
}

RECT pixelRect(const CRect& r) {
    return RECT{static_cast<LONG>(std::floor(r.left)), static_cast<LONG>(std::floor(r.top)),
                static_cast<LONG>(std::ceil(r.right)), static_cast<LONG>(std::ceil(r.bottom))};
}

} // namespace

std::unique_ptr<Win32Frame> Win32Frame::create(IPlatformFrameCallback& callback, const CRect& size, HWND parent) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (!parent || !IsWindow(parent) || w <= 0 || h <= 0) return nullptr;
    auto back = GdiplusContext::create(w, h);
    if (!back) return nullptr;
    back->clear(kBlackCColor);
    auto frame = std::unique_ptr<Win32Frame>(new Win32Frame(callback, std::move(back)));
    if (!holdClass(&Win32Frame::windowProc)) return nullptr;
    frame->classHeld_ = true;
    frame->hwnd_ = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                   w, h, parent, nullptr, thisModule(), frame.get());
    if (!frame->hwnd_) return nullptr;
    SetTimer(frame->hwnd_, kIdleTimerId, kIdleTimerMs, nullptr);
    return frame;
}

Win32Frame::Win32Frame(IPlatformFrameCallback& callback, std::unique_ptr<GdiplusContext> back)
    : callback_(callback), back_(std::move(back)) {}

Win32Frame::~Win32Frame() {
    *alive_ = false;
    if (hwnd_) {
        // The window forgets us first: what the calls below send goes to DefWindowProc, not to
        // a callback that may be half destroyed.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        setTextInputFocus(false);
        if (GetCapture() == hwnd_) ReleaseCapture();
        KillTimer(hwnd_, kIdleTimerId);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    if (classHeld_) releaseClass();
}

LRESULT CALLBACK Win32Frame::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Frame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(hwnd, message, wParam, lParam);
}

LRESULT Win32Frame::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Whatever a callback does to this object, `alive` says whether it still exists.
    const std::shared_ptr<bool> alive = alive_;
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // the back buffer covers every pixel
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_LBUTTONDOWN: case WM_MBUTTONDOWN: case WM_RBUTTONDOWN: case WM_XBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_MBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_XBUTTONDBLCLK: {
        const bool doubleClick = message == WM_LBUTTONDBLCLK || message == WM_MBUTTONDBLCLK ||
                                 message == WM_RBUTTONDBLCLK || message == WM_XBUTTONDBLCLK;
        // The drag continues outside the window until every button is up.
        if (GetCapture() != hwnd) SetCapture(hwnd);
        trackLeave(hwnd);
        const int32 button = buttonOf(message, wParam);
        pressed_ |= button;
        lastPoint_ = pointOf(lParam);
        const int32 state = heldButtons(wParam) | button | modifiers(wParam) | (doubleClick ? kDoubleClick : 0);
        callback_.platformOnMouseDown(lastPoint_, CButtonState(state));
        return (message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK) ? TRUE : 0;
    }
    case WM_LBUTTONUP: case WM_MBUTTONUP: case WM_RBUTTONUP: case WM_XBUTTONUP: {
        const int32 button = buttonOf(message, wParam);
        pressed_ &= ~button;
        lastPoint_ = pointOf(lParam);
        if (!(wParam & kAnyButton) && GetCapture() == hwnd) ReleaseCapture();
        callback_.platformOnMouseUp(lastPoint_, CButtonState(button | modifiers(wParam)));
        return message == WM_XBUTTONUP ? TRUE : 0;
    }
    case WM_MOUSEMOVE:
        trackLeave(hwnd);
        lastPoint_ = pointOf(lParam);
        callback_.platformOnMouseMoved(lastPoint_, CButtonState(heldButtons(wParam) | modifiers(wParam)));
        return 0;
    case WM_MOUSELEAVE: {
        trackingLeave_ = false;
        POINT p = {};
        GetCursorPos(&p);
        ScreenToClient(hwnd, &p);
        callback_.platformOnMouseExited(CPoint(p.x, p.y), CButtonState(mapVstKeyModifier(keyModifiers())));
        return 0;
    }
    case WM_MOUSEWHEEL: case WM_MOUSEHWHEEL: {
        POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; // screen coordinates
        ScreenToClient(hwnd, &p);
        const float distance = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
        const WPARAM keys = GET_KEYSTATE_WPARAM(wParam);
        const bool used = callback_.platformOnMouseWheel(CPoint(p.x, p.y),
                                                         message == WM_MOUSEWHEEL ? kMouseWheelAxisY : kMouseWheelAxisX,
                                                         distance, CButtonState(heldButtons(keys) | modifiers(keys)));
        if (used || !*alive) return message == WM_MOUSEHWHEEL ? TRUE : 0;
        break; // DefWindowProc hands it to the parent: the host may scroll
    }
    case WM_CAPTURECHANGED:
        // Another window took the mouse mid-drag (a dialog, a task switch): its button-up will
        // never come here, so end the drag now, or the control stays in its edit gesture and
        // the host keeps the parameter "touched".
        if (pressed_) {
            const int32 buttons = pressed_;
            pressed_ = 0;
            callback_.platformOnMouseUp(lastPoint_, CButtonState(buttons | mapVstKeyModifier(keyModifiers())));
        }
        return 0;
    case WM_TIMER:
        if (wParam != kIdleTimerId) break;
        callback_.platformOnTimer();
        return 0;
    case WM_GETDLGCODE:
        if (textInput_) return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        break;
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_KEYUP: case WM_SYSKEYUP: case WM_CHAR:
        if (textInput_ && key(message, wParam, lParam)) return 0;
        break;
    case WM_DESTROY:
        // Someone else destroyed the window (the host, with its parent): from now on this
        // object ignores every call.
        if (hwnd == hwnd_) hwnd_ = nullptr;
        trackingLeave_ = false;
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool Win32Frame::key(UINT message, WPARAM wParam, LPARAM lParam) {
    VstKeyCode k{};
    k.modifier = keyModifiers();
    if (message == WM_CHAR) {
        // Control characters were delivered as their virtual keys already.
        if (wParam < 0x20 || wParam == 0x7f) return true;
        k.character = static_cast<VstInt32>(wParam);
        if (wParam == L' ') k.virt = VKEY_SPACE;
        return callback_.platformOnKeyDown(k);
    }
    k.virt = virtualKey(wParam, lParam);
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    if (k.virt == 0) {
        // Space and characters go down with WM_CHAR; their releases are reported here.
        if (!up) return false;
        if (wParam == VK_SPACE) {
            k.virt = VKEY_SPACE;
            k.character = ' ';
        } else {
            BYTE state[256] = {};
            wchar_t chars[4] = {};
            if (!GetKeyboardState(state) ||
                ToUnicode(static_cast<UINT>(wParam), (lParam >> 16) & 0xff, state, chars, 4, 0x4) != 1)
                return false;
            k.character = chars[0];
        }
    }
    return up ? callback_.platformOnKeyUp(k) : callback_.platformOnKeyDown(k);
}

void Win32Frame::trackLeave(HWND hwnd) {
    if (trackingLeave_) return;
    TRACKMOUSEEVENT t = {};
    t.cbSize = sizeof t;
    t.dwFlags = TME_LEAVE;
    t.hwndTrack = hwnd;
    trackingLeave_ = TrackMouseEvent(&t) != FALSE;
}

void Win32Frame::paint(HWND hwnd) {
    // The dirty rectangles, before BeginPaint validates them.
    std::vector<CRect> rects;
    if (HRGN region = CreateRectRgn(0, 0, 0, 0)) {
        if (GetUpdateRgn(hwnd, region, FALSE) == COMPLEXREGION) {
            const DWORD bytes = GetRegionData(region, 0, nullptr);
            regionData_.resize(bytes);
            auto* data = reinterpret_cast<RGNDATA*>(regionData_.data());
            if (bytes && GetRegionData(region, bytes, data) == bytes && data->rdh.nCount <= kMaxPaintRects) {
                const auto* r = reinterpret_cast<const RECT*>(data->Buffer);
                for (DWORD i = 0; i < data->rdh.nCount; ++i)
                    rects.emplace_back(r[i].left, r[i].top, r[i].right, r[i].bottom);
            }
        }
        DeleteObject(region);
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    if (rects.empty())
        rects.emplace_back(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
    const std::shared_ptr<bool> alive = alive_;
    for (CRect& r : rects) {
        r.bound(back_->getSurfaceRect());
        if (r.isEmpty()) continue;
        callback_.platformDrawRect(*back_, r);
        if (!*alive) {
            EndPaint(hwnd, &ps);
            return;
        }
    }
    back_->flush();
    for (const CRect& r : rects) {
        if (r.isEmpty()) continue;
        const RECT p = pixelRect(r);
        BitBlt(dc, p.left, p.top, p.right - p.left, p.bottom - p.top, back_->memoryDC(), p.left, p.top, SRCCOPY);
    }
    EndPaint(hwnd, &ps);
}

void Win32Frame::invalidRect(const CRect& rect) {
    if (!hwnd_) return;
    const RECT r = pixelRect(rect);
    if (r.right > r.left && r.bottom > r.top) InvalidateRect(hwnd_, &r, FALSE);
}

void Win32Frame::presentInvalid() {
    // Paints now what is invalid (a WM_PAINT sent straight to the window), rather than when the
    // host's message loop gets round to it.
    if (hwnd_) UpdateWindow(hwnd_);
}

void Win32Frame::setSize(const CRect& size) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (w <= 0 || h <= 0 || (w == back_->getWidth() && h == back_->getHeight())) return;
    auto back = GdiplusContext::create(w, h);
    if (!back) return;
    back->clear(kBlackCColor);
    back_ = std::move(back);
    if (!hwnd_) return;
    SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

bool Win32Frame::getCurrentMousePosition(CPoint& where) const {
    POINT p = {};
    if (!hwnd_ || !GetCursorPos(&p) || !ScreenToClient(hwnd_, &p)) return false;
    where = CPoint(p.x, p.y);
    return true;
}

void Win32Frame::setTextInputFocus(bool on) {
    if (on == textInput_) return;
    textInput_ = on;
    if (!hwnd_) return;
    // Keys come to the window only while a text field is edited; then the host gets them back.
    if (on) {
        HWND before = SetFocus(hwnd_);
        focusBefore_ = before != hwnd_ ? before : nullptr;
    } else if (GetFocus() == hwnd_) {
        HWND back = focusBefore_ && IsWindow(focusBefore_) ? focusBefore_ : GetParent(hwnd_);
        SetFocus(back);
    }
    if (!on) focusBefore_ = nullptr;
}

} // namespace kelo::gui::win32
