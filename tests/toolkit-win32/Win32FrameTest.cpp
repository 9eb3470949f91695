// The editor's child window under a real message loop: messages posted as a user's input would
// arrive, paints read back from the window with BitBlt.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Resources.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/OffscreenFrame.h"
#include "toolkit/win32/GdiplusSession.h"
#include "toolkit/win32/OleSession.h"
#include "toolkit/win32/Win32Frame.h"

namespace kelo::gui {
namespace {

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        pump();
    }
}

// The host's window.
struct Parent {
    Parent() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KeloTestHost";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(0, L"KeloTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                               nullptr, wc.hInstance, nullptr);
        pump();
    }
    ~Parent() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        pump();
    }
    HWND hwnd;
};

// Records what the window reports; paints every update rectangle in the next colour.
struct Recorder : IPlatformFrameCallback {
    void platformDrawRect(IPlatformDrawContext& context, const CRect& r) override {
        paints.push_back(r);
        CDrawState s;
        s.clip = r;
        s.fillColor = colors[paints.size() % 3];
        context.drawRect(s, r, kDrawFilled);
    }
    CMouseEventResult platformOnMouseDown(CPoint p, CButtonState b) override {
        add("down", p, b);
        if (onDown) onDown();
        return kMouseEventHandled;
    }
    CMouseEventResult platformOnMouseMoved(CPoint p, CButtonState b) override { return add("move", p, b); }
    CMouseEventResult platformOnMouseUp(CPoint p, CButtonState b) override { return add("up", p, b); }
    CMouseEventResult platformOnMouseExited(CPoint p, CButtonState b) override { return add("exit", p, b); }
    bool platformOnMouseWheel(CPoint p, CMouseWheelAxis axis, float distance, CButtonState b) override {
        add(std::string(axis == kMouseWheelAxisY ? "wheel " : "hwheel ") + std::to_string(int(distance)), p, b);
        return true;
    }
    bool platformOnKeyDown(VstKeyCode& k) override {
        events.push_back("key " + std::to_string(k.character) + " " + std::to_string(k.virt));
        return true;
    }
    bool platformOnKeyUp(VstKeyCode&) override { return false; }
    void platformOnTimer() override { ++timers; }

    CMouseEventResult add(const std::string& what, CPoint p, CButtonState b) {
        std::string s = what + " " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y));
        for (auto [bit, name] : {std::pair{kLButton, "L"}, {kRButton, "R"}, {kMButton, "M"}, {kShift, "shift"},
                                 {kControl, "ctrl"}, {kDoubleClick, "double"}})
            if (b & bit) s += std::string(" ") + name;
        events.push_back(s);
        return kMouseEventHandled;
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }

    static constexpr CColor colors[3] = {kRedCColor, kGreenCColor, kBlueCColor};
    std::vector<std::string> events;
    std::vector<CRect> paints;
    std::function<void()> onDown;
    int timers = 0;
};

// The window's pixels as the screen shows them (0x00RRGGBB).
std::vector<uint32_t> readBack(HWND hwnd, int w, int h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, dib);
    HDC dc = GetDC(hwnd);
    BitBlt(mem, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
    GdiFlush();
    std::vector<uint32_t> out(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
    for (uint32_t& p : out) p &= 0xffffff;
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    return out;
}

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

class ChildWindow : public ::testing::Test {
protected:
    void SetUp() override {
        frame = win32::Win32Frame::create(recorder, CRect(0, 0, 100, 60), parent.hwnd);
        ASSERT_TRUE(frame);
        child = static_cast<HWND>(frame->getNativeHandle());
        pump();
    }
    Parent parent;
    Recorder recorder;
    std::unique_ptr<win32::Win32Frame> frame;
    HWND child = nullptr;
};

TEST_F(ChildWindow, MouseMessagesArriveWithButtonsModifiersAndCapture) {
    EXPECT_EQ(GetParent(child), parent.hwnd);
    EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_CHILD);

    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(30, 20));
    pump();
    EXPECT_EQ(GetCapture(), child); // a drag keeps coming here outside the window
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT | MK_RBUTTON, at(31, 10));
    PostMessageW(child, WM_RBUTTONUP, MK_LBUTTON, at(31, 10));
    pump();
    EXPECT_EQ(GetCapture(), child); // the left button is still down
    PostMessageW(child, WM_LBUTTONUP, MK_CONTROL, at(32, 9));
    PostMessageW(child, WM_LBUTTONDBLCLK, MK_LBUTTON, at(5, 6));
    PostMessageW(child, WM_LBUTTONUP, 0, at(5, 6));
    pump();
    EXPECT_NE(GetCapture(), child);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"down 30,20 L shift", "move 31,10 L R shift", "up 31,10 R",
                                                         "up 32,9 L ctrl", "down 5,6 L double", "up 5,6 L"}));

    // A window that takes the mouse mid-drag ends the drag here.
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at(7, 8));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, at(9, 8));
    pump();
    SetCapture(parent.hwnd);
    ReleaseCapture();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"down 7,8 L", "move 9,8 L", "up 9,8 L"}));

    // Wheel messages carry screen coordinates and multiples of 120.
    POINT p = {10, 12};
    ClientToScreen(child, &p);
    PostMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-240)), MAKELPARAM(p.x, p.y));
    PostMessageW(child, WM_MOUSEHWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(p.x, p.y));
    pump();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"wheel -2 10,12 ctrl", "hwheel 1 10,12"}));
}

