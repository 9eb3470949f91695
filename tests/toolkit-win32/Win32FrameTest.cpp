// The editor's child window under a real message loop: messages posted as a user's input would
// arrive, paints read back from the window with BitBlt.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Resources.h"
#include "support/TestScene.h"
#include "toolkit/CFrame.h"
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
    bool platformOnKeyUp(VstKeyCode& k) override {
        events.push_back("keyup " + std::to_string(k.character) + " " + std::to_string(k.virt));
        return true;
    }
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
    RECT placed;
    GetWindowRect(child, &placed);
    MapWindowPoints(nullptr, parent.hwnd, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(CRect(placed.left, placed.top, placed.right, placed.bottom), CRect(0, 0, 100, 60));

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
    pump();
    // A character goes down with the WM_CHAR the message loop makes of its key, and up with
    // the key itself.
    PostMessageW(child, WM_KEYDOWN, 'A', 0);
    pump();
    PostMessageW(child, WM_KEYUP, 'A', 0);
    PostMessageW(child, WM_CHAR, ' ', 0);
    pump();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"key 0 " + std::to_string(VKEY_LEFT),
                                                         "key 0 " + std::to_string(VKEY_BACK), "key 97 0", "keyup 97 0",
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

// ---- the test editor in a host's window ----

// What a host learns from the plug-in: automation as "automate <index> <value>".
std::vector<std::string>* hostLog = nullptr;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterAutomate && hostLog) {
        char line[64];
        std::snprintf(line, sizeof line, "automate %d %g", index, double(opt));
        hostLog->push_back(line);
    }
    return 0;
}

// The scene's bitmap regions as a window shows them and as the offscreen render has them.
int differingBitmapPixels(const std::vector<uint32_t>& shown, const uint32_t* rendered) {
    const int w = int(test::TestScene::kWidth);
    int differing = 0;
    for (const CRect& r : test::TestScene::bitmapRegions())
        for (int y = int(r.top); y < int(r.bottom); ++y)
            for (int x = int(r.left); x < int(r.right); ++x)
                differing += (rendered[y * w + x] & 0xffffff) != shown[size_t(y * w + x)];
    return differing;
}

TEST(TestEditorInHostWindow, DragsAndClicksReachTheHostAndTheWindowShowsTheOffscreenRender) {
    std::vector<std::string> log;
    hostLog = &log;
    Parent parent;
    AEffect* effect = (new test::TestSceneEffect(hostCallback))->getAeffect();
    auto dispatch = [effect](VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
    };
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, 0, &rect), 1);
    ASSERT_EQ(rect->right - rect->left, 320);
    ASSERT_EQ(dispatch(effEditOpen, 0, parent.hwnd), 1);
    HWND child = FindWindowExW(parent.hwnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    pump();
    dispatch(effEditIdle);

    const std::vector<uint32_t> shown = readBack(child, 320, 200);
    auto* offscreen = new CFrame(CRect(0, 0, test::TestScene::kWidth, test::TestScene::kHeight), nullptr);
    ASSERT_TRUE(offscreen->openOffscreen());
    ASSERT_TRUE(test::TestScene::build(offscreen, nullptr));
    offscreen->idle();
    EXPECT_EQ(differingBitmapPixels(shown, offscreen->getOffscreenFrame()->context().getPixels()), 0);
    offscreen->close();

    // Linear knob mode: 40 px up is +0.2; with Shift the range is 1.5 times longer, 30 px +0.1.
    dispatch(effSetEditKnobMode, kLinearMode);
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at(60, 100));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, at(60, 80));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, at(60, 60));
    PostMessageW(child, WM_LBUTTONUP, 0, at(60, 60));
    pump();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "automate 0 0.2");
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(60, 100));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, at(60, 70));
    PostMessageW(child, WM_LBUTTONUP, MK_SHIFT, at(60, 70));
    pump();
    EXPECT_EQ(log.back(), "automate 0 0.3");
    log.clear();
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at(150, 100));
    PostMessageW(child, WM_LBUTTONUP, 0, at(150, 100));
    pump();
    EXPECT_EQ(log, (std::vector<std::string>{"automate 1 1", "automate 1 0"}));

    // The host destroys its window first, idles on, and closes the editor later.
    DestroyWindow(parent.hwnd);
    pump();
    dispatch(effEditIdle);
    dispatch(effEditClose);
    // A second session in a new window.
    Parent again;
    EXPECT_EQ(dispatch(effEditOpen, 0, again.hwnd), 1);
    pump();
    dispatch(effEditIdle);
    dispatch(effEditClose);
    EXPECT_FALSE(FindWindowExW(again.hwnd, nullptr, nullptr, nullptr));
    dispatch(effClose);
    hostLog = nullptr;
}

// ---- process and thread state ----

TEST(GdiplusSession, RunsWhileWindowsSurfacesOrBitmapsExistAndFontsNeverHoldIt) {
    ASSERT_EQ(win32::GdiplusSession::activeSessions(), 0) << "another test leaks GDI+ objects";
    // Fonts are cached in statics until the module unloads: they must not keep GDI+ running.
    auto font = getPlatformFactory().createFont("Arial", 12, kBoldFace);
    ASSERT_TRUE(font);
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), 0);
    EXPECT_GT(font->getStringWidth("Hello"), 20); // GDI+ runs for the call
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), 0);
    for (int run = 0; run < 2; ++run) { // GDI+ starts, stops and starts again under the font
        auto surface = getPlatformFactory().createOffscreenContext(40, 20);
        ASSERT_TRUE(surface);
        EXPECT_EQ(win32::GdiplusSession::activeSessions(), 1);
        {
            const win32::GdiplusSession session; // the bundled fonts are loaded once per start
            ASSERT_TRUE(session.bundledFamily());
            EXPECT_EQ(session.bundledFamily(), session.bundledFamily());
        }
        CDrawState s;
        s.clip = surface->getSurfaceRect();
        surface->drawString(s, *font, "H", CPoint(2, 15), false);
        int lit = 0;
        for (int i = 0; i < 40 * 20; ++i) lit += surface->getPixels()[i] != 0;
        EXPECT_GT(lit, 10) << run;
    }
    EXPECT_EQ(win32::GdiplusSession::activeSessions(), 0);
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
