// The editor's child window under a real message loop, with messages posted as a user's input
// would arrive; and the process and thread state the toolkit shares with its host.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Resources.h"
#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/win32/GdiplusSession.h"
#include "toolkit/win32/OleSession.h"
#include "toolkit/win32/Win32Frame.h"

namespace kelo::gui {
namespace {

using Events = std::vector<std::string>;

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Records what the window reports, as "down 30,20 L shift".
struct Recorder : IPlatformFrameCallback {
    void platformDrawRect(IPlatformDrawContext&, const CRect& r) override { paints.push_back(r); }
    CMouseEventResult platformOnMouseDown(CPoint p, CButtonState b) override {
        add("down", p, b);
        if (onDown) onDown();
        return kMouseEventHandled;
    }
    CMouseEventResult platformOnMouseMoved(CPoint p, CButtonState b) override { return add("move", p, b); }
    CMouseEventResult platformOnMouseUp(CPoint p, CButtonState b) override { return add("up", p, b); }
    CMouseEventResult platformOnMouseExited(CPoint p, CButtonState b) override { return add("exit", p, b); }
    bool platformOnMouseWheel(CPoint p, CMouseWheelAxis axis, float distance, CButtonState b) override {
        add((axis == kMouseWheelAxisY ? "wheel " : "hwheel ") + std::to_string(int(distance)), p, b);
        return true;
    }
    bool platformOnKeyDown(VstKeyCode& k) override { return key("key ", k); }
    bool platformOnKeyUp(VstKeyCode& k) override { return key("keyup ", k); }
    void platformOnTimer() override { ++timers; }

    bool key(const std::string& what, const VstKeyCode& k) {
        events.push_back(what + std::to_string(k.character) + " " + std::to_string(k.virt));
        return true;
    }
    CMouseEventResult add(const std::string& what, CPoint p, CButtonState b) {
        std::string s = what + " " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y));
        for (auto [bit, name] : {std::pair{kLButton, "L"}, {kRButton, "R"}, {kMButton, "M"}, {kShift, "shift"},
                                 {kControl, "ctrl"}, {kDoubleClick, "double"}})
            if (b & bit) s += std::string(" ") + name;
        events.push_back(s);
        return kMouseEventHandled;
    }
    Events take() { return std::exchange(events, {}); }

    Events events;
    std::vector<CRect> paints;
    std::function<void()> onDown;
    int timers = 0;
};

