// Views, containers and the frame; the control base; the editor binding.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "Harness.h"
#include "toolkit/controls/CKnob.h"
#include "toolkit/controls/CRockerSwitch.h"
#include "tests/support/FakeServices.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

namespace {

// Reports presses in the coordinates it gets.
struct Probe : CControl {
    Probe(const CRect& r, Harness& h, std::string n) : CControl(r, &h, 7), log_(h.log), name_(std::move(n)) {}
    CMouseEventResult onMouseDown(CPoint& p, const CButtonState&) override {
        log_.add(name_ + " down " + fmt(p.x) + "," + fmt(p.y));
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint&, const CButtonState&) override { return kMouseEventHandled; }
    Log& log_;
    std::string name_;
};

struct IdleCounter : CView {
    IdleCounter() : CView(CRect(0, 0, 1, 1)) {}
    void onIdle() override { ++count; }
    int count = 0;
};

} // namespace

TEST(ToolkitViews, PressesFollowMouseAreaStackingAndTransparency) {
    Harness h;
    auto* below = h.add(new Probe(CRect(10, 10, 50, 50), h, "below"));
    below->setViewSize(CRect(100, 100, 140, 140)); // the mouse area stays where it was
    h.click(120, 120);
    h.click(20, 20);
    EXPECT_EQ(h.log.take(), (Lines{"below down 20,20"}));
    below->setViewSize(CRect(10, 10, 50, 50));
    // A view that ignores the mouse keeps presses from the views under it until it is transparent.
    auto* cover = h.add(new CView(CRect(0, 0, 60, 60)));
    h.click(20, 20);
    EXPECT_TRUE(h.log.take().empty());
    cover->setTransparency(true);
    h.click(20, 20);
    below->setMouseEnabled(false);
    h.click(20, 20);
    below->setMouseEnabled(true);
    EXPECT_EQ(h.log.take(), (Lines{"below down 20,20"}));
    // Hidden views take no presses; a container hands its children local coordinates.
    cover->setVisible(false);
    auto* box = h.add(new CViewContainer(CRect(100, 100, 180, 180)));
    box->addView(new Probe(CRect(10, 10, 30, 30), h, "inner"));
    h.click(115, 115);
    EXPECT_EQ(h.log.take(), (Lines{"inner down 15,15"}));
    // A listener that takes modifier clicks keeps them from the control, and only them.
    h.modifierAnswer = 1;
    h.click(20, 20, kLButton | kControl);
    h.click(20, 20);
    h.modifierAnswer = 0;
    h.click(20, 20, kLButton | kControl);
    EXPECT_EQ(h.log.take(), (Lines{"below down 20,20", "below down 20,20"}));
}

TEST(ToolkitViews, DirtyViewsPaintOnlyFromIdle) {
    Harness h;
    auto* knob = h.add(new CKnob(CRect(10, 10, 50, 50), &h, 1, nullptr, nullptr));
    auto* box = h.add(new CViewContainer(CRect(100, 100, 200, 200)));
    auto* inner = new CKnob(CRect(10, 20, 30, 40), nullptr, 2, nullptr, nullptr);
    box->addView(inner);
    auto* hidden = h.add(new CKnob(CRect(60, 60, 70, 70), nullptr, 3, nullptr, nullptr));
    hidden->setVisible(false);
    auto* plain = h.add(new CView(CRect(80, 0, 90, 10)));
    h.frame->idle();
    EXPECT_EQ(h.frame->getNbReference(), 1); // idle holds the frame only while it runs
    h.invalidated.clear();
    knob->setValue(0.3f);
    for (CView* v : {static_cast<CView*>(inner), static_cast<CView*>(hidden), plain}) v->setDirty();
    EXPECT_TRUE(h.invalidated.empty());
    h.frame->idle();
    // Exactly the dirty views, in frame coordinates; the hidden one stays out.
    EXPECT_EQ(h.invalidated, (Rects{CRect(10, 10, 50, 50), CRect(110, 120, 130, 140), CRect(80, 0, 90, 10)}));
    h.invalidated.clear();
    h.frame->idle();
    h.frame->setDirty(); // the whole frame, once
    h.frame->idle();
    h.frame->idle();
    EXPECT_EQ(h.invalidated, (Rects{CRect(0, 0, 200, 200)}));
    h.invalidated.clear();
    // A moved view repaints where it was and where it is; removed views where they were.
    knob->setViewSize(CRect(20, 10, 60, 50));
    h.frame->idle();
    box->removeAll();
    EXPECT_EQ(h.invalidated, (Rects{CRect(10, 10, 50, 50), CRect(20, 10, 60, 50), CRect(110, 120, 130, 140)}));
    h.frame->setViewSize(CRect(5, 5, 105, 65)); // the frame stays at its own origin
    EXPECT_EQ(h.frame->getViewSize(), CRect(0, 0, 100, 60));
    // Idle views tick once per 1000 / 30 ms from the frame's idle, counted from the last tick.
    kelo::test::FakeServices services;
    auto* ticks = h.add(new IdleCounter);
    ticks->setWantsIdle(true);
    for (auto [step, count] : {std::pair{32, 0}, {1, 1}, {0, 1}, {33, 2}}) {
        services.now += step;
        h.frame->idle();
        EXPECT_EQ(ticks->count, count) << services.now;
    }
}

