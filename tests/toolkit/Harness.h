#pragma once
// Drives a frame through its event entry points and records what controls report.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/IPlatformFrame.h"

namespace kelo::gui::test {

inline std::string fmt(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", double(v));
    return b;
}

// One shared log, so the order between listener, dependents and editor is visible.
struct Log {
    std::vector<std::string> lines;
    void add(std::string s) { lines.push_back(std::move(s)); }
    void clear() { lines.clear(); }
    std::vector<std::string> take() {
        auto r = std::move(lines);
        lines.clear();
        return r;
    }
};

struct Listener : IControlListener {
    explicit Listener(Log& l) : log(l) {}
    void valueChanged(CControl* c) override { log.add("value " + fmt(c->getValue())); }
    int32 controlModifierClicked(CControl*, CButtonState) override { return modifierAnswer; }
    void controlBeginEdit(CControl*) override { log.add("begin"); }
    void controlEndEdit(CControl*) override { log.add("end"); }
    Log& log;
    int32 modifierAnswer = 0;
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

struct Editor : VSTGUIEditorInterface {
    explicit Editor(Log& l) : log(l) {}
    int32 getKnobMode() const override { return knobMode; }
    void beginEdit(int32 tag) override { log.add("editor begin " + std::to_string(tag)); }
    void endEdit(int32 tag) override { log.add("editor end " + std::to_string(tag)); }
    Log& log;
    int32 knobMode = -1;
};

// A window that only records what was invalidated.
struct RecordingFrame : IPlatformFrame {
    explicit RecordingFrame(std::vector<CRect>& out) : invalidated(out) {}
    void invalidRect(const CRect& r) override { invalidated.push_back(r); }
    void pollEvents() override {}
    void presentInvalid() override {}
    void setSize(const CRect&) override {}
    bool getCurrentMousePosition(CPoint&) const override { return false; }
    void setTextInputFocus(bool on) override { textInput = on; }
    void* getNativeHandle() const override { return nullptr; }
    bool isAlive() const override { return true; }
    std::vector<CRect>& invalidated;
    bool textInput = false;
};

// A frame of the given size with an editor, opened in a RecordingFrame.
struct Harness {
    explicit Harness(CCoord w = 200, CCoord h = 200) : listener(log), editor(log) {
        frame = new CFrame(CRect(0, 0, w, h), &editor);
        auto pf = std::make_unique<RecordingFrame>(invalidated);
        platformFrame = pf.get();
        frame->open(std::move(pf));
        invalidated.clear();
    }
    ~Harness() { frame->close(); }

    template <typename T>
    T* add(T* view) {
        frame->addView(view);
        return view;
    }

    CMouseEventResult down(CCoord x, CCoord y, int32 buttons = kLButton) {
        return frame->platformOnMouseDown(CPoint(x, y), CButtonState(buttons));
    }
    CMouseEventResult move(CCoord x, CCoord y, int32 buttons = kLButton) {
        return frame->platformOnMouseMoved(CPoint(x, y), CButtonState(buttons));
    }
    CMouseEventResult up(CCoord x, CCoord y, int32 buttons = kLButton) {
        return frame->platformOnMouseUp(CPoint(x, y), CButtonState(buttons));
    }
    void click(CCoord x, CCoord y, int32 buttons = kLButton) {
        down(x, y, buttons);
        up(x, y, buttons & ~(kShift | kControl | kAlt));
    }
    bool wheel(CCoord x, CCoord y, float distance, int32 buttons = 0) {
        return frame->platformOnMouseWheel(CPoint(x, y), kMouseWheelAxisY, distance, CButtonState(buttons));
    }
    int32 key(unsigned char virt, int32 character = 0, unsigned char modifier = 0) {
        VstKeyCode k{character, virt, modifier};
        return frame->onKeyDown(k);
    }
    int32 keyUp(unsigned char virt, int32 character = 0, unsigned char modifier = 0) {
        VstKeyCode k{character, virt, modifier};
        return frame->onKeyUp(k);
    }

    Log log;
    Listener listener;
    Editor editor;
    std::vector<CRect> invalidated;
    RecordingFrame* platformFrame = nullptr;
    CFrame* frame = nullptr;
};

using Lines = std::vector<std::string>;

} // namespace kelo::gui::test
