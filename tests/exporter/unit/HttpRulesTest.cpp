// The HTTP side's pure rules: the listen address, the scrape time-out header and the raw
// query of a probe.
#include "exporter/HttpRules.h"
#include "exporter/ExporterFlags.h"

#include <gtest/gtest.h>

// A port beyond 65535 wrapped onto another (70000 -> 4464), an empty or signed port taken
// as a random one, an IPv6 address without brackets split at the wrong colon, brackets
// left on the host, or ":PORT" not meaning every address.
TEST(ListenAddress, HostAndPortOrAUsageError) {
    const struct {
        std::string text;
        bool usable;
        std::string host;
        unsigned port;
    } cases[]{
        {"127.0.0.1:9772", true, "127.0.0.1", 9772},
        {":9772", true, "", 9772},
        {"[::1]:65535", true, "::1", 65535},
        {"localhost:1", true, "localhost", 1},
        {"127.0.0.1:0", true, "127.0.0.1", 0},
        {"127.0.0.1:70000", false, "", 0},
        {":65536", false, "", 0},
        {"127.0.0.1:", false, "", 0},
        {"127.0.0.1:+80", false, "", 0},
        {"127.0.0.1: 80", false, "", 0},
        {"127.0.0.1:0x50", false, "", 0},
        {"127.0.0.1:000009772", false, "", 0},
        {"::1:9772", false, "", 0},
        {"[]:9772", false, "", 0},
        {"[::1:9772", false, "", 0},
        {"9772", false, "", 0},
    };
    for (const auto& c : cases) {
        if (!c.usable) {
            EXPECT_THROW(ParseListenAddress(c.text), CFlagError) << c.text;
            continue;
        }
        const ListenAddress address = ParseListenAddress(c.text);
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
}

// A time-out header that is not a positive number taken as one, no cap on a huge one, the
// offset not taken off, or a time-out left at nothing when the offset exceeds it.
TEST(ScrapeBudget, PrometheusTimeOutLessTheOffset) {
    const struct {
        const char* header;
        std::optional<double> budget;
    } cases[]{
        {nullptr, 9.5},       {"2", 1.5},          {"0.4", 0.4},          {"1e9", 119.5},
        {"inf", 119.5},       {"0", std::nullopt}, {"-3", std::nullopt},  {"soon", std::nullopt},
        {"5s", std::nullopt}, {"", std::nullopt},  {"nan", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScrapeBudget(c.header, 0.5), c.budget) << (c.header ? c.header : "(none)");
    }
}

// A second target ignored (also when its name is escaped, or spelt with other case and
// looked up without), an escaped NUL that cuts the target short once unescaped, an empty,
// spaced or overlong target taken, or a NUL elsewhere or a lone target refused.
TEST(ProbeQuery, OneTargetCheckedFromTheRawUri) {
    const std::string tooLong = "/probe?target=" + std::string(256, 'A');
    const struct {
        std::string uri;
        std::string target; // when usable
        bool usable;
    } cases[]{
        {"/probe?target=VXI0::24::INSTR", "VXI0::24::INSTR", true},
        {"/probe?module=a&target=X&other=%00", "X", true},
        {"/probe?target=X#&target=Y", "X", true},
        {"/probe?Target=A&target=B", "B", true},
        {"/probe?target=VXI0%3A%3A24%3A%3AINSTR", "VXI0::24::INSTR", true},
        {"/probe", "", false},
        {"/probe?target=", "", false},
        {"/probe?target=X&target=Y", "", false},
        {"/probe?target=X&targ%65t=Y", "", false},
        {"/probe?target&target=Y", "", false},
        {"/probe?target=X%00junk", "", false},
        {"/probe?target=a+b", "", false},
        {tooLong, "", false},
    };
    for (const auto& c : cases) {
        const ProbeQuery query = ParseProbeQuery(c.uri);
        EXPECT_EQ(query.error.empty(), c.usable) << c.uri << ": " << query.error;
        if (c.usable) {
            EXPECT_EQ(query.target, c.target) << c.uri;
        }
    }
}