TEST_F(ChildWindow, KeysReachTheWindowOnlyWhileTextIsEdited) {
    SetFocus(parent.hwnd);
    PostMessageW(child, WM_CHAR, 'a', 0);
    pump();
    EXPECT_TRUE(recorder.take().empty());

    frame->setTextInputFocus(true);
    EXPECT_EQ(GetFocus(), child);
    PostMessageW(child, WM_KEYDOWN, VK_LEFT, 0);
    PostMessageW(child, WM_KEYDOWN, VK_BACK, 0);
    PostMessageW(child, WM_CHAR, '\b', 0); // what TranslateMessage adds for Backspace
    PostMessageW(child, WM_CHAR, 'a', 0);
    PostMessageW(child, WM_CHAR, ' ', 0);
    pump();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"key 0 " + std::to_string(VKEY_LEFT),
                                                         "key 0 " + std::to_string(VKEY_BACK), "key 97 0",
                                                         "key 32 " + std::to_string(VKEY_SPACE)}));
    frame->setTextInputFocus(false);
    EXPECT_EQ(GetFocus(), parent.hwnd); // the host has its keys back
}

TEST_F(ChildWindow, PaintsTheInvalidRectanglesFromTheBackBuffer) {
    // Shown for the first time: one paint of everything (in green).
    ASSERT_EQ(recorder.paints, std::vector<CRect>{CRect(0, 0, 100, 60)});
    frame->invalidRect(CRect(10, 10, 30, 20));
    frame->invalidRect(CRect(60.5, 40, 70, 50.2)); // fractional edges widen to whole pixels
    frame->presentInvalid();
    ASSERT_EQ(recorder.paints.size(), 3u);
    EXPECT_EQ(recorder.paints[1], CRect(10, 10, 30, 20)); // blue
    EXPECT_EQ(recorder.paints[2], CRect(60, 40, 70, 51)); // red

    const std::vector<uint32_t> shown = readBack(child, 100, 60);
    EXPECT_EQ(shown[15 * 100 + 20], 0x0000ffu);
    EXPECT_EQ(shown[45 * 100 + 65], 0xff0000u);
    EXPECT_EQ(shown[50 * 100 + 69], 0xff0000u);
    EXPECT_EQ(shown[5 * 100 + 5], 0x00ff00u);
    EXPECT_EQ(shown[20 * 100 + 20], 0x00ff00u);

    frame->presentInvalid(); // nothing invalid: no paint
    EXPECT_EQ(recorder.paints.size(), 3u);
}

TEST_F(ChildWindow, ItsTimerRunsIdleWithoutTheHost) {
    pumpFor(200);
    EXPECT_GE(recorder.timers, 3);
    EXPECT_LE(recorder.timers, 200 / int(win32::Win32Frame::kIdleTimerMs) + 2);
}

TEST_F(ChildWindow, OutlivesAParentTheHostDestroysFirst) {
    DestroyWindow(parent.hwnd);
    pump();
    EXPECT_FALSE(frame->isAlive());
    EXPECT_FALSE(IsWindow(child));
    frame->invalidRect(CRect(0, 0, 10, 10));
    frame->presentInvalid();
    frame->setSize(CRect(0, 0, 50, 50));
    frame->setTextInputFocus(true);
    CPoint where;
    EXPECT_FALSE(frame->getCurrentMousePosition(where));
    frame.reset();
}

TEST_F(ChildWindow, ACallbackMayDestroyTheWindowItIsCalledFrom) {
    // Destroyed with the mouse captured and a button down: nothing more may reach the callback.
    recorder.onDown = [this] { frame.reset(); };
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at(3, 3));
    PostMessageW(child, WM_LBUTTONUP, 0, at(3, 3));
    PostMessageW(child, WM_MOUSEMOVE, 0, at(4, 4));
    pump();
    EXPECT_FALSE(frame);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_NE(GetCapture(), child);
    EXPECT_EQ(recorder.take(), std::vector<std::string>{"down 3,3 L"});
}

// ---- the toolkit's frame in the window ----

struct ValueLog : IControlListener {
    void valueChanged(CControl* c) override { values.push_back(c->getValue()); }
    void controlBeginEdit(CControl*) override { order += "b"; }
    void controlEndEdit(CControl*) override { order += "e"; }
    std::vector<float> values;
    std::string order;
};

std::vector<uint32_t> knobFace() { // 40 × 40, every pixel different
    std::vector<uint32_t> p;
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 40; ++x) p.push_back(0xff000000u | ((x * 2654435761u ^ y * 40503u) & 0xffffffu));
    return p;
}