TEST(ToolkitViews, FocusWheelAndRemovalWhileInUse) {
    Harness h;
    auto* box = h.add(new CViewContainer(CRect(100, 100, 200, 200)));
    h.knobMode = kLinearMode;
    auto* a = h.add(new CKnob(CRect(60, 0, 80, 20), &h, 1, nullptr, nullptr));
    // b sits in a container: keys it leaves unanswered climb through its parent to the frame.
    auto* b = new CKnob(CRect(60, 30, 80, 50), &h, 2, nullptr, nullptr);
    box->addView(b);
    a->setValue(0.5f);
    h.down(70, 10);
    EXPECT_FALSE(h.wheel(70, 10, 1)); // ignored while dragging
    h.up(70, 10);
    EXPECT_TRUE(h.wheel(70, 10, -1));
    h.wheel(70, 10, 1, kShift); // fine: a tenth of a step
    EXPECT_FLOAT_EQ(a->getValue(), 0.41f);
    EXPECT_EQ(h.key(VKEY_TAB), 1); // Tab walks the views that take the focus
    EXPECT_EQ(h.frame->getFocusView(), b);
    // A drag goes on when another view goes away, and ends with the dragged one.
    a->setValue(0);
    h.down(70, 10);
    box->removeView(b);
    h.move(70, 0);
    EXPECT_FLOAT_EQ(a->getValue(), 0.05f);
    h.log.take();
    h.frame->removeView(a); // cancels the drag: the host's edit is closed
    EXPECT_EQ(h.log.take(), (Lines{"editor end 1", "end"}));
    EXPECT_EQ(h.frame->getFocusView(), nullptr);
    EXPECT_EQ(h.move(70, -20), kMouseEventNotHandled);
    h.up(70, -20);
    EXPECT_EQ(h.key(VKEY_UP), -1);
}

TEST(ToolkitControl, DependentsEditBracketsDefaultGestureAndReferences) {
    Harness h;
    Dependent a(h.log, "a"), dep(h.log, "dep");
    auto* c = h.add(new CControl(CRect(0, 0, 10, 10), &h, 5));
    c->addDependency(&a);
    c->addDependency(&dep);
    c->setValue(2.0f); // clamped; dependents only, in order, never the listener
    EXPECT_EQ(c->getValue(), 1.0f);
    c->setValue(1.0f);
    c->deferChanges(true); // nested deferrals merge into one message at the outermost end
    c->setValue(0.5f);
    c->setValue(0.75f);
    c->deferChanges(true);
    c->deferChanges(false);
    c->removeDependency(&a);
    c->deferChanges(false);
    EXPECT_EQ(h.log.take(),
              (Lines{"a kMessageValueChanged", "dep kMessageValueChanged", "dep kMessageValueChanged"}));
    c->beginEdit();
    c->beginEdit();
    c->endEdit();
    c->endEdit();
    c->endEdit(); // unbalanced: ignored
    // The editor hears the end first, as it heard the beginning last.
    EXPECT_EQ(h.log.take(), (Lines{"begin", "dep kMessageBeginEdit", "editor begin 5", "editor end 5", "end",
                                   "dep kMessageEndEdit"}));
    c->setValue(0.5f);
    EXPECT_TRUE(c->checkDefaultValue(CButtonState(kLButton | kControl))); // already default: consumed, silent
    EXPECT_FALSE(c->checkDefaultValue(CButtonState(kLButton | kControl | kShift)));
    EXPECT_FALSE(c->checkDefaultValue(CButtonState(kRButton | kControl)));
    c->setValue(0.0f);
    h.log.take();
    EXPECT_TRUE(c->checkDefaultValue(CButtonState(kLButton | kControl | kDoubleClick)));
    EXPECT_EQ(h.log.take(), (Lines{"begin", "dep kMessageBeginEdit", "editor begin 5", "dep kMessageValueChanged",
                                   "value 0.5", "dep kMessageValueChanged", "editor end 5", "end",
                                   "dep kMessageEndEdit"}));
    c->setValue(0.8f);
    c->setMax(0.5f); // the value follows the limits silently
    EXPECT_EQ(c->getValue(), 0.5f);
    c->setMin(0.6f);
    EXPECT_EQ(c->getValue(), 0.6f);
    EXPECT_EQ(h.log.take(), (Lines{"dep kMessageValueChanged"}));
    c->removeDependency(&dep);
    CViewContainer box(CRect(0, 0, 100, 100));
    c->remember();
    h.frame->removeView(c, false);
    box.addView(c);
    EXPECT_FALSE(box.addView(c)); // once only
    box.removeView(c); // forgets one reference
    EXPECT_EQ(c->getNbReference(), 1);
    c->forget();
}

