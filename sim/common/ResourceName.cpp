#include "common/ResourceName.h"

#include <cctype>
#include <vector>

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view s) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find("::", start);
        fields.push_back(s.substr(start, pos == std::string_view::npos ? pos : pos - start));
        if (pos == std::string_view::npos)
            return fields;
        start = pos + 2;
    }
}

// A decimal number of at most nine digits (so it fits 32 bits), nothing else.
std::optional<uint32_t> ParseNumber(std::string_view s) {
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

// Splits "GPIB-VXI3" into the interface and its board number (0 when absent).
bool ParseInterface(std::string_view field, CResourceName& name) {
    static const struct {
        const char* keyword;
        CResourceName::Interface intf;
    } kKeywords[] = {{"GPIB-VXI", CResourceName::kGpibVxi},
                     {"GPIB", CResourceName::kGpib},
                     {"VXI", CResourceName::kVxi},
                     {"ASRL", CResourceName::kAsrl}};
    std::string upper = Upper(field);
    for (const auto& k : kKeywords) {
        std::string_view keyword = k.keyword;
        if (upper.compare(0, keyword.size(), keyword) != 0)
            continue;
        std::string_view rest = std::string_view(upper).substr(keyword.size());
        std::optional<uint32_t> board = rest.empty() ? 0u : ParseNumber(rest);
        if (!board || *board > 0xFFFF)
            return false;
        name.intf = k.intf;
        name.board = static_cast<uint16_t>(*board);
        return true;
    }
    return false;
}

} // namespace

std::optional<CResourceName> CResourceName::Parse(std::string_view text) {
    std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() > 1 && Upper(fields.back()) == "INSTR")
        fields.pop_back();
    CResourceName name;
    if (fields.empty() || !ParseInterface(fields[0], name))
        return std::nullopt;
    size_t wanted = name.intf == kAsrl ? 1 : 2;
    if (fields.size() != wanted && !(name.intf == kGpib && fields.size() == 3))
        return std::nullopt;
    if (wanted == 2) {
        std::optional<uint32_t> address = ParseNumber(fields[1]);
        if (!address)
            return std::nullopt;
        name.address = *address;
    }
    if (fields.size() == 3) {
        name.secondary = ParseNumber(fields[2]);
        if (!name.secondary)
            return std::nullopt;
    }
    return name;
}

std::string CResourceName::Canonical() const {
    static const char* const kKeywords[] = {"", "GPIB", "VXI", "GPIB-VXI", "ASRL"};
    std::string out = kKeywords[intf] + std::to_string(board) + "::";
    if (intf != kAsrl)
        out += std::to_string(address) + "::";
    if (secondary)
        out += std::to_string(*secondary) + "::";
    return out + "INSTR";
}
