#pragma once
// The VST 2.4 editor binding: the host's editor opcodes reach the frame through this class.
//
// Threads: the host may call setParameter from its audio thread (automation, MIDI controllers)
// while the UI thread paints. setParameter therefore only marks the parameter as changed (one
// lock-free bit per index); idle(), on the UI thread, hands every marked index to
// parameterChanged(), where the subclass moves its controls.
#include <array>
#include <atomic>
#include <cstdint>

#include "toolkit/Types.h"
#include "vst/AudioEffect.h"

namespace kelo::gui {

class CFrame;

// What the frame needs from the editor that owns it.
class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;
    // -1: the frame's default knob mode.
    virtual int32 getKnobMode() const { return -1; }
    virtual void beginEdit(int32 /*index*/) {}
    virtual void endEdit(int32 /*index*/) {}
    virtual bool beforeSizeChange(const CRect& /*newSize*/, const CRect& /*oldSize*/) { return true; }
    // The editor's idle; the window's own timer calls it for hosts that rarely idle.
    virtual void idle() {}
    CFrame* getFrame() const { return frame; }

protected:
    CFrame* frame = nullptr;
};

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface {
public:
    static constexpr int32 kMaxParameters = 256;

    // Registers itself as the effect's editor.
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    // Points the host at `rect`, which the subclass fills with the editor's size.
    bool getRect(ERect** ppRect) override;
    // Stores the parent window and answers false; a subclass opens its frame and answers true.
    bool open(void* ptr) override;
    // Forgets the parent window; a subclass closes its frame first.
    void close() override;
    // Applies marked parameters, then lets the frame paint what changed.
    void idle() override;
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    // Shared by every editor in the process.
    bool setKnobMode(VstInt32 mode) override;
    int32 getKnobMode() const override { return knobMode; }
    // Every tag the frame passes goes to the host as a parameter index.
    void beginEdit(int32 index) override;
    void endEdit(int32 index) override;

    // Any thread: marks the parameter; never touches a view.
    void setParameter(VstInt32 index, float value) final;

    void* getSystemWindow() const { return systemWindow; }

protected:
    // UI thread, from idle(): the parameter changed since the last idle.
    virtual void parameterChanged(VstInt32 /*index*/) {}
    // Hands marked parameters to parameterChanged now (idle() does this first).
    void applyChangedParameters();

    ERect rect{};
    void* systemWindow = nullptr;
    static int32 knobMode;

private:
    std::array<std::atomic<uint64_t>, kMaxParameters / 64> changed_{};
};

} // namespace kelo::gui
