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
        hostCallback = &midiRecordingHost;
        resumed = true;
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
