#include "engine/Wavetables.h"

namespace kelo {

// The tables are constant data designed at build time (engine/tables): an instance start
// only points at them.
namespace tables {
extern const uint8_t sawLevelOf[], squareLevelOf[];
extern const int sawLength[], sawOffset[], sawHarmonics[], squareLength[], squareOffset[], squareHarmonics[];
extern const float sawData[], squareData[];
extern const int sawLevels, squareLevels;
} // namespace tables

const Wavetable& Wavetable::saw() {
    static const Wavetable t{tables::sawLevelOf, tables::sawLength, tables::sawOffset, tables::sawHarmonics,
                             tables::sawData, tables::sawLevels};
    return t;
}

const Wavetable& Wavetable::square() {
    static const Wavetable t{tables::squareLevelOf, tables::squareLength, tables::squareOffset,
                             tables::squareHarmonics, tables::squareData, tables::squareLevels};
    return t;
}

} // namespace kelo
