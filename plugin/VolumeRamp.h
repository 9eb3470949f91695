#pragma once
// Output gain that never jumps: every sub-block glides linearly from the gain applied last to
// the new target, so even a one-sample sub-block ramps instead of clicking.
#include <cstdint>

namespace kelo {

class VolumeRamp {
public:
    // Starts a sub-block of `frames` samples heading for `target`.
    void begin(float target, int32_t frames) {
        target_ = target;
        step_ = frames > 0 ? (target - gain_) / float(frames) : 0.0f;
    }
    // Applies the ramp to the next `n` samples of the sub-block (it may arrive in pieces).
    void apply(float* samples, int32_t n) {
        // In locals: the samples are floats too, so the members would be reloaded after
        // every store and the ramp would run at store-forwarding speed.
        float gain = gain_;
        const float step = step_;
        if (step == 0.0f) {
            // The usual case: a steady volume is one factor, and the loop vectorises.
            for (int32_t i = 0; i < n; ++i) samples[i] *= gain;
            return;
        }
        for (int32_t i = 0; i < n; ++i) {
            samples[i] *= gain;
            gain += step;
        }
        gain_ = gain;
    }
    // Lands exactly on the target once the sub-block is done, so rounding cannot drift.
    void end() { gain_ = target_; }

    float gain() const { return gain_; }
    void reset(float gain) { gain_ = target_ = gain; step_ = 0.0f; }

private:
    float gain_ = 1.0f; // full volume, as the default Volume parameter asks
    float target_ = 1.0f;
    float step_ = 0.0f;
};

} // namespace kelo
