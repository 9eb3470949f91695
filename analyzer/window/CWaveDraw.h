#pragma once
// The analyzer's waveform view: the loaded recording as one peak per pixel column, a line at
// every step boundary and the preview's play position. A press or drag with either button
// paints step flags of the pattern it is given (the left button paints the opposite of the
// flag first pressed, the right button clears); each change is reported to the listener as a
// value change, with editedStep() naming the step, and the listener carries it to the
// instance.
#include <array>
#include <cstdint>

#include "toolkit/CControl.h"

namespace kelo {

struct Pattern;
struct WaveBuffer;

class CWaveDraw : public gui::CControl {
public:
    static constexpr int32_t kTag = 12346;
    // Peaks are cached per pixel column, so the view draws at most this many columns.
    static constexpr int32_t kMaxColumns = 1024;
    static constexpr float kRowHeight = 14.0f;
    // Flag rows, top to bottom, below the note lane.
    static constexpr int kFlagRows = 5;

    enum DragMode : int32_t { kNoDrag = 0, kNoteLane = 1, kFlagRowsDrag = 2 };

    CWaveDraw(const gui::CRect& size, gui::IControlListener* listener);

    // The recording shown (not owned; null for none). The peaks are recomputed at the next draw.
    void setBuffer(const WaveBuffer* buffer);
    const WaveBuffer* getBuffer() const { return buffer_; }
    void setFramesShown(int32_t frames);
    int32_t getFramesShown() const { return framesShown_; }
    // Number of step columns (held to at least 1).
    void setSteps(float steps);
    float getSteps() const { return steps_; }
    float getColumnWidth() const { return columnWidth_; }

    // The pattern clicks edit (not owned; null: clicks do nothing). Only its first
    // stepCount steps take edits.
    void setPattern(Pattern* pattern) { pattern_ = pattern; }
    Pattern* getPattern() const { return pattern_; }
    // The step the latest reported change edited, and the flag it set or cleared (0: its note).
    int32_t editedStep() const { return editedStep_; }
    uint8_t editedMask() const { return editedMask_; }
    DragMode dragMode() const { return dragMode_; }

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseCancel() override;
    // While the view wants idle calls: redraws when the play position moved.
    void onIdle() override;

private:
    int32_t width() const;
    int32_t height() const;
    void computePeaks(int32_t w, int32_t h);
    // The step column and flag row under a point in the view's parent coordinates; -1 when
    // the point names none of the pattern's steps or flags.
    int32_t stepAt(const gui::CPoint& where) const;
    void paintAt(const gui::CPoint& where);

    const WaveBuffer* buffer_ = nullptr;
    int32_t firstFrame_ = 0;
    int32_t framesShown_ = 1024;
    float steps_ = 16.0f;
    float columnWidth_ = 0.0f;
    std::array<int16_t, kMaxColumns> peaks_{};
    bool peaksStale_ = true;
    int32_t drawnPosition_ = -1;

    Pattern* pattern_ = nullptr;
    uint8_t paintValue_ = 0;
    DragMode dragMode_ = kNoDrag;
    int32_t editedStep_ = -1;
    uint8_t editedMask_ = 0;
};

} // namespace kelo
