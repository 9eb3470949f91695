#pragma once
// A small pop-up of a few text lines (a learn label, a knob's name and value) that the editor
// fills, places at an anchor, shows and hides. It takes no mouse input, so clicks reach the
// control beneath.
//
// The view's background bitmap is an animated backdrop strip: the value is the animation's
// position in pixels (nextFrame / previousFrame step it).
#include <array>
#include <string>
#include <string_view>

#include "toolkit/CControl.h"

namespace kelo {

class CFloatingDisplay : public gui::CControl {
public:
    static constexpr int32_t kMaxLines = 16;
    static constexpr size_t kMaxTextLength = 255;

    CFloatingDisplay(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, gui::CBitmap* backdrop,
                     const gui::CPoint& backdropOffset = gui::CPoint(0, 0));
    ~CFloatingDisplay() override;

    void draw(gui::CDrawContext* context) override;
    bool sizeToFit() override { return fitToText(); }

    // 6 pixels per character of the longest shown line (at least 40) wide and 13 high,
    // centred horizontally on the anchor: the view's left/top, or the anchor of the last fit
    // while the view has not been moved since, so refitting never drifts.
    virtual bool fitToText();
    virtual void show();
    virtual void hide();
    bool isShown() const { return shown_; }
    // Backdrop animation: +step, back to 0 past span - step; -step, to span - step - 1 below 0.
    virtual void nextFrame();
    virtual void previousFrame();

    // Texts are cut at 255 bytes; indices outside 0..15 are ignored.
    void setLine(int32_t index, std::string_view text);
    const std::string& getLine(int32_t index) const;
    // Lines drawn and measured, held to 0..16.
    void setLineCount(int32_t count);
    int32_t getLineCount() const { return lineCount_; }

    // Red frame instead of white.
    void setHighlight(bool state);
    bool isHighlighted() const { return highlight_; }
    // 0..255.
    void setBackdropOpacity(int32_t opacity);
    int32_t getBackdropOpacity() const { return backdropOpacity_; }
    // Drawn over the backdrop at its own size; remembered.
    void setOverlay(gui::CBitmap* overlay);
    void setStep(int32_t pixels) { step_ = pixels; }
    void setSpan(int32_t pixels) { span_ = pixels; }
    int32_t getStep() const { return step_; }
    int32_t getSpan() const { return span_; }

    bool wasDrawn() const { return drawn_; }
    int32_t getLastTextWidth() const { return lastTextWidth_; }

private:
    gui::CPoint backdropOffset_;
    gui::CBitmap* overlay_ = nullptr; // remembered
    int32_t lineCount_ = 2;
    int32_t lastTextWidth_ = 0;
    int32_t step_ = 24;
    int32_t span_ = 24;
    int32_t backdropOpacity_ = 180;
    bool shown_ = false;
    bool drawn_ = false;
    bool highlight_ = false;
    std::array<std::string, kMaxLines> lines_;
    // Where the last fitToText put the view, and the anchor it used.
    gui::CRect fitted_;
    gui::CPoint anchor_;
    bool hasFit_ = false;
};

} // namespace kelo
