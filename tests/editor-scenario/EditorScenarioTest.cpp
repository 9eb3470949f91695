// The shipped plug-in file's editor in a host window through a musician's session; after each
// step the window must show exactly what this program's own offscreen editor (the twin), given
// the same input, renders. Linux (xvfb-run): KELO.so in an X11 window, xdotool's pointer, a dialog
// program on PATH. Windows (wine's null driver): KELO.dll in a Win32 window, posted mouse
// messages, the real common dialog filled in from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "analyzer/window/AnalyzerHandler.h"
#include "editor/Preferences.h"
#include "editor/controls/CMyOptionMenu.h"
#include "host/Plugin.h"
#include "plugin/Parameters.h"
#include "plugin/StateChunk.h"
#include "tests/editor/EditorFixture.h"
#include "tools/kelo-render/AudioWriter.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <dlgs.h>
#else
#include <xcb/xcb.h>
#endif

namespace kelo::test {
namespace {

namespace fs = std::filesystem;
using namespace skintag;
using Clock = std::chrono::steady_clock;
using Pixels = std::vector<uint32_t>;

constexpr int kRate = 44100;
constexpr int kBlock = 512;

#if defined(_WIN32)
class Desk {
public:
    ~Desk() {
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
        pump();
    }
    bool ok() const { return true; }
    void* create(int w, int h) {
        w_ = w;
        h_ = h;
        WNDCLASSW wc = {0, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr), {}, {}, {}, {}, L"KeloScenarioHost"};
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, w + 100,
                                h + 100, nullptr, nullptr, wc.hInstance, nullptr);
        pump();
        return hwnd_;
    }
    static void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    HWND editorWindow() const { return FindWindowExW(hwnd_, nullptr, nullptr, nullptr); }
    // What the editor's window shows, as 0xRRGGBB.
    Pixels shot() const {
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), w_, -h_, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC mem = CreateCompatibleDC(nullptr), dc = GetDC(editorWindow());
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w_, h_, dc, 0, 0, SRCCOPY);
        ReleaseDC(editorWindow(), dc);
        Pixels p(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w_ * h_);
        for (uint32_t& v : p) v &= 0xffffff;
        DeleteObject(SelectObject(mem, old));
        DeleteDC(mem);
        return p;
    }
    // The left button down at the first point, through the others, up at the last.
    void mouse(std::initializer_list<gui::CPoint> path) const {
        auto post = [this](UINT m, gui::CPoint p) {
            PostMessageW(editorWindow(), m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(int(p.x), int(p.y)));
        };
        post(WM_LBUTTONDOWN, *path.begin());
        for (gui::CPoint p : path) post(WM_MOUSEMOVE, p);
        post(WM_LBUTTONUP, *(path.end() - 1));
        pump();
    }
    // The next dialog titled `title` gets `path` typed in as its file name and is confirmed.
    void answerFileDialog(const std::string& title, const std::string& path) {
        watcher_ = std::thread([this, title, path] {
            HWND dialog = nullptr;
            const auto until = Clock::now() + std::chrono::seconds(20);
            while (!stop_ && !dialog && Clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                dialog = FindWindowA("#32770", title.c_str());
            }
            if (!dialog) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100)); // until it takes input
            // The name box is a combo box in the explorer-style dialog, an edit in the old one.
            SetDlgItemTextA(dialog, cmb13, path.c_str());
            SetDlgItemTextA(dialog, edt1, path.c_str());
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            asked_ = true;
        });
    }
    bool dialogAsked(const std::string&) const { return asked_; }
private:
    HWND hwnd_ = nullptr;
    int w_ = 0, h_ = 0;
    std::thread watcher_;
    std::atomic<bool> stop_{false}, asked_{false};
};

