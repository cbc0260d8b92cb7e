#pragma once
// The histogram time units by the names a user types and reads.
#include <optional>
#include <string>
#include <string_view>

// "hours", "minutes" or "seconds" in any case; nothing for any other name.
std::optional<int> TimeUnitByName(std::string_view name);
// The histogram time unit's name, or its number when it has none.
std::string TimeUnitName(int units);
