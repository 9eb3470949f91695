#pragma once
// Drives a frame through its event entry points and records what controls report.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/IPlatformFrame.h"

namespace kelo::gui::test {

using Lines = std::vector<std::string>;
using Rects = std::vector<CRect>;

inline std::string fmt(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

// One shared log, so the order between listener, dependents and editor is visible.
struct Log {
    Lines lines;
    void add(std::string s) { lines.push_back(std::move(s)); }
    Lines take() { return std::exchange(lines, {}); }
};

struct Dependent : CBaseObject {
    Dependent(Log& l, std::string n) : log(l), name(std::move(n)) {}
    CMessageResult notify(CBaseObject*, IdStringPtr message) override {
        log.add(name + " " + message);
        return kMessageNotified;
    }
    Log& log;
    std::string name;
};

// A window that records what was invalidated.
struct RecordingFrame : IPlatformFrame {
    explicit RecordingFrame(Rects& out) : invalidated(out) {}
    void invalidRect(const CRect& r) override { invalidated.push_back(r); }
    void pollEvents() override {}
    void presentInvalid() override {}
    void setSize(const CRect&) override {}
    bool getCurrentMousePosition(CPoint&) const override { return false; }
    void setTextInputFocus(bool on) override { textInput = on; }
    void* getNativeHandle() const override { return nullptr; }
    bool isAlive() const override { return true; }
    Rects& invalidated;
    bool textInput = false;
};

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The bracket a control's single edit produces, as the log records it.
inline Lines edit(int tag, const Lines& inside = {}) {
    Lines l{"begin", "editor begin " + std::to_string(tag)};
    l.insert(l.end(), inside.begin(), inside.end());
    l.insert(l.end(), {"editor end " + std::to_string(tag), "end"});
    return l;
}

// A frame opened in a RecordingFrame; the harness is its editor and its controls' listener.
struct Harness : IControlListener, VSTGUIEditorInterface {
    explicit Harness(CCoord w = 200, CCoord h = 200) {
        frame = new CFrame(CRect(0, 0, w, h), this);
        auto pf = std::make_unique<RecordingFrame>(invalidated);
        platformFrame = pf.get();
        frame->open(std::move(pf));
        invalidated.clear();
    }
    ~Harness() override { frame->close(); }

    void valueChanged(CControl* c) override { log.add("value " + fmt(c->getValue())); }
    int32 controlModifierClicked(CControl*, CButtonState) override { return modifierAnswer; }
    void controlBeginEdit(CControl*) override { log.add("begin"); }
    void controlEndEdit(CControl*) override { log.add("end"); }
    int32 getKnobMode() const override { return knobMode; }
    void beginEdit(int32 tag) override { log.add("editor begin " + std::to_string(tag)); }
    void endEdit(int32 tag) override { log.add("editor end " + std::to_string(tag)); }

    template <typename T>
    T* add(T* view) {
        frame->addView(view);
        return view;
    }
    CMouseEventResult down(CCoord x, CCoord y, int32 b = kLButton) {
        return frame->platformOnMouseDown(CPoint(x, y), CButtonState(b));
    }
    CMouseEventResult move(CCoord x, CCoord y, int32 b = kLButton) {
        return frame->platformOnMouseMoved(CPoint(x, y), CButtonState(b));
    }
    CMouseEventResult up(CCoord x, CCoord y, int32 b = kLButton) {
        return frame->platformOnMouseUp(CPoint(x, y), CButtonState(b));
    }
    void click(CCoord x, CCoord y, int32 b = kLButton) {
        down(x, y, b);
        up(x, y, b & ~(kShift | kControl | kAlt));
    }
    void drag(CCoord x0, CCoord y0, CCoord x1, CCoord y1, int32 b = kLButton) {
        down(x0, y0, b);
        move(x1, y1, b);
        up(x1, y1, b);
    }
    bool wheel(CCoord x, CCoord y, float distance, int32 b = 0) {
        return frame->platformOnMouseWheel(CPoint(x, y), kMouseWheelAxisY, distance, CButtonState(b));
    }
    int32 key(unsigned char virt, int32 character = 0, unsigned char modifier = 0) {
        VstKeyCode k{character, virt, modifier};
        return frame->onKeyDown(k);
    }
    int32 keyUp(unsigned char virt) {
        VstKeyCode k{0, virt, 0};
        return frame->onKeyUp(k);
    }

    Log log;
    int32 modifierAnswer = 0;
    int32 knobMode = -1;
    Rects invalidated;
    RecordingFrame* platformFrame = nullptr;
    using VSTGUIEditorInterface::frame;
};

} // namespace kelo::gui::test