#else
class Desk {
public:
    ~Desk() {
        if (window_) xcb_destroy_window(connection_, window_);
        xcb_disconnect(connection_);
    }
    bool ok() const { return !xcb_connection_has_error(connection_) && screen_; }
    // At the screen's origin, so window and screen coordinates agree.
    void* create(int w, int h) {
        w_ = w;
        h_ = h;
        window_ = xcb_generate_id(connection_);
        const uint32_t values[] = {screen_->black_pixel};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, 0, 0, uint16_t(w), uint16_t(h), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        return reinterpret_cast<void*>(uintptr_t(window_));
    }
    static void pump() {}
    // The window's pixels as 0xRRGGBB, the editor's child window included.
    Pixels shot() const {
        Pixels p;
        const auto cookie = xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, 0, 0, w_, h_, ~0u);
        auto* reply = xcb_get_image_reply(connection_, cookie, nullptr);
        if (reply && xcb_get_image_data_length(reply) == w_ * h_ * 4) {
            const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(reply));
            p.assign(data, data + w_ * h_);
        }
        std::free(reply);
        for (uint32_t& v : p) v &= 0xffffff;
        return p;
    }
    void mouse(std::initializer_list<gui::CPoint> path) const {
        std::string args = "mousemove " + at(*path.begin()) + " mousedown 1";
        for (gui::CPoint p : path) args += " mousemove " + at(p);
        xdotool(args + " mouseup 1");
    }
    // The dialog program found first on PATH answers `path` and notes how it was asked.
    void answerFileDialog(const std::string&, const std::string& path) {
        const fs::path bin = fs::path(path).parent_path() / "bin";
        fs::create_directories(bin);
        args_ = bin / "asked";
        {
            std::ofstream zenity(bin / "zenity");
            zenity << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << args_.string() << "'\necho '" << path << "'\n";
        }
        fs::permissions(bin / "zenity", fs::perms::owner_all);
        setenv("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str(), 1);
    }
    bool dialogAsked(const std::string& title) const {
        const std::string text{std::istreambuf_iterator<char>(std::ifstream(args_).rdbuf()), {}};
        return text.find(title) != std::string::npos && text.find("--file-filter=.wav") != std::string::npos;
    }
private:
    static void xdotool(const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }
    static std::string at(gui::CPoint p) { return std::to_string(int(p.x)) + " " + std::to_string(int(p.y)); }
    xcb_connection_t* connection_ = xcb_connect(nullptr, nullptr); // xvfb-run's one screen
    xcb_screen_t* screen_ =
        xcb_connection_has_error(connection_) ? nullptr : xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    xcb_window_t window_ = 0;
    int w_ = 0, h_ = 0;
    fs::path args_;
};

#endif

size_t differing(const Pixels& a, const Pixels& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    return std::transform_reduce(a.begin(), a.end(), b.begin(), size_t(0), std::plus<>(), std::not_equal_to<>());
}

