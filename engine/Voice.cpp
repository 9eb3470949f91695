#include "engine/Voice.h"

#include <algorithm>

namespace kelo {

Voice::Voice() { init(44100.0); }
void Voice::init(double) {}
void Voice::render(float* out, int n, double, const ParamSnapshot&, VoiceControl& vc, const VoiceSettings&,
                   void (*tick)(void*), void* tickCtx) {
    for (int i = 0; i < n; ++i) {
        if (tick) tick(tickCtx);
        vc.trigger = 0;
        out[i] = 0.0f;
    }
}
void Voice::resetEnvelopes() { st_.filterEnv = st_.ampEnv = 0; }
void EnvelopeScope::push(float) {}
void EnvelopeScope::clear() { *this = EnvelopeScope{}; }

} // namespace kelo
