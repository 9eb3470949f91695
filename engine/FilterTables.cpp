#include "engine/FilterTables.h"

namespace kelo {

// Constant data designed at build time (engine/tables).
namespace tables {
extern const float exponential[], feedback[], level[];
extern const double exponentialWide[], feedbackWide[], levelWide[];
} // namespace tables

const FilterTables& FilterTables::get() {
    static constexpr FilterTables t{tables::exponential,     tables::feedback,     tables::level,
                                    tables::exponentialWide, tables::feedbackWide, tables::levelWide};
    return t;
}

} // namespace kelo
