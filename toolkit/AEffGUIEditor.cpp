#include "toolkit/AEffGUIEditor.h"

#include <bit>

#include "toolkit/CFrame.h"

namespace kelo::gui {

int32 AEffGUIEditor::knobMode = kCircularMode;

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
    if (effect) effect->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor() = default;

bool AEffGUIEditor::getRect(ERect** ppRect) {
    if (!ppRect) return false;
    *ppRect = &rect;
    return true;
}

bool AEffGUIEditor::open(void* ptr) {
    systemWindow = ptr;
    return false;
}

void AEffGUIEditor::close() { systemWindow = nullptr; }

void AEffGUIEditor::idle() {
    if (!frame) return;
    applyChangedParameters();
    if (frame) frame->idle();
}

void AEffGUIEditor::applyChangedParameters() {
    for (size_t word = 0; word < changed_.size(); ++word) {
        uint64_t bits = changed_[word].exchange(0, std::memory_order_acquire);
        while (bits) {
            const int bit = std::countr_zero(bits);
            bits &= bits - 1;
            parameterChanged(static_cast<VstInt32>(word * 64 + static_cast<size_t>(bit)));
        }
    }
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& key) { return frame && frame->onKeyDown(key) > 0; }
bool AEffGUIEditor::onKeyUp(VstKeyCode& key) { return frame && frame->onKeyUp(key) > 0; }

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    knobMode = mode;
    return true;
}

void AEffGUIEditor::beginEdit(int32 index) {
    if (effect_) effect_->beginEdit(index);
}

void AEffGUIEditor::endEdit(int32 index) {
    if (effect_) effect_->endEdit(index);
}

void AEffGUIEditor::setParameter(VstInt32 index, float /*value*/) {
    if (index < 0 || index >= kMaxParameters) return;
    const auto i = static_cast<size_t>(index);
    changed_[i / 64].fetch_or(uint64_t(1) << (i % 64), std::memory_order_release);
}

} // namespace kelo::gui
