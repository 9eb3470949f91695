#include "TestScene.h"

#include "toolkit/CBitmap.h"
#include "toolkit/controls/CParamDisplay.h"

namespace kelo::gui::test {

bool TestScene::build(CFrame* frame, IControlListener* listener) {
    auto* back = new CBitmap(CResourceDescription("SCENE_BACK"));
    auto* knobStrip = new CBitmap(CResourceDescription("SCENE_KNOB"));
    auto* kickStrip = new CBitmap(CResourceDescription("SCENE_KICK"));
    const bool ok = back->isLoaded() && knobStrip->isLoaded() && kickStrip->isLoaded();
    if (ok) {
        frame->setBackground(back);
        frame->addView(new CAnimKnob(kKnobRect, listener, kKnobTag, knobStrip));
        frame->addView(new CKickButton(kKickRect, listener, kKickTag, kickStrip));

        auto* label = new CTextLabel(CRect(200, 20, 310, 40), "KELO 303");
        label->setTransparency(true);
        label->setHoriAlign(kLeftText);
        frame->addView(label);
        frame->addView(new CTextButton(CRect(200, 60, 300, 84), listener, 10, "Button"));
        auto* check =
            new CCheckBox(CRect(200, 100, 310, 120), listener, 2, "Check", nullptr, CCheckBox::kDrawCrossBox);
        check->setValue(1);
        frame->addView(check);
    }
    back->forget();
    knobStrip->forget();
    kickStrip->forget();
    return ok;
}

std::vector<CRect> TestScene::bitmapRegions() {
    return {kKnobRect, kKickRect, CRect(0, 0, 190, 70), CRect(0, 130, 320, 200), CRect(90, 75, 115, 125)};
}

TestSceneEffect::TestSceneEffect(audioMasterCallback master) : AudioEffectX(master, 1, kParams) {
    setUniqueID(vstFourCC('K', 'T', 'S', 'C'));
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing();
    for (auto& p : params_) p.store(0.0f);
    new TestSceneEditor(this); // registers itself
}

void TestSceneEffect::processReplacing(float**, float** outputs, VstInt32 frames) {
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i) outputs[c][i] = 0.0f;
}

void TestSceneEffect::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kParams) return;
    params_[size_t(index)].store(value, std::memory_order_relaxed);
    if (editor) editor->setParameter(index, value);
}

float TestSceneEffect::getParameter(VstInt32 index) const {
    return index >= 0 && index < kParams ? params_[size_t(index)].load(std::memory_order_relaxed) : 0.0f;
}

TestSceneEditor::TestSceneEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
    rect = ERect{0, 0, static_cast<VstInt16>(TestScene::kHeight), static_cast<VstInt16>(TestScene::kWidth)};
}

bool TestSceneEditor::open(void* parent) {
    AEffGUIEditor::open(parent);
    frame = new CFrame(CRect(0, 0, TestScene::kWidth, TestScene::kHeight), this);
    const bool opened = parent ? frame->open(parent) : frame->openOffscreen();
    if (!opened || !TestScene::build(frame, this)) {
        frame->close();
        frame = nullptr;
        return false;
    }
    for (VstInt32 i = 0; i < TestSceneEffect::kParams; ++i) parameterChanged(i);
    return true;
}

void TestSceneEditor::close() {
    if (frame) frame->close();
    frame = nullptr;
    AEffGUIEditor::close();
}

void TestSceneEditor::valueChanged(CControl* control) {
    const int32 tag = control->getTag();
    if (tag >= 0 && tag < TestSceneEffect::kParams) effect_->setParameterAutomated(tag, control->getValue());
}

void TestSceneEditor::parameterChanged(VstInt32 index) {
    if (!frame) return;
    for (CView* v : frame->children())
        if (auto* c = dynamic_cast<CControl*>(v); c && c->getTag() == index)
            c->setValue(effect_->getParameter(index));
}

} // namespace kelo::gui::test
