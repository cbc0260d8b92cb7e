#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reads the mainframe's replies: comma-separated numbers and SCPI error entries. Nothing is
// trusted: every parse checks the count, the range and the whole text.
class CReplyParser {
public:
    // Between 1 and `max` finite numbers; `count` receives how many.
    static bool Reals(std::string_view reply, double* out, int max, int& count);
    // Exactly `count` integers, each within 32 bits.
    static bool Integers(std::string_view reply, int32_t* out, int count);
    // `<number>,"<text>"`: the number and the unquoted text (a doubled quote is one quote).
    static bool NumberAndText(std::string_view reply, int32_t& number, std::string& text);
    // A number in the locale-independent form the mainframe reads ("%.17g" with a point).
    static std::string FormatReal(double value);
};