// A frame of 120 × 80 with one knob at (20, 10)–(60, 50).
CFrame* knobFrame(IControlListener* listener, CKnob** knob) {
    auto* frame = new CFrame(CRect(0, 0, 120, 80), nullptr);
    const std::vector<uint32_t> face = knobFace();
    auto* background = new CBitmap(face.data(), 40, 40);
    *knob = new CKnob(CRect(20, 10, 60, 50), listener, 7, background, nullptr);
    background->forget();
    (*knob)->setValue(0.5f);
    frame->addView(*knob);
    return frame;
}

TEST(ToolkitInChildWindow, AShiftDragTurnsTheKnobFinelyAndTheWindowShowsTheOffscreenRender) {
    Parent parent;
    ValueLog log;
    CKnob* knob = nullptr;
    CFrame* frame = knobFrame(&log, &knob);
    const int32 savedMode = CFrame::kDefaultKnobMode;
    CFrame::kDefaultKnobMode = kLinearMode;
    ASSERT_TRUE(frame->open(parent.hwnd));
    auto child = static_cast<HWND>(frame->getPlatformFrame()->getNativeHandle());
    pump();

    // Up by 20 px with Shift: the 200-px range zoomed by 1.5.
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(40, 30));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, at(40, 20));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, at(40, 10));
    PostMessageW(child, WM_LBUTTONUP, MK_SHIFT, at(40, 10));
    pump();
    CFrame::kDefaultKnobMode = savedMode;
    EXPECT_EQ(log.order, "be");
    ASSERT_FALSE(log.values.empty());
    EXPECT_NEAR(knob->getValue(), 0.5f + 20.0f / 300.0f, 1e-4);

    frame->idle();
    const std::vector<uint32_t> shown = readBack(child, 120, 80);

    ValueLog unused;
    CKnob* twin = nullptr;
    CFrame* offscreen = knobFrame(&unused, &twin);
    twin->setValue(knob->getValue());
    ASSERT_TRUE(offscreen->openOffscreen());
    offscreen->idle();
    const uint32_t* rendered = offscreen->getOffscreenFrame()->context().getPixels();
    int differing = 0;
    for (int i = 0; i < 120 * 80; ++i) differing += (rendered[i] & 0xffffff) != shown[size_t(i)];
    EXPECT_EQ(differing, 0);
    // The knob's face is there, not just a background.
    EXPECT_EQ(shown[12 * 120 + 22], knobFace()[2 * 40 + 2] & 0xffffff);

    offscreen->close();
    frame->close();
    EXPECT_FALSE(IsWindow(child));
}

// ---- process and thread state ----

TEST(GdiplusSession, StopsWithTheLastObjectAndStartsAgainForTheNext) {
    const int before = win32::GdiplusSession::activeSessions();
    {
        auto font = getPlatformFactory().createFont("Arial", 12, kNormalFace);
        auto surface = getPlatformFactory().createOffscreenContext(8, 8);
        ASSERT_TRUE(font && surface);
        EXPECT_GT(win32::GdiplusSession::activeSessions(), before);
    }
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), before);
    ASSERT_EQ(before, 0) << "another test leaks GDI+ objects";
    // A fresh start loads the bundled fonts again.
    auto font = getPlatformFactory().createFont("Arial", 12, kBoldFace);
    ASSERT_TRUE(font);
    EXPECT_GT(font->getStringWidth("Hello"), 20);
}

TEST(OleSession, UninitialisesOnlyWhatItInitialised) {
    bool initialisedInHostApartment = true;
    HRESULT hostApartmentAfter = E_FAIL;
    std::thread host([&] {
        // A host thread already in the multi-threaded apartment: OleInitialize must fail, and
        // the host's COM must survive the session.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        { win32::OleSession ole; initialisedInHostApartment = ole.initialised(); }
        hostApartmentAfter = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    host.join();
    EXPECT_FALSE(initialisedInHostApartment);
    EXPECT_EQ(hostApartmentAfter, S_FALSE); // still initialised: nothing was torn down

    bool initialised = false;
    HRESULT fresh = E_FAIL;
    std::thread plain([&] {
        { win32::OleSession ole; initialised = ole.initialised(); }
        fresh = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // S_OK: the session left nothing behind
        CoUninitialize();
    });
    plain.join();
    EXPECT_TRUE(initialised);
    EXPECT_EQ(fresh, S_OK);
}

TEST(PluginResources, AreReadFromThePluginFileNotFromTheHostProgram) {
    HMODULE plugin = LoadLibraryA(KELO_RESOURCE_FIXTURE); // found next to this program
    ASSERT_TRUE(plugin) << GetLastError();
    using Find = const void* (*)(const char*, const char*, size_t*);
    auto find = reinterpret_cast<Find>(reinterpret_cast<void*>(GetProcAddress(plugin, "keloFixtureResource")));
    ASSERT_TRUE(find);
    size_t size = 0;
    const void* data = find("TEST", "marker", &size);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(static_cast<const char*>(data), size), "a resource of the plug-in file");
    EXPECT_FALSE(find("TEST", "NONE", &size));
    EXPECT_FALSE(platform::findResource("TEST", "MARKER")); // the host program has none
    FreeLibrary(plugin);
}

} // namespace
} // namespace kelo::gui
