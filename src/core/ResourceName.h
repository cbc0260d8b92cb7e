#pragma once
// A VISA resource name in one spelling for every way of writing it, so two spellings of
// one rack are known as one: "vxi0::024::instr", "VXI::24" and "VXI0::24::INSTR" are the
// same resource.
#include <optional>
#include <string>
#include <string_view>

// The canonical form: the interface keyword in upper case, its board number (0 when left
// out) and every decimal address without leading zeros, other fields in upper case, and
// "::INSTR" added when the name ends without a resource class. Nothing when text is not
// shaped like a resource name: empty fields, a keyword that is not letters (and '-'), or a
// byte that is not printable ASCII or is a space.
std::optional<std::string> CanonicalResourceName(std::string_view text);
