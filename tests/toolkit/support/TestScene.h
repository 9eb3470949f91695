#pragma once
// The test editor's scene: bitmaps (background, an animated knob, a kick button), text and vector
// drawing. The GUI test plug-in shows it, the render tool draws it, backends are compared on it.
#include <array>
#include <atomic>
#include <vector>

#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CFrame.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CKnob.h"

namespace kelo::gui::test {

struct TestScene {
    static constexpr CCoord kWidth = 320;
    static constexpr CCoord kHeight = 200;
    static constexpr int32 kKnobTag = 0;
    static constexpr int32 kKickTag = 1;

    // Adds the views to an empty frame of kWidth x kHeight; false when a resource is missing.
    static bool build(CFrame* frame, IControlListener* listener);

    // Regions drawn from bitmaps only (frame coordinates): equal on every backend and in a
    // screenshot, pixel for pixel, while the knob and the kick button are untouched.
    static std::vector<CRect> bitmapRegions();

    static constexpr CRect kKnobRect{40, 80, 80, 120};
    static constexpr CRect kKickRect{120, 90, 180, 110};
};

// The scene as a plug-in: parameter 0 is the knob, 1 the kick button. Values are atomics: the host
// may set them from its audio thread.
class TestSceneEffect : public AudioEffectX {
public:
    static constexpr VstInt32 kParams = 2;
    explicit TestSceneEffect(audioMasterCallback master);
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) const override;

private:
    std::array<std::atomic<float>, kParams> params_{};
};

class TestSceneEditor : public AEffGUIEditor, public IControlListener {
public:
    explicit TestSceneEditor(AudioEffect* effect);
    // A null parent opens offscreen (tests, benchmarks).
    bool open(void* parent) override;
    void close() override;
    void valueChanged(CControl* control) override;

protected:
    void parameterChanged(VstInt32 index) override;
};

} // namespace kelo::gui::test
