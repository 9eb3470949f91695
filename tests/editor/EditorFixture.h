#pragma once
// The editor on the real plug-in core: a fake host that records what the plug-in tells it, a
// scratch data folder holding the test skin (every image a flat colour naming its tag and frame,
// see tools/skin-art/make_skin.py), services with a hand-set clock, mouse events to the frame.
#include <gtest/gtest.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "editor/Riv303Uru.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"
#include "tests/support/FakeServices.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/OffscreenFrame.h"
namespace kelo::test {
// What the host heard: "automate <index> <value>", "begin <index>", "end <index>".
inline std::vector<std::string>& hostLog() {
    static std::vector<std::string> log;
    return log;
}

inline VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterAutomate:
        hostLog().push_back("automate " + std::to_string(index) + " " + (std::ostringstream() << opt).str());
        return 1;
    case audioMasterBeginEdit: hostLog().push_back("begin " + std::to_string(index)); return 1;
    case audioMasterEndEdit: hostLog().push_back("end " + std::to_string(index)); return 1;
    default: return 0;
    }
}

// Which tag's image and which of its frames a test-skin pixel shows; tag -1 when the colour
// is none of the skin's.
struct Shown {
    int tag = -1;
    int frame = -1;
    bool operator==(const Shown&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << "tag " << s.tag << " frame " << s.frame;
}

class EditorOnPlugin : public ::testing::Test {
protected:
    static constexpr const char* kTestSkin = "EveryTag";
    static constexpr const char* kGuiIni = "Skin = \"EveryTag\"\nKnobMode = 2\nKnobSensitivity = 300\n";
    // Files of the data folder, written before the instance is built ("User.ini" quiets the
    // start-up light show unless a test wants it).
    std::map<std::string, std::string> files{{"Gui.ini", kGuiIni}, {"User.ini", "Eggs = 0\n"}};
    bool installSkin = true;
    audioMasterCallback hostCallback = &recordingHost;
    bool resumed = false; // sample rate set and resumed, as a host about to play
    void SetUp() override { hostLog().clear(); }
    void TearDown() override { plugin.reset(); }
    // Builds the instance with its editor and opens the panel offscreen.
    void start(bool openPanel = true) {
        namespace fs = std::filesystem;
        if (installSkin) {
            const fs::path from = fs::path(KELO_SOURCE_DIR) / "tests" / "data" / "skins";
            fs::create_directories(home.dataFolder() / kTestSkin);
            fs::copy_file(from / "EveryTag.skn", home.dataFolder() / "EveryTag.skn");
            fs::copy(from / kTestSkin, home.dataFolder() / kTestSkin);
        }
        for (const auto& [name, text] : files) home.write(name, text);
        plugin = std::make_unique<Vez303>(hostCallback, &createEditor);
        if (resumed) {
            plugin->setSampleRate(44100.0f);
            plugin->resume();
        }
        editor = static_cast<Riv303Uru*>(plugin->getEditor());
        ASSERT_NE(editor, nullptr);
        if (openPanel) {
            ASSERT_TRUE(editor->openOffscreen());
        }
        idle();
        hostLog().clear();
    }
    Sequencer& seq() { return plugin->sequencer(); }
    Pattern& pattern() { return seq().current(); }
    gui::CFrame* frame() { return editor->getFrame(); }
    // The clock moves on, then one idle; idleFor idles every 10 ms.
    void idle(uint32_t ms = 0) {
        services.now += ms;
        editor->idle();
    }
    void idleFor(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) idle(10);
    }
    gui::CRect rectOf(int32_t tag) const {
        const SkinRect r = editor->skin().rect(tag);
        return gui::CRect(r.left, r.top, r.right, r.bottom);
    }
    gui::CPoint centre(int32_t tag) const { return rectOf(tag).getCenter(); }
    // The mouse, in frame coordinates.
    void down(gui::CPoint p, int32_t buttons = gui::kLButton) { frame()->platformOnMouseDown(p, buttons); }
    void move(gui::CPoint p, int32_t buttons = gui::kLButton) { frame()->platformOnMouseMoved(p, buttons); }
    void up(gui::CPoint p, int32_t buttons = gui::kLButton) { frame()->platformOnMouseUp(p, buttons); }
    void click(gui::CPoint p, int32_t buttons = gui::kLButton) {
        down(p, buttons);
        up(p, buttons);
        idle();
    }
    void click(int32_t tag) { click(centre(tag)); }
    // A vertical drag from a point in two moves; up is negative dy.
    void drag(gui::CPoint from, double dy) {
        down(from);
        move(gui::CPoint(from.x, from.y + dy / 2));
        move(gui::CPoint(from.x, from.y + dy));
        up(gui::CPoint(from.x, from.y + dy));
        idle();
    }
    void drag(int32_t tag, double dy) { drag(centre(tag), dy); }
    uint32_t pixel(gui::CPoint p) {
        gui::IPlatformOffscreenContext& ctx = frame()->getOffscreenFrame()->context();
        return ctx.getPixels()[size_t(p.y) * size_t(ctx.getWidth()) + size_t(p.x)];
    }
    Shown shownAt(gui::CPoint p) {
        const uint32_t px = pixel(p);
        const int r = (px >> 16) & 0xff, g = (px >> 8) & 0xff, b = px & 0xff;
        if ((g - 16) % 32 != 0 || (b & 1) == 0) return {};
        return {r + 256 * ((g - 16) / 32), (b - 1) / 2};
    }
    Shown shown(int32_t tag) { return shownAt(centre(tag)); }
    // The frame of its own image that a control shows (-1 when another image covers it).
    int frameOf(int32_t tag) {
        const Shown s = shown(tag);
        return s.tag == tag ? s.frame : -1;
    }
    ScratchHome home;
    FakeServices services;
    std::unique_ptr<Vez303> plugin;
    Riv303Uru* editor = nullptr;
};
} // namespace kelo::test
