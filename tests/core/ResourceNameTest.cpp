// The canonical spelling of a VISA resource name, by which every program keys its racks.
#include "core/ResourceName.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// Two spellings of one rack given two keys (two sessions draining one error queue), two
// racks given one key, a name that can never be opened taken as a resource, or a
// resource class other than INSTR replaced.
TEST(ResourceName, CanonicalResourceNameJoinsSpellingsOfOneResource) {
    const struct {
        const char* text;
        std::optional<std::string> canonical;
    } cases[]{
        {"VXI0::24::INSTR", "VXI0::24::INSTR"},
        {"vxi0::024::instr", "VXI0::24::INSTR"},
        {"VXI::24", "VXI0::24::INSTR"},
        {"VXI000::0024", "VXI0::24::INSTR"},
        {"VXI0::32::INSTR", "VXI0::32::INSTR"},
        {"VXI1::24::INSTR", "VXI1::24::INSTR"},
        {"GPIB0::9::0::INSTR", "GPIB0::9::0::INSTR"},
        {"gpib-vxi0::0::Instr", "GPIB-VXI0::0::INSTR"},
        {"ASRL1::INSTR", "ASRL1::INSTR"},
        {"asrl01", "ASRL1::INSTR"},
        {"GPIB0::INTFC", "GPIB0::INTFC"},
        {"TCPIP0::host.lab::inst0::INSTR", "TCPIP0::HOST.LAB::INST0::INSTR"},
        {"", std::nullopt},
        {"VXI0::24::INSTR x", std::nullopt},
        {"VXI0::24\n", std::nullopt},
        {"VXI0::::INSTR", std::nullopt},
        {"VXI0::24::", std::nullopt},
        {"0VXI::24", std::nullopt},
        {"VXI0x::24", std::nullopt},
        {"VXI0::24::INSTR\xC3\xA9", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CanonicalResourceName(c.text), c.canonical) << c.text;
    }
}
