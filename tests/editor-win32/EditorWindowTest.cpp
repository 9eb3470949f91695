// KELO.dll's editor in a host window under wine's null display driver: the window shows exactly
// what the editor renders offscreen, and a Cutoff drag posted as a user's mouse messages reaches
// the parameter and the host's automation record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/Riv303Uru.h"
#include "host/Plugin.h"
#include "platform/Platform.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/OffscreenFrame.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kelo {
namespace {

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct HostWindow {
    HostWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KeloEditorTestHost";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(0, L"KeloEditorTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 500,
                               nullptr, nullptr, wc.hInstance, nullptr);
        pump();
    }
    ~HostWindow() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        pump();
    }
    HWND hwnd;
};

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
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
    for (uint32_t& p : pixels) p &= 0xffffff;
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    return pixels;
}

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The same panel, drawn offscreen by the editor built into this program.
std::vector<uint32_t> offscreenPanel(int& w, int& h) {
    Vez303 plugin(&quietHost, &createEditor);
    auto* editor = static_cast<Riv303Uru*>(plugin.getEditor());
    std::vector<uint32_t> pixels;
    if (!editor->openOffscreen()) return pixels;
    editor->getFrame()->idle();
    auto& context = editor->getFrame()->getOffscreenFrame()->context();
    w = context.getWidth();
    h = context.getHeight();
    pixels.assign(context.getPixels(), context.getPixels() + w * h);
    for (uint32_t& p : pixels) p &= 0xffffff;
    editor->close();
    return pixels;
}

TEST(PluginEditorInHostWindow, ShowsTheOffscreenRenderAndADragReachesTheHost) {
    // An installed user: Gui.ini in the data folder (no skin there: the built-in one shows).
    const std::filesystem::path data = platform::dataFolder();
    ASSERT_FALSE(data.empty());
    std::filesystem::create_directories(data);
    std::filesystem::copy_file(std::filesystem::path(KELO_SOURCE_DIR) / "data" / "Gui.ini", data / "Gui.ini",
                               std::filesystem::copy_options::overwrite_existing);

    int w = 0, h = 0;
    const std::vector<uint32_t> rendered = offscreenPanel(w, h);
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 420);

    host::Plugin plugin;
    ASSERT_TRUE(plugin.load()) << plugin.error();
    plugin.start();
    ASSERT_TRUE(plugin.effect()->flags & effFlagsHasEditor);
    ERect* rect = nullptr;
    ASSERT_EQ(plugin.dispatcher(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect->right - rect->left, 800);
    HostWindow parent;
    ASSERT_EQ(plugin.dispatcher(effEditOpen, 0, 0, parent.hwnd), 1);
    HWND child = FindWindowExW(parent.hwnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    // The start-up light show: 14 frames of 50 ms, then the panel at rest.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1200) {
        plugin.dispatcher(effEditIdle);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump();
    }
    plugin.dispatcher(effEditIdle);
    pump();
    const std::vector<uint32_t> shown = readBack(child, w, h);
    int differing = 0;
    for (size_t i = 0; i < shown.size(); ++i) differing += shown[i] != rendered[i];
    EXPECT_EQ(differing, 0);

    // Cutoff (62 x 62 at 163, 70), linear drag up 30 px over a 300 px range: +0.1.
    const float before = plugin.getParameter(1);
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at(194, 101));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, at(194, 86));
    PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, at(194, 71));
    PostMessageW(child, WM_LBUTTONUP, 0, at(194, 71));
    pump();
    plugin.dispatcher(effEditIdle);
    EXPECT_NEAR(plugin.getParameter(1), before + 0.1f, 1e-4);
    ASSERT_FALSE(plugin.automations().empty());
    EXPECT_EQ(plugin.automations().back().index, 1);
    EXPECT_EQ(plugin.automations().back().value, plugin.getParameter(1));

    plugin.dispatcher(effEditClose);
    EXPECT_FALSE(FindWindowExW(parent.hwnd, nullptr, nullptr, nullptr));
    plugin.close();
}

} // namespace
} // namespace kelo