// The editor's window in a host's top-level one, driven as a user and a host would.
TEST(Win32Frame, TakesInputPaintsIdlesAndOutlivesItsParent) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                  nullptr, nullptr, nullptr);
    Recorder recorder;
    auto frame = win32::Win32Frame::create(recorder, CRect(0, 0, 100, 60), parent);
    ASSERT_TRUE(frame);
    HWND child = static_cast<HWND>(frame->getNativeHandle());
    const auto post = [&](UINT message, WPARAM w, int x = 0, int y = 0) {
        PostMessageW(child, message, w, MAKELPARAM(x, y));
    };
    pump();

    ASSERT_EQ(recorder.paints, std::vector<CRect>{CRect(0, 0, 100, 60)}); // shown: one paint of everything
    frame->invalidRect(CRect(10, 10, 30, 20));
    frame->invalidRect(CRect(60.5, 40, 70, 50.2)); // fractional edges widen to whole pixels
    frame->presentInvalid();
    frame->presentInvalid(); // nothing invalid: no paint
    EXPECT_EQ(recorder.paints,
              (std::vector<CRect>{CRect(0, 0, 100, 60), CRect(10, 10, 30, 20), CRect(60, 40, 70, 51)}));

    for (const DWORD start = GetTickCount(); GetTickCount() - start < 200;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        pump();
    }
    EXPECT_GE(recorder.timers, 3);
    EXPECT_LE(recorder.timers, 200 / int(win32::Win32Frame::kIdleTimerMs) + 2);

    post(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, 30, 20);
    pump();
    EXPECT_EQ(GetCapture(), child); // a drag keeps coming here outside the window
    post(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT | MK_RBUTTON, 31, 10);
    post(WM_RBUTTONUP, MK_LBUTTON, 31, 10);
    pump();
    EXPECT_EQ(GetCapture(), child); // the left button is still down
    post(WM_LBUTTONUP, MK_CONTROL, 32, 9);
    post(WM_LBUTTONDBLCLK, MK_LBUTTON, 5, 6);
    post(WM_LBUTTONUP, 0, 5, 6);
    pump();
    EXPECT_NE(GetCapture(), child);
    EXPECT_EQ(recorder.take(), (Events{"down 30,20 L shift", "move 31,10 L R shift", "up 31,10 R", "up 32,9 L ctrl",
                                       "down 5,6 L double", "up 5,6 L"}));

    // A window that takes the mouse mid-drag ends the drag here.
    post(WM_LBUTTONDOWN, MK_LBUTTON, 7, 8);
    post(WM_MOUSEMOVE, MK_LBUTTON, 9, 8);
    pump();
    SetCapture(parent);
    ReleaseCapture();
    EXPECT_EQ(recorder.take(), (Events{"down 7,8 L", "move 9,8 L", "up 9,8 L"}));

    // Wheel messages carry screen coordinates and multiples of 120.
    POINT p = {10, 12};
    ClientToScreen(child, &p);
    post(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-240)), p.x, p.y);
    post(WM_MOUSEHWHEEL, MAKEWPARAM(0, 120), p.x, p.y);
    pump();
    EXPECT_EQ(recorder.take(), (Events{"wheel -2 10,12 ctrl", "hwheel 1 10,12"}));

    // Keys reach the window only while text is edited.
    SetFocus(parent);
    post(WM_CHAR, 'a');
    pump();
    EXPECT_TRUE(recorder.take().empty());

    frame->setTextInputFocus(true);
    EXPECT_EQ(GetFocus(), child);
    post(WM_KEYDOWN, VK_LEFT);
    post(WM_KEYDOWN, VK_BACK);
    post(WM_CHAR, '\b'); // what TranslateMessage adds for Backspace
    pump();
    // A character goes down with the WM_CHAR the loop makes of its key, up with the key itself.
    post(WM_KEYDOWN, 'A');
    pump();
    post(WM_KEYUP, 'A');
    post(WM_CHAR, ' ');
    pump();
    EXPECT_EQ(recorder.take(), (Events{"key 0 " + std::to_string(VKEY_LEFT), "key 0 " + std::to_string(VKEY_BACK),
                                       "key 97 0", "keyup 97 0", "key 32 " + std::to_string(VKEY_SPACE)}));
    frame->setTextInputFocus(false);
    EXPECT_EQ(GetFocus(), parent); // the host has its keys back

    // A callback destroys the window it is called from, with the mouse captured and a button
    // down: nothing more may reach it.
    recorder.onDown = [&] { frame.reset(); };
    post(WM_LBUTTONDOWN, MK_LBUTTON, 3, 3);
    post(WM_LBUTTONUP, 0, 3, 3);
    post(WM_MOUSEMOVE, 0, 4, 4);
    pump();
    EXPECT_FALSE(frame || IsWindow(child) || GetCapture() == child);
    EXPECT_EQ(recorder.take(), Events{"down 3,3 L"});

    // A host that destroys its window first: the frame lives on, inert, until it is closed.
    frame = win32::Win32Frame::create(recorder, CRect(0, 0, 100, 60), parent);
    child = static_cast<HWND>(frame->getNativeHandle());
    DestroyWindow(parent);
    pump();
    EXPECT_FALSE(frame->isAlive() || IsWindow(child));
    frame->invalidRect(CRect(0, 0, 10, 10));
    frame->presentInvalid();
    frame->setSize(CRect(0, 0, 50, 50));
    frame->setTextInputFocus(true);
    CPoint where;
    EXPECT_FALSE(frame->getCurrentMousePosition(where));
}

TEST(GdiplusSession, RunsWhileWindowsSurfacesOrBitmapsExistAndFontsNeverHoldIt) {
    ASSERT_EQ(win32::GdiplusSession::activeSessions(), 0) << "another test leaks GDI+ objects";
    // Fonts are cached in statics until the module unloads: they must not keep GDI+ running.
    auto font = getPlatformFactory().createFont("Arial", 12, kBoldFace);
    ASSERT_TRUE(font);
    EXPECT_GT(font->getStringWidth("Hello"), 20); // GDI+ runs for the call
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), 0);
    for (int run = 0; run < 2; ++run) { // GDI+ starts, stops and starts again under the font
        auto surface = getPlatformFactory().createOffscreenContext(40, 20);
        ASSERT_TRUE(surface);
        EXPECT_EQ(win32::GdiplusSession::activeSessions(), 1);
        EXPECT_TRUE(win32::GdiplusSession().bundledFamily()); // the bundled fonts load on every start
        CDrawState s;
        s.clip = surface->getSurfaceRect();
        surface->drawString(s, *font, "H", CPoint(2, 15), false);
        const uint32_t* pixels = surface->getPixels();
        EXPECT_GT(std::count_if(pixels, pixels + 40 * 20, [](uint32_t p) { return p != 0; }), 10);
    }
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), 0);
}

TEST(OleSession, UninitialisesOnlyWhatItInitialised) {
    // A host thread already in the multi-threaded apartment: OleInitialize fails there, and the
    // host's COM must survive the session (S_FALSE: still initialised).
    std::thread([] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_FALSE(win32::OleSession().initialised());
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
    std::thread([] {
        EXPECT_TRUE(win32::OleSession().initialised());
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); // the session left nothing behind
        CoUninitialize();
    }).join();
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
