#pragma once
// A frame rendered offscreen, driven through its event entry points, with a fake clock; the
// test skin's images (image k of tag T: colour (T mod 256, 32 * (T div 256) + 16, 2k + 1)).
#include <gtest/gtest.h>
#include <string>
#include "Harness.h"
#include "tests/support/FakeServices.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/OffscreenFrame.h"
namespace kelo::test {
using namespace kelo::gui;
using gui::test::Lines;
using gui::test::Log;

constexpr uint32_t kBlack = 0xff000000u, kWhite = 0xffffffffu;

// Image k of the test skin's bitmap for tag T, as a premultiplied pixel.
constexpr uint32_t skinColour(int tag, int k) {
    return 0xff000000u | uint32_t(tag % 256) << 16 | uint32_t(32 * (tag / 256) + 16) << 8 | uint32_t(2 * k + 1);
}

// A bitmap of the test skin (the caller owns the reference).
inline CBitmap* skinBitmap(const std::string& name) {
    CBitmap* b = CBitmap::fromFile(std::string(KELO_SOURCE_DIR) + "/tests/data/skins/EveryTag/" + name);
    EXPECT_TRUE(b && b->isLoaded()) << name;
    return b;
}

// Logs what a control reports, and what its editor is asked, in one shared log.
struct Listener : IControlListener, VSTGUIEditorInterface {
    explicit Listener(Log& l) : log(l) {}
    void valueChanged(CControl* c) override { log.add("value " + gui::test::fmt(c->getValue())); }
    void controlBeginEdit(CControl*) override { log.add("begin"); }
    void controlEndEdit(CControl*) override { log.add("end"); }
    int32 getKnobMode() const override { return knobMode; }
    void beginEdit(int32 tag) override { log.add("editor begin " + std::to_string(tag)); }
    void endEdit(int32 tag) override { log.add("editor end " + std::to_string(tag)); }
    Log& log;
    int32 knobMode = -1;
};

struct Screen {
    explicit Screen(CCoord w = 300, CCoord h = 200, int32 knobMode = kLinearMode) : listener(log) {
        listener.knobMode = knobMode;
        frame = new CFrame(CRect(0, 0, w, h), &listener);
        frame->openOffscreen();
    }
    ~Screen() { frame->close(); }
    template <typename T>
    T* add(T* view) {
        frame->addView(view);
        return view;
    }
    // A view built with one of the test skin's bitmaps, which the view then holds alone.
    template <typename T, typename... Args>
    T* addWith(const std::string& bitmap, Args&&... args) {
        CBitmap* b = skinBitmap(bitmap);
        T* view = add(new T(std::forward<Args>(args)..., b));
        b->forget();
        return view;
    }
    CMouseEventResult down(CCoord x, CCoord y, int32 b = kLButton) { return frame->platformOnMouseDown(CPoint(x, y), b); }
    CMouseEventResult move(CCoord x, CCoord y, int32 b = kLButton) { return frame->platformOnMouseMoved(CPoint(x, y), b); }
    CMouseEventResult up(CCoord x, CCoord y, int32 b = kLButton) { return frame->platformOnMouseUp(CPoint(x, y), b); }
    // Time passes and the frame does its idle work (timers, idle views, paint).
    void idle(uint32_t ms = 0) {
        services.now += ms;
        frame->idle();
    }
    // Everything repainted, then the pixel at (x, y) (premultiplied 0xAARRGGBB).
    uint32_t pixel(int x, int y) {
        frame->invalid();
        frame->idle();
        return painted(x, y);
    }
    uint32_t painted(int x, int y) {
        IPlatformOffscreenContext& s = frame->getOffscreenFrame()->context();
        return s.getPixels()[size_t(y) * size_t(s.getWidth()) + size_t(x)];
    }
    FakeServices services;
    Log log;
    Listener listener;
    CFrame* frame = nullptr;
};
} // namespace kelo::test