// The fixture's own editor is the twin; `shipped` is the plug-in file in the desk's window.
class EditorSession : public EditorOnPlugin {
protected:
    void SetUp() override {
        EditorOnPlugin::SetUp();
        ASSERT_TRUE(desk.ok()) << "no X display (run under xvfb-run -a)";
        installSkin = false;
        files.clear();
        home.write("User.ini", "Eggs = 0\nSyncMode = 0\n"); // no light show; its own tempo
        const fs::path src = fs::path(KELO_SOURCE_DIR) / "data";
        for (const char* f : {"Gui.ini", "RededazadEdadar2.skn", "DefaultPatternBank.pat"})
            fs::copy_file(src / f, home.dataFolder() / f);
        fs::copy(src / "RededazadEdadar2", home.dataFolder() / "RededazadEdadar2", fs::copy_options::recursive);
    }
    Pixels twinShot() {
        idle();
        const auto& c = frame()->getOffscreenFrame()->context();
        const uint32_t* px = const_cast<gui::IPlatformOffscreenContext&>(c).getPixels();
        Pixels p(px, px + size_t(c.getWidth()) * size_t(c.getHeight()));
        for (uint32_t& v : p) v &= 0xffffff;
        return p;
    }
    void hostIdle() {
        shipped.dispatcher(effEditIdle);
        Desk::pump();
    }
    // The window shows what the twin renders, once the editor has caught up with the input.
    void expectShows(const Pixels& expected, const char* step) {
        size_t diff = 0;
        for (const auto until = Clock::now() + std::chrono::seconds(3); Clock::now() < until;) {
            hostIdle();
            if ((diff = differing(desk.shot(), expected)) == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << step << ": " << diff << " pixels differ from the offscreen render";
    }
    // A click in both editors; with a step named, the window then shows what the twin renders.
    void clickBoth(gui::CPoint p, const char* step = nullptr) {
        desk.mouse({p});
        click(p);
        if (step) expectShows(twinShot(), step);
    }
    void keyBoth(unsigned char virt) {
        shipped.dispatcher(effEditKeyDown, 0, virt);
        VstKeyCode k{0, virt, 0};
        editor->onKeyDown(k);
    }
    // Opens a menu with its button, then chooses an entry with the arrow keys and Return.
    void choose(int32_t button, int32_t menuTag, int32_t entry) {
        clickBoth(centre(button), "menu open"); // the click has arrived before the keys
        gui::COptionMenu* m = editor->menus().menu(menuTag);
        for (int32_t i = 0; i <= entry; ++i)
            if (m->getEntry(i)->isChoosable() || m->getEntry(i)->getSubmenu()) keyBoth(gui::VKEY_DOWN);
        keyBoth(gui::VKEY_RETURN);
    }
    static gui::CPoint middle(const gui::CViewContainer* panel, const gui::CControl* c) {
        const gui::CPoint m = c->getViewSize().getCenter();
        return gui::CPoint(panel->getViewSize().left + m.x, panel->getViewSize().top + m.y);
    }
    void play(int blocks, std::vector<float>* into = nullptr) {
        for (int i = 0; i < blocks; ++i) {
            shipped.process(kBlock, left.data(), right.data());
            if (into) into->insert(into->end(), left.begin(), left.end());
        }
    }
    // The pattern the plug-in file plays, from its state chunk.
    Pattern shippedPattern() {
        void* chunk = nullptr;
        Pattern p{};
        int32_t index = 0;
        EXPECT_EQ(size_t(shipped.dispatcher(effGetChunk, 0, 0, &chunk)), kStateChunkSize);
        const auto* bytes = static_cast<const uint8_t*>(chunk);
        std::memcpy(&index, bytes + kChunkSettingsOffset + 4 * kChunkWordCurrentPattern, 4);
        std::memcpy(&p, bytes + kChunkBankOffset + size_t(index & (kNumPatterns - 1)) * sizeof p, sizeof p);
        return p;
    }
    Desk desk;
    host::Plugin shipped;
    std::vector<float> left = std::vector<float>(kBlock), right = std::vector<float>(kBlock);
};

TEST_F(EditorSession, ThePluginFileShowsWhatItsTwinRendersThroughASession) {
    ASSERT_TRUE(shipped.load()) << shipped.error();
    shipped.start(float(kRate), kBlock);
    start();
    ERect* rect = nullptr;
    ASSERT_EQ(shipped.dispatcher(effEditGetRect, 0, 0, &rect), 1);
    const int w = rect->right - rect->left, h = rect->bottom - rect->top;
    ASSERT_EQ(std::pair(w, h), std::pair(800, 420));
    ASSERT_EQ(shipped.dispatcher(effEditOpen, 0, 0, desk.create(w, h)), 1);
    expectShows(twinShot(), "opened");
    // Cutoff dragged up 30 px (linear, 300 px for the range): the parameter and the host's
    // automation record both move by 0.1.
    const float before = shipped.getParameter(kCutoff);
    const gui::CPoint knob = centre(CUTOFFKNOB);
    desk.mouse({knob, gui::CPoint(knob.x, knob.y - 15), gui::CPoint(knob.x, knob.y - 30)});
    for (const auto until = Clock::now() + std::chrono::seconds(3);
         Clock::now() < until && std::fabs(shipped.getParameter(kCutoff) - before - 0.1f) > 1e-4f;)
        hostIdle();
    EXPECT_NEAR(shipped.getParameter(kCutoff), before + 0.1f, 1e-4);
    ASSERT_FALSE(shipped.automations().empty());
    EXPECT_EQ(std::pair(shipped.automations().back().index, shipped.automations().back().value),
              std::pair(int(kCutoff), shipped.getParameter(kCutoff)));
    // The sound the analyzer asks to record with, set by the host.
    for (auto [index, value] : {std::pair{kTune, 0.5f}, {kCutoff, 1.0f}, {kResonance, 0.0f}, {kEnvmod, 1.0f},
                                {kDecay, 1.0f}, {kAccent, 1.0f}, {kWaveform, 0.0f}, {kVolume, 0.3f}}) {
        shipped.setParameter(index, value);
        plugin->setParameter(index, value);
    }
    const Pixels panel = twinShot();
    expectShows(panel, "knobs set by the host");
    // Each menu button opens its menu over the panel; Escape closes it.
    for (int32_t button : {OPTIONMENU, PATTERNMENU, PATCHBUTTON}) {
        clickBoth(centre(button));
        const Pixels open = twinShot();
        EXPECT_GT(differing(open, panel), 1000u) << "no menu from button " << button;
        expectShows(open, "menu open");
        keyBoth(gui::VKEY_ESCAPE);
        expectShows(panel, "menu closed");
    }
    choose(OPTIONMENU, EditorMenus::kOptionsMenuTag, menu::kPreferences);
    ASSERT_TRUE(editor->preferences() && editor->preferences()->isShown());
    expectShows(twinShot(), "preferences");
    clickBoth(middle(editor->preferencesPanel(), editor->preferences()->control(PreferencesHandler::kDone)));
    ASSERT_EQ(differing(twinShot(), panel), 0u);
    expectShows(panel, "preferences closed");
    // The run key starts the pattern: the panel shows the edit step, so only the run light blinks.
    const Pattern played = shippedPattern();
    ASSERT_TRUE(played.steps[0].flags & StepGate) << "the recording starts with a note";
    clickBoth(centre(ILLUBUTTON15));
    const Pixels lit = twinShot();
    idle(Riv303Uru::kBlinkMs);
    const Pixels dark = twinShot();
    ASSERT_GT(differing(lit, dark), 100u);
    EXPECT_EQ(differing(dark, panel), 0u);
    std::vector<float> take;
    play(80, &take);
    expectShows(lit, "run light on");
    expectShows(dark, "run light off");
    // One measure from the block the sequencer started in, as a 16-bit WAV named for its steps.
    const int steps = playedSteps(played);
    const auto measure = size_t(std::lround(kRate * 60.0 / (editor->link().state().tempo * 4.0) * steps));
    size_t first = 0;
    while (first < take.size() && std::fabs(take[first]) < 1e-4f) ++first;
    first -= first % kBlock;
    while (take.size() < first + measure) play(1, &take);
    const fs::path wav = home.dataFolder().parent_path() / ("acid " + std::to_string(steps) + "step.wav");
    render::AudioWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(wav.string(), kRate, render::SampleFormat::Pcm16, error) &&
                writer.write(take.data() + first, take.data() + first, measure) && writer.commit(error))
        << error;
    clickBoth(centre(ILLUBUTTON15)); // stop
    play(2);
    expectShows(twinShot(), "stopped");
    // The analyzer, from the pattern menu: Load Audio through the file dialog, then Detect.
    choose(PATTERNMENU, EditorMenus::kPatternMenuTag, menu::kAnalyze);
    AnalyzerHandler* analyzer = editor->analyzer();
    ASSERT_TRUE(analyzer && analyzer->isOpen());
    expectShows(twinShot(), "analyzer");
    const auto button = [&](int32_t tag) { return middle(editor->analyzerPanel(), analyzer->control(tag)); };
    desk.answerFileDialog("Choose An Audio File", wav.string());
    services.fileAnswers.push_back({wav.string()});
    clickBoth(button(AnalyzerHandler::kLoadAudio), "recording loaded");
    EXPECT_TRUE(desk.dialogAsked("Choose An Audio File"));
    clickBoth(button(AnalyzerHandler::kDetect), "detected");
    const Pattern detected = shippedPattern();
    EXPECT_EQ(playedSteps(detected), steps);
    // A step slid into starts no note of its own (its accent is silent, a rest sounds on, its
    // pitch is where the glide got to): the recording tells only the others.
    int compared = 0;
    for (int i = 0; i < steps; ++i) {
        const PatternStep &a = played.steps[i], &b = detected.steps[i];
        if (i > 0 && (played.steps[i - 1].flags & StepGate) && (played.steps[i - 1].flags & StepSlide)) continue;
        ++compared;
        constexpr uint8_t kHeard = StepGate | StepAccent | StepSlide;
        EXPECT_EQ(a.flags & kHeard, b.flags & kHeard) << "step " << i;
        EXPECT_TRUE(!(a.flags & StepGate) || stepMidiNote(a) == stepMidiNote(b)) << "step " << i << ": "
                                                                               << stepMidiNote(b);
    }
    EXPECT_GE(compared, steps * 2 / 3);
    clickBoth(button(AnalyzerHandler::kClose), "analyzer closed");
    shipped.dispatcher(effEditClose);
#if defined(_WIN32)
    EXPECT_FALSE(desk.editorWindow());
#endif
    shipped.close();
    EXPECT_NE(home.read("Gui.ini").find("Skin = \"RededazadEdadar2\""), std::string::npos);
}

} // namespace
} // namespace kelo::test
