#pragma once
// A VISA resource name in one spelling for every way of writing it, so two spellings of
// one rack are known as one: "vxi0::024::instr", "VXI::24" and "VXI0::24::INSTR" are the
// same resource.
#include <optional>
#include <string>
#include <string_view>

// The canonical form ("VXI0::24::INSTR": upper case, board 0 when left out, no leading
// zeros, "::INSTR" when no class ends it); nothing when text is not shaped like one.
std::optional<std::string> CanonicalResourceName(std::string_view text);
// The name shown for a resource: upper case, without its "::INSTR" ending.
std::string InstrumentName(std::string_view resourceName);
