#pragma once
// The preferences panel and the analyzer window in the real editor on the real plug-in core,
// offscreen: clicks and drags through the frame's entry points, at positions inside a panel;
// the MIDI the instance sends is recorded.
#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "editor/Riv303Uru.h"
#include "tests/editor/EditorFixture.h"
#include "toolkit/CViewContainer.h"

namespace kelo::test {

// MIDI messages the instance handed to the host, three bytes each.
inline std::vector<std::array<int, 3>>& midiSent() {
    static std::vector<std::array<int, 3>> sent;
    return sent;
}

inline VstIntPtr VSTCALLBACK midiRecordingHost(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                               float opt) {
    if (opcode == audioMasterProcessEvents && ptr) {
        const auto* events = static_cast<const VstEvents*>(ptr);
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            if (m && m->type == kVstMidiType)
                midiSent().push_back({m->midiData[0] & 0xff, m->midiData[1] & 0xff, m->midiData[2] & 0xff});
        }
        return 1;
    }
    return recordingHost(e, opcode, index, value, ptr, opt);
}

class Panels : public EditorOnPlugin {
protected:
    void SetUp() override {
        EditorOnPlugin::SetUp();
        midiSent().clear();
    }

    // As EditorOnPlugin::start, with the host that records MIDI.
    void start() {
        namespace fs = std::filesystem;
        const fs::path from = fs::path(KELO_SOURCE_DIR) / "tests" / "data" / "skins";
        fs::create_directories(home.dataFolder() / kTestSkin);
        fs::copy_file(from / "EveryTag.skn", home.dataFolder() / "EveryTag.skn");
        fs::copy(from / kTestSkin, home.dataFolder() / kTestSkin);
        for (const auto& [name, text] : files) home.write(name, text);
        plugin = std::make_unique<Vez303>(&midiRecordingHost, &createEditor);
        plugin->setSampleRate(44100.0f);
        plugin->resume();
        editor = static_cast<Riv303Uru*>(plugin->getEditor());
        ASSERT_NE(editor, nullptr);
        ASSERT_TRUE(editor->openOffscreen());
        idle();
    }

    // Frame coordinates of a point given in a panel's own coordinates.
    static gui::CPoint at(const gui::CViewContainer* panel, double x, double y) {
        return gui::CPoint(panel->getViewSize().left + x, panel->getViewSize().top + y);
    }
    // The middle of a control of a panel, in frame coordinates.
    static gui::CPoint middle(const gui::CViewContainer* panel, const gui::CControl* c) {
        const gui::CPoint m = c->getViewSize().getCenter();
        return at(panel, m.x, m.y);
    }
    void clickAt(gui::CPoint p, int32_t buttons = gui::kLButton) {
        down(p, buttons);
        up(p, buttons);
        idle();
    }
    // A vertical drag of a control of a panel by dy pixels (up is negative).
    void dragBy(const gui::CViewContainer* panel, const gui::CControl* c, double dy) {
        const gui::CPoint from = middle(panel, c);
        down(from);
        move(gui::CPoint(from.x, from.y + dy / 2));
        move(gui::CPoint(from.x, from.y + dy));
        up(gui::CPoint(from.x, from.y + dy));
        idle();
    }
    // Everything repainted, then the pixel at p (frame coordinates).
    uint32_t paintedAt(gui::CPoint p) {
        frame()->invalid();
        idle();
        return pixel(p);
    }

    std::string readData(const std::string& name) {
        std::ifstream in(home.dataFolder() / name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

} // namespace kelo::test
