#include "engine/Filter.h"

#include "engine/FilterTables.h"

#include <cmath>

namespace kelo {

RateClass RateClass::of(double fs) {
    RateClass rc;
    if (fs >= 95999.0) {
        rc.index = 2;
        rc.periodScale = 0.5;
    } else if (fs >= 47999.0) {
        rc.index = 1;
        rc.periodScale = 1.0;
    }
    return rc;
}

namespace {

inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }


} // namespace

Filter::Filter() : tables_(&FilterTables::get()) {}

void Filter::prepare(const VoiceSettings& s, const RateClass& rc) {
    const double tm3Scale = (clamp01(s.tm3) - 0.5) * 0.5 + 1.0;
    const bool envmodCurve = !(s.envmodKnob < 1);
    if (tm3Scale != k_.tm3Scale || envmodCurve != k_.envmodCurve) {
        parts_[0] = parts_[1] = ControlParts{}; // remembered parts used the old settings
    }
    k_.mode = s.filterMode;
    k_.controlLags = !s.vcaNoise;
    k_.envmodCurve = envmodCurve;
    k_.rate96 = rc.index == 2;
    k_.tm3Scale = tm3Scale;
    k_.feedbackScale = rc.index == 2 ? 4.1 : s.tm4;
    k_.extraFeedback = clamp01(s.tm6) * 0.05 + 1.0;
    k_.levelScale = s.vcaLeveling ? 1.6 : 0.8;
    k_.mu = s.vcaLeveling ? 1.5 : 1.0;
}

} // namespace kelo
