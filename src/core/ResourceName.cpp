#include "core/ResourceName.h"

#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace {

constexpr std::array<std::string_view, 7> kResourceClasses{
    "INSTR", "INTFC", "BACKPLANE", "MEMACC", "SERVANT", "SOCKET", "RAW"};
constexpr std::size_t kInstrSuffixLimit = 99; // "::INSTR" is cut only at positions 1..99

bool Digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A decimal number without its leading zeros ("0" stays).
std::string WithoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? "0" : std::string(digits.substr(first));
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find("::", from);
        fields.push_back(text.substr(from, at - from));
        if (at == std::string_view::npos) {
            return fields;
        }
        from = at + 2;
    }
}

// "GPIB-VXI" and "0" from "gpib-vxi0"; nothing unless letters (and '-') then digits.
std::optional<std::string> Interface(std::string_view field) {
    const std::size_t board = field.find_first_of("0123456789");
    const std::string_view keyword = field.substr(0, board);
    if (keyword.empty() || !std::isalpha(static_cast<unsigned char>(keyword[0])) ||
        !std::all_of(keyword.begin(), keyword.end(),
                     [](unsigned char c) { return std::isalpha(c) || c == '-'; })) {
        return std::nullopt;
    }
    if (board == std::string_view::npos) {
        return AsciiUpper(keyword) + "0";
    }
    if (!Digits(field.substr(board))) {
        return std::nullopt;
    }
    return AsciiUpper(keyword) + WithoutLeadingZeros(field.substr(board));
}

} // namespace

std::optional<std::string> CanonicalResourceName(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(),
                                     [](unsigned char c) { return c > ' ' && c < 0x7F; })) {
        return std::nullopt;
    }
    const std::vector<std::string_view> fields = Fields(text);
    auto name = Interface(fields[0]);
    if (!name) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < fields.size(); ++i) {
        if (fields[i].empty()) {
            return std::nullopt;
        }
        *name +=
            "::" + (Digits(fields[i]) ? WithoutLeadingZeros(fields[i]) : AsciiUpper(fields[i]));
    }
    const std::string_view last =
        fields.size() > 1 ? std::string_view(*name).substr(name->rfind("::") + 2) : "";
    if (std::find(kResourceClasses.begin(), kResourceClasses.end(), last) ==
        kResourceClasses.end()) {
        *name += "::INSTR";
    }
    return name;
}

std::string InstrumentName(std::string_view resourceName) {
    std::string name = AsciiUpper(resourceName);
    const std::size_t at = name.find("::INSTR");
    if (at >= 1 && at <= kInstrSuffixLimit) {
        name.resize(at);
    }
    return name;
}
