#include "core/SiUnits.h"

namespace {

// In catalogue order: BLOWER, CURRENT, POWER, TEMPERATURE, VOLT.
constexpr std::array<SiUnit, kQuantityKindCount> kSiUnits{{
    {"rpm", 1.0},
    {"A", 1000.0},
    {"W", 1000.0},
    {"degC", 10.0},
    {"V", 1000.0},
}};

} // namespace

const SiUnit& SiUnitOf(QuantityKind kind) {
    const int k = static_cast<int>(kind);
    return kSiUnits[k < 0 ? 0 : k >= kQuantityKindCount ? kQuantityKindCount - 1 : k];
}

double ToSi(QuantityKind kind, double value) {
    return value / SiUnitOf(kind).divisor;
}
