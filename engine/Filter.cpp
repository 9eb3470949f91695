#include "engine/Filter.h"

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
double Filter::envTerm(const FilterInput&) const { return 0.0; }
double Filter::process(const FilterInput& in, const VoiceSettings&, const RateClass&) { return in.osc; }
} // namespace kelo
