#pragma once
// The histogram time units by the names a user types and reads.
#include <optional>
#include <string>
#include <string_view>

// In a namespace: the panel has a TimeUnitName of its own, for its dialog's list.
namespace core {

// "hours", "minutes" or "seconds" in any case; nothing for any other name.
std::optional<int> TimeUnitByName(std::string_view name);
// The histogram time unit's name, or its number when it has none.
std::string TimeUnitName(int units);

} // namespace core
