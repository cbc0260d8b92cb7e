#pragma once
// Kinds and objects by the names a user types: the catalogue's spellings in any case.
// A blower is "BLOWER1" as the histogram panel lists it or "BLOW1" as a history reset
// names it.
#include "core/QuantityCatalogue.h"
#include "core/Text.h"

#include <optional>
#include <string>
#include <string_view>

// The kind whose list or reset keyword is name ("TEMPERATURE" or "TEMP").
std::optional<QuantityKind> KindByName(std::string_view name);
// The object's position as ObjectCodeOf takes it, or nothing when the kind has no such object.
std::optional<int> ObjectPositionByName(QuantityKind kind, std::string_view name);
// The object's name as the histogram panel lists it.
std::string ObjectName(QuantityKind kind, int position);
// The object's name as a history reset sends it.
std::string ResetObjectName(QuantityKind kind, int position);
