#include "core/TimeUnits.h"

#include "core/InstrumentStatus.h"
#include "core/Text.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<const char*, int>, 3> kTimeUnits{{
    {"hours", kTimeUnitHours},
    {"minutes", kTimeUnitMinutes},
    {"seconds", kTimeUnitSeconds},
}};

} // namespace

namespace core {

std::optional<int> TimeUnitByName(std::string_view name) {
    for (const auto& [unitName, units] : kTimeUnits) {
        if (SameLetters(name, unitName)) {
            return units;
        }
    }
    return std::nullopt;
}

std::string TimeUnitName(int units) {
    for (const auto& [name, value] : kTimeUnits) {
        if (value == units) {
            return name;
        }
    }
    return std::to_string(units);
}

} // namespace core
