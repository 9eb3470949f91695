#include "analyzer/window/CWaveDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analyzer/WaveBuffer.h"
#include "sequencer/Pattern.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFontDesc.h"

namespace kelo {

using namespace gui;

namespace {

constexpr uint8_t kRowFlags[CWaveDraw::kFlagRows] = {StepGate, StepUp, StepDown, StepAccent, StepSlide};
// Notes the lane may write: two octaves above the base C, as detection writes them.
constexpr int kHighestLaneNote = 23;

const CColor kBackground(32, 32, 32, 255);
const CColor kCentreLine(128, 128, 128, 255);
const CColor kPeaks(140, 140, 140, 255);
const CColor kStepLine(255, 255, 255, 200);
const CColor kPosition(255, 100, 0, 255);

} // namespace

CWaveDraw::CWaveDraw(const CRect& size, IControlListener* listener) : CControl(size, listener, kTag) {
    setSteps(16.0f);
}

int32_t CWaveDraw::width() const { return std::clamp(int32_t(getWidth()), 0, kMaxColumns); }

int32_t CWaveDraw::height() const { return std::max(int32_t(getHeight()), 0); }

void CWaveDraw::setBuffer(const WaveBuffer* buffer) {
    buffer_ = buffer;
    peaksStale_ = true;
    drawnPosition_ = -1;
    setDirty();
}

void CWaveDraw::setFramesShown(int32_t frames) {
    if (frames == framesShown_) return;
    framesShown_ = std::max(frames, 0);
    peaksStale_ = true;
    setDirty();
}

void CWaveDraw::setSteps(float steps) {
    if (!(steps >= 1.0f)) steps = 1.0f;
    const float w = float(getWidth());
    const float columnWidth = (w * 0.0625f) / (steps * 0.0625f);
    if (steps == steps_ && columnWidth == columnWidth_) return;
    steps_ = steps;
    columnWidth_ = columnWidth;
    setDirty();
}

void CWaveDraw::computePeaks(int32_t w, int32_t h) {
    const int64_t n = buffer_->frames();
    const float* samples = buffer_->samples.data();
    const double shown = double(framesShown_);
    const auto span = int64_t(std::ceil(shown / w));
    for (int32_t c = 0; c < w; ++c) {
        const auto first = int64_t(double(c) / w * shown + firstFrame_);
        // The last columns take what is left of the recording; columns past it stay flat.
        const int64_t count = std::min(span, n - first);
        int16_t high = 0;
        if (first >= 0 && count > 0) {
            const auto [lo, hi] = std::minmax_element(samples + first, samples + first + count);
            const auto low = int32_t(*lo * float(h) * 0.5f);
            int32_t top = int32_t(*hi * float(h) * 0.5f);
            if (low == top) ++top;
            high = int16_t(std::clamp(top, -h, h));
        }
        peaks_[size_t(c)] = high;
    }
    peaksStale_ = false;
}

void CWaveDraw::draw(CDrawContext* context) {
    const CRect& r = getViewSize();
    const auto left = CCoord(std::floor(r.left));
    const auto top = CCoord(std::floor(r.top));
    const int32_t w = width();
    const int32_t h = height();

    context->setDrawMode(kAliasing);
    context->setLineWidth(1);
    context->setFont(kNormalFontVeryBig);
    context->setFillColor(kBackground);
    context->drawRect(r, kDrawFilled);

    const int32_t frames = buffer_ ? buffer_->frames() : 0;
    if (frames == 0 || w == 0) {
        static constexpr const char* kText = "No wave loaded";
        const CCoord textWidth = context->getStringWidth(kText);
        const CCoord x = left + w / 2 - textWidth / 2;
        const CCoord y = top + h / 2 - 6;
        context->setFontColor(kWhiteCColor);
        context->drawString(kText, CRect(x, y, x + textWidth, y + 12), kLeftText);
        setDirty(false);
        return;
    }

    if (peaksStale_) computePeaks(w, h);
    const CCoord centre = top + h / 2;
    context->setFrameColor(kCentreLine);
    context->drawLine(CPoint(left, centre), CPoint(left + w, centre));
    context->setFrameColor(kPeaks);
    for (int32_t c = 0; c + 1 < w; ++c) {
        const int32_t peak = std::abs(int32_t(peaks_[size_t(c)]));
        if (peak > 0) context->drawLine(CPoint(left + c, centre - peak), CPoint(left + c, centre + peak));
    }

    context->setFrameColor(kStepLine);
    for (int32_t k = 0; k < w; ++k) {
        const double x = std::floor(double(k) * double(columnWidth_));
        if (x >= w) break;
        context->drawLine(CPoint(left + x, top), CPoint(left + x, top + h));
    }

    const int32_t position = std::clamp(buffer_->playPosition.load(std::memory_order_relaxed), 0, frames);
    drawnPosition_ = int32_t(double(position) / double(frames) * w);
    context->setFrameColor(kPosition);
    context->drawLine(CPoint(left + drawnPosition_, top), CPoint(left + drawnPosition_, top + h));
    setDirty(false);
}

void CWaveDraw::onIdle() {
    const int32_t frames = buffer_ ? buffer_->frames() : 0;
    if (frames == 0 || isDirty()) return;
    const int32_t position = std::clamp(buffer_->playPosition.load(std::memory_order_relaxed), 0, frames);
    if (int32_t(double(position) / double(frames) * width()) != drawnPosition_) invalid();
}

// ---- painting flags ----

int32_t CWaveDraw::stepAt(const CPoint& where) const {
    if (!pattern_ || !(columnWidth_ > 0.0f)) return -1;
    // Outside the view the pointer names no step, whichever way it left.
    const double column = std::floor((where.x - getViewSize().left) / double(columnWidth_));
    if (!(column >= 0.0) || column >= double(playedSteps(*pattern_))) return -1;
    return int32_t(column);
}

void CWaveDraw::paintAt(const CPoint& where) {
    const int32_t step = stepAt(where);
    if (step < 0) return;
    const int32_t h = height();
    const double y = std::floor(where.y - getViewSize().top - 10.0);
    const double flagsTop = h - 6.0 * kRowHeight;
    PatternStep& s = pattern_->steps[step];
    if (dragMode_ == kFlagRowsDrag) {
        const double row = std::floor((y - flagsTop) / kRowHeight);
        if (!(row >= 0.0) || row >= kFlagRows) return;
        const uint8_t mask = kRowFlags[int(row)];
        if (((s.flags & mask) != 0) == (paintValue_ != 0)) return;
        s.flags = uint8_t(paintValue_ ? (s.flags | mask) : (s.flags & ~mask));
        editedMask_ = mask;
    } else if (dragMode_ == kNoteLane) {
        const double note = std::floor((h - y) / kRowHeight) - 6.0;
        if (!(note >= 0.0) || note > kHighestLaneNote || s.note == uint8_t(note)) return;
        s.note = uint8_t(note);
        editedMask_ = 0;
    } else {
        return;
    }
    editedStep_ = step;
    valueChanged();
}

CMouseEventResult CWaveDraw::onMouseDown(CPoint& where, const CButtonState& buttons) {
    const bool right = (buttons & kRButton) != 0;
    if (!(buttons & kLButton) && !right) return kMouseEventNotHandled;
    // The listener hands over the pattern to edit when the edit begins.
    beginEdit();
    dragMode_ = kNoDrag;
    const int32_t step = stepAt(where);
    if (step < 0) return kMouseEventHandled;
    const double y = std::floor(where.y - getViewSize().top - 10.0);
    // The flag rows start six rows above the bottom; the note lane lies above them.
    const double flagsTop = height() - 6.0 * kRowHeight;
    if (y >= flagsTop) {
        const double row = std::floor((y - flagsTop) / kRowHeight);
        // A press below the last flag row starts nothing.
        if (row >= kFlagRows) return kMouseEventHandled;
        const bool set = (pattern_->steps[step].flags & kRowFlags[int(row)]) != 0;
        paintValue_ = right ? 0 : (set ? 0 : 1);
        dragMode_ = kFlagRowsDrag;
    } else {
        dragMode_ = kNoteLane;
    }
    paintAt(where);
    return kMouseEventHandled;
}

CMouseEventResult CWaveDraw::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing() || !(buttons & (kLButton | kRButton))) return kMouseEventNotHandled;
    paintAt(where);
    return kMouseEventHandled;
}

CMouseEventResult CWaveDraw::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    dragMode_ = kNoDrag;
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CWaveDraw::onMouseCancel() {
    if (isEditing()) {
        dragMode_ = kNoDrag;
        endEdit();
    }
    return kMouseEventHandled;
}

} // namespace kelo
