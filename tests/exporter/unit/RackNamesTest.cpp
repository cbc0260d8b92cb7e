// The names racks go by in the exporter: the rack list's refusals, each with the file and
// line to mend, and the targets that match a listed rack (the canonical spelling itself is
// tested with the core, in tests/core/ResourceNameTest.cpp).
#include "TempDir.h"
#include "exporter/TargetPolicy.h"
#include "racks/RackConfig.h"
#include "racks/YamlFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

// A rack list loaded although it holds a key twice (the second "racks" silently lost), a
// resource that can never be probed, text that makes the exposition invalid, no rack at
// all, one rack under two spellings, or an alias that makes the document cyclic (a crash);
// or a refusal that does not say where.
TEST(RackNames, RackListRefusalsNameTheFileAndLine) {
    const CTempDir dir;
    const std::string path = dir.Path() + "/racks.yml";
    const struct {
        const char* text;
        const char* message; // empty: loads
    } cases[]{
        {"racks:\n  - resource: VXI0::24::INSTR\n  - resource: VXI0::32::INSTR\n", ""},
        {"racks:\n  - resource: VXI0::24::INSTR\nracks:\n  - resource: VXI0::32::INSTR\n",
         ":3: key 'racks' given twice"},
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: a\n    name: b\n",
         ":4: key 'name' given twice"},
        {"racks:\n  - resource: VXI0::24::INSTR\n  - resource: \"VXI0::32::INSTR x\"\n",
         ":3: resource is not a VISA resource name"},
        {"racks:\n  - resource: \"VXI0::32\\t\"\n", ":2: resource is not a VISA resource name"},
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: \"rack \xFF\"\n", ":3: not UTF-8 text"},
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: \xED\xA0\x80\n", ":3: not UTF-8 text"},
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: \xC0\xAF\n", ":3: not UTF-8 text"},
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: Pr\xC3\xBC"
         "fstand \xF0\x9F\x94\xA5\n",
         ""},
        {"racks: []\n", ""}, // as installed: no rack until one is listed
        {"racks:\n  - resource: VXI0::24::INSTR\n    name: a\n    blower: 2\n",
         ":4: unknown key 'blower'"},
        {"racks: &x\n  - *x\n", ":1: nested too deep"},
        {"racks:\n  - resource: VXI0::24::INSTR\n  - resource: vxi0::024\n",
         ":3: VXI0::024 names the same rack as VXI0::24::INSTR ("},
    };
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        std::string message;
        try {
            LoadRackConfig(path);
        } catch (const CConfigError& error) {
            message = error.message;
        }
        if (std::string(c.message).empty()) {
            EXPECT_EQ(message, "") << c.text;
        } else {
            EXPECT_EQ(message.rfind(path + c.message, 0), 0u) << c.text << "\n" << message;
        }
    }
}

// A target in another spelling refused (or given a session of its own), the answer
// labelled with the target's spelling instead of the list's, or a reload that keeps a rack
// no longer listed.
TEST(RackNames, TargetsMatchTheirRackInAnySpellingUntilTheListIsReplaced) {
    const auto rack = [](const char* resource) {
        RackConfig config;
        config.resource = resource;
        return config;
    };
    CTargetPolicy policy({rack("VXI0::24::INSTR"), rack("GPIB0::9::INSTR")});
    const struct {
        const char* target;
        const char* rack; // nullptr: refused
    } before[]{{"vxi0::024", "VXI0::24::INSTR"},
               {"VXI::24::INSTR", "VXI0::24::INSTR"},
               {"GPIB0::09::INSTR", "GPIB0::9::INSTR"},
               {"VXI0::32::INSTR", nullptr},
               {"VXI0::24::INSTR x", nullptr}},
        after[]{{"VXI0::24::INSTR", nullptr}, {"vxi0::32", "VXI0::32::INSTR"}};
    const auto answered = [&policy](const char* target) {
        const auto allowed = policy.Allowed(target);
        return allowed ? allowed->resource : std::string("refused");
    };
    for (const auto& c : before) {
        EXPECT_EQ(answered(c.target), c.rack != nullptr ? c.rack : "refused") << c.target;
    }
    policy.Replace({rack("VXI0::32::INSTR")});
    for (const auto& c : after) {
        EXPECT_EQ(answered(c.target), c.rack != nullptr ? c.rack : "refused") << c.target;
    }
}
