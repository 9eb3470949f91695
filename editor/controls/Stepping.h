#pragma once
// Frame stepping through a film strip shared by the sprite and the floating display: positions
// are pixels, `step` apart, inside `span`.
#include <cstdint>

namespace kelo::controls_detail {

// A strip position as whole pixels; anything not finite is the top, and nothing converts
// beyond what an int holds.
inline int32_t pixelPosition(float position) {
    if (!(position > -1e6f && position < 1e6f)) return position >= 1e6f ? 1000000 : 0;
    return static_cast<int32_t>(position);
}

inline float nextFramePosition(float position, int32_t step, int32_t span) {
    const float next = position + float(step);
    return next > float(span - step) ? 0.0f : next;
}

// Below 0 it wraps to span - step - 1 (never below 0 for a strip of one frame).
inline float previousFramePosition(float position, int32_t step, int32_t span) {
    const float previous = position - float(step);
    if (previous >= 0) return previous;
    const int32_t wrapped = span - step - 1;
    return wrapped > 0 ? float(wrapped) : 0.0f;
}

} // namespace kelo::controls_detail
