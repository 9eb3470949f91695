// Times the toolkit on an editor-sized frame (708 x 362) of bitmaps: 24 film-strip knobs,
// 24 two-image buttons, 24 LEDs and 3 text labels over a full background.
//   - idle with nothing changed (must not repaint),
//   - a full repaint offscreen,
//   - editor open to first paint: offscreen, and in an X11 window when DISPLAY is set.
// Prints medians.
//
//   bench_toolkit [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CMovieBitmap.h"
#include "toolkit/controls/CParamDisplay.h"
#include "toolkit/platform/OffscreenFrame.h"

#if defined(__linux__)
#include <xcb/xcb.h>
#endif

using namespace kelo::gui;
using Clock = std::chrono::steady_clock;

namespace {

constexpr CCoord kWidth = 708;
constexpr CCoord kHeight = 362;

CBitmap* pattern(int w, int h, uint32_t seed) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y) * size_t(w) + size_t(x)] = 0xff000000u | ((uint32_t(x * 3 + seed) & 0xff) << 16) |
                                                   ((uint32_t(y * 5 + seed) & 0xff) << 8) | uint32_t((x ^ y) & 0xff);
    return new CBitmap(px.data(), w, h);
}

struct Art {
    Art() : back(pattern(int(kWidth), int(kHeight), 1)), knob(pattern(40, 40 * 100, 2)), button(pattern(30, 40, 3)),
            led(pattern(12, 24, 4)) {}
    ~Art() {
        for (CBitmap* b : {back, knob, button, led}) b->forget();
    }
    CBitmap* back;
    CBitmap* knob;
    CBitmap* button;
    CBitmap* led;
};

void build(CFrame* f, const Art& art) {
    f->setBackground(art.back);
    for (int i = 0; i < 24; ++i) {
        const CCoord x = 10 + (i % 12) * 56;
        const CCoord y = 20 + (i / 12) * 60;
        auto* k = new CAnimKnob(CRect(x, y, x + 40, y + 40), nullptr, i, art.knob);
        k->setValue(float(i) / 23);
        f->addView(k);
        f->addView(new CKickButton(CRect(x, y + 150, x + 30, y + 170), nullptr, 100 + i, art.button));
        auto* led = new CMovieBitmap(CRect(x + 32, y + 150, x + 44, y + 162), nullptr, 200 + i, art.led);
        led->setValue(float(i % 2));
        f->addView(led);
    }
    for (int i = 0; i < 3; ++i) {
        auto* label = new CTextLabel(CRect(10 + i * 230, 320, 230 + i * 230, 340), "Pattern 01  A#3  Slide");
        label->setTransparency(true);
        f->addView(label);
    }
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

#if defined(__linux__)
// A top-level window for the frame to live in, on its own connection.
struct HostWindow {
    HostWindow() {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) return;
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, s->root, 0, 0, uint16_t(kWidth), uint16_t(kHeight), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, 0, nullptr);
        xcb_map_window(c, window);
        xcb_flush(c);
    }
    ~HostWindow() {
        if (window) xcb_destroy_window(c, window);
        xcb_disconnect(c);
    }
    xcb_connection_t* c = nullptr;
    xcb_window_t window = 0;
};
#endif

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    Art art;

    // Open to first paint, offscreen (the first run includes setting up the fonts).
    std::vector<double> open;
    double cold = 0;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Clock::now();
        auto* f = new CFrame(CRect(0, 0, kWidth, kHeight), nullptr);
        if (!f->openOffscreen()) {
            std::printf("this platform has no offscreen drawing\n");
            return 1;
        }
        build(f, art);
        f->idle();
        const double ms = msSince(t0);
        if (r == 0) cold = ms;
        open.push_back(ms);
        f->close();
    }
    std::printf("open to first paint, offscreen:  %.2f ms (first %.2f ms)\n", median(open), cold);

    auto* f = new CFrame(CRect(0, 0, kWidth, kHeight), nullptr);
    f->openOffscreen();
    build(f, art);
    f->idle();
    OffscreenFrame* window = f->getOffscreenFrame();

    // Idle with nothing changed: no paint at all.
    const int paints = window->paintCount();
    std::vector<double> idle;
    for (int r = 0; r < runs; ++r) {
        const int calls = 2000;
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i) f->idle();
        idle.push_back(msSince(t0) * 1000.0 / calls);
    }
    std::printf("idle, nothing changed:           %.2f us per call, %d repaints\n", median(idle),
                window->paintCount() - paints);

    // Full repaint of every view.
    std::vector<double> full;
    for (int r = 0; r < runs; ++r) {
        f->invalid();
        const auto t0 = Clock::now();
        f->idle();
        full.push_back(msSince(t0));
    }
    std::printf("full repaint %gx%g, offscreen: %.2f ms\n", kWidth, kHeight, median(full));
    f->close();

#if defined(__linux__)
    if (std::getenv("DISPLAY")) {
        std::vector<double> real;
        for (int r = 0; r < runs; ++r) {
            HostWindow host;
            if (!host.window) break;
            const auto t0 = Clock::now();
            auto* g = new CFrame(CRect(0, 0, kWidth, kHeight), nullptr);
            if (!g->open(reinterpret_cast<void*>(uintptr_t(host.window)))) {
                std::printf("cannot open an X11 window\n");
                g->forget();
                break;
            }
            build(g, art);
            g->idle();
            real.push_back(msSince(t0));
            g->close();
        }
        if (!real.empty()) std::printf("open to first paint, X11 window: %.2f ms\n", median(real));
    }
#endif
    return 0;
}
