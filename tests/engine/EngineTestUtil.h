#pragma once
// A voice harness for the engine tests.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "engine/Voice.h"

namespace kelo::test {

constexpr double kPi = 3.14159265358979323846;

// A voice with its control record and settings, rendered in blocks as the plug-in does.
// onSample, when set, runs as the per-sample tick with the sample's index.
struct VoiceRig {
    Voice voice;
    ParamSnapshot p;
    VoiceControl vc;
    VoiceSettings s;
    double fs = 44100.0;
    std::function<void(long)> onSample;
    long index = 0;

    static int tick(void* ctx, int) {
        auto* r = static_cast<VoiceRig*>(ctx);
        r->onSample(r->index++);
        return 0;
    }
    std::vector<float> render(size_t n, int block = 128) {
        std::vector<float> out(n);
        for (size_t i = 0; i < n; i += size_t(block)) {
            const int len = int(std::min(size_t(block), n - i));
            voice.render(out.data() + i, len, fs, p, vc, s, onSample ? &tick : nullptr, this);
        }
        return out;
    }
    void noteOn(float hz, bool accent = false) {
        vc.pitchHz = hz;
        vc.gate = vc.trigger = 1;
        vc.accent = vc.accentStep = accent ? 1 : 0;
    }
    // Samples until get(state), read before each sample, first crosses the threshold.
    template <typename Get>
    long samplesUntil(long limit, Get get, double threshold, bool falling) {
        long hit = -1;
        onSample = [&](long i) {
            const double v = get(voice.state());
            if (hit < 0 && i > 0 && (falling ? v < threshold : v > threshold)) hit = i - 1;
        };
        index = 0;
        for (long done = 0; done < limit && hit < 0; done += 128) render(size_t(std::min(128L, limit - done)));
        onSample = nullptr;
        return hit;
    }
};

} // namespace kelo::test