namespace {

std::vector<VstInt32> hostCalls;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit)
        hostCalls.insert(hostCalls.end(), {opcode, index});
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Effect : AudioEffectX {
    Effect() : AudioEffectX(recordingHost, 1, 4) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override {
        if (editor) editor->setParameter(index, value);
    }
};

struct KnobEditor : AEffGUIEditor {
    explicit KnobEditor(AudioEffect* e) : AEffGUIEditor(e) { rect = ERect{0, 0, 100, 120}; }
    bool open(void* parent) override {
        AEffGUIEditor::open(parent);
        frame = new CFrame(CRect(0, 0, 120, 100), this);
        knob = new CKnob(CRect(10, 10, 50, 50), nullptr, 3, nullptr, nullptr);
        frame->addView(knob);
        return frame->open(std::make_unique<RecordingFrame>(invalidated));
    }
    void close() override {
        frame->close();
        frame = nullptr;
        AEffGUIEditor::close();
    }
    void parameterChanged(VstInt32 index) override { applied.push_back(index); }
    Rects invalidated;
    std::vector<VstInt32> applied;
    CKnob* knob = nullptr;
};

} // namespace

TEST(ToolkitEditor, OpcodesReachTheFrameAndTheHost) {
    hostCalls.clear();
    auto* effect = new Effect;
    auto* editor = new KnobEditor(effect); // registers itself with the effect
    AEffect* e = effect->getAeffect();
    ERect* r = nullptr;
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &r, 0), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 120);
    int parent = 0;
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, &parent, 0), 1);
    // The knob mode is one for the whole process.
    auto* other = new Effect;
    auto* second = new KnobEditor(other);
    EXPECT_EQ(e->dispatcher(e, effSetEditKnobMode, 0, kLinearMode, nullptr, 0), 1);
    EXPECT_EQ(second->getKnobMode(), kLinearMode);
    EXPECT_FALSE(second->AEffGUIEditor::open(&parent)); // the base only remembers the window
    EXPECT_EQ(second->getSystemWindow(), &parent);
    EXPECT_EQ(CFrame(CRect(0, 0, 1, 1), nullptr).getKnobMode(), kCircularMode);
    CFrame(CRect(0, 0, 1, 1), nullptr).idle(); // no window: nothing to do
    EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 0, VKEY_UP, nullptr, 0), 0); // no focus: the host keeps its key
    // A drag brackets the edit with the tag as the parameter index.
    CFrame* frame = editor->getFrame();
    frame->platformOnMouseDown(CPoint(30, 30), CButtonState(kLButton));
    frame->platformOnMouseMoved(CPoint(30, 20), CButtonState(kLButton));
    frame->platformOnMouseUp(CPoint(30, 20), CButtonState(kLButton));
    EXPECT_EQ(hostCalls, (std::vector<VstInt32>{audioMasterBeginEdit, 3, audioMasterEndEdit, 3}));
    EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 0, VKEY_UP, nullptr, 0), 1); // the clicked knob has the focus
    EXPECT_FLOAT_EQ(editor->knob->getValue(), 0.15f);
    auto* rocker = new CRockerSwitch(CRect(60, 10, 100, 30), nullptr, 4, nullptr);
    frame->addView(rocker);
    frame->setFocusView(rocker); // it answers key releases too
    EXPECT_EQ(e->dispatcher(e, effEditKeyUp, 0, VKEY_LEFT, nullptr, 0), 1);
    EXPECT_FALSE(editor->getRect(nullptr));
    // Parameter changes from the audio thread are applied in idle, running meanwhile, each mark once.
    e->setParameter(e, 1, 0.5f);
    EXPECT_TRUE(editor->applied.empty());
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i < 3000; ++i) e->setParameter(e, i % 3, 0.5f);
        e->setParameter(e, AEffGUIEditor::kMaxParameters, 0.5f); // out of range: ignored
        e->setParameter(e, 200, 0.5f);
        done = true;
    });
    while (!done) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
    audio.join();
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(std::set(editor->applied.begin(), editor->applied.end()), (std::set<VstInt32>{0, 1, 2, 200}));
    editor->applied.clear();
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
    EXPECT_TRUE(editor->applied.empty());
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(editor->getFrame(), nullptr);
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0); // closed: nothing to do, nothing breaks
    e->dispatcher(e, effClose, 0, 0, nullptr, 0);   // deletes the effect and its editor
    second->setKnobMode(kCircularMode);
    delete other; // and its editor
}
