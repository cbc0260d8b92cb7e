#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A VISA INSTR resource name, parsed as VISA parses it: the interface keyword in any case,
// the board number defaulting to 0, the "::INSTR" class optional. Two spellings that name
// the same resource have the same Canonical() text.
struct CResourceName {
    enum Interface : uint16_t { kGpib = 1, kVxi = 2, kGpibVxi = 3, kAsrl = 4 };

    Interface intf = kGpib;
    uint16_t board = 0;
    uint32_t address = 0;              // GPIB primary address or VXI logical address
    std::optional<uint32_t> secondary; // GPIB secondary address, when given

    // Parses `text`; nothing for a name that is not an INSTR resource of the four interfaces.
    static std::optional<CResourceName> Parse(std::string_view text);

    // "GPIB0::9::INSTR", "VXI0::24::INSTR", "GPIB-VXI0::24::INSTR", "ASRL1::INSTR".
    std::string Canonical() const;
};
