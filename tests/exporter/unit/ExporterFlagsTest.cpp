// The exporter's command line: every flag in both spellings, the defaults, and the message
// of each mistake.
#include "exporter/ExporterFlags.h"
#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct FlagCase {
    std::vector<std::string> args;
    std::function<bool(const ExporterFlags&)> holds; // empty for a mistake
    std::string error;                               // the mistake's message
};

} // namespace

// A flag read into the wrong field or not at all, a value taken from the next flag, a
// boolean flag that swallows the next argument or accepts a value, a bad number or level
// accepted, or a mistake whose message does not name the flag and the value.
TEST(ExporterFlags, EachFlagItsValueAndEachMistakeItsMessage) {
    const std::vector<FlagCase> cases{
        {{},
         [](const ExporterFlags& f) {
             return f.listenAddress == "127.0.0.1:9772" && f.configFile.empty() &&
                    f.webConfigFile.empty() && f.timeOffsetSeconds == 0.5 && f.maxRequests == 40 &&
                    f.logLevel == LogLevel::Info && !f.configCheck && !f.enableLifecycle;
         },
         ""},
        {{"--web.listen-address", "[::1]:9", "--config.file=r.yml", "--web.config.file", "w.yml"},
         [](const ExporterFlags& f) {
             return f.listenAddress == "[::1]:9" && f.configFile == "r.yml" &&
                    f.webConfigFile == "w.yml";
         },
         ""},
        {{"--timeout-offset=1.25", "--web.max-requests", "10000", "--log.level=debug"},
         [](const ExporterFlags& f) {
             return f.timeOffsetSeconds == 1.25 && f.maxRequests == 10000 &&
                    f.logLevel == LogLevel::Debug;
         },
         ""},
        {{"--web.enable-lifecycle", "--config.check", "--log.level", "error"},
         [](const ExporterFlags& f) {
             return f.enableLifecycle && f.configCheck && f.logLevel == LogLevel::Error;
         },
         ""},
        {{"--help", "--version"}, [](const ExporterFlags& f) { return f.help && f.version; }, ""},
        {{"--timeout-offset=-1"}, {}, "--timeout-offset takes a number of seconds, not '-1'"},
        {{"--timeout-offset=0,5"}, {}, "--timeout-offset takes a number of seconds, not '0,5'"},
        {{"--timeout-offset=inf"}, {}, "--timeout-offset takes a number of seconds, not 'inf'"},
        {{"--web.max-requests=0"}, {}, "--web.max-requests takes a count from 1 to 10000, not '0'"},
        {{"--web.max-requests=10001"},
         {},
         "--web.max-requests takes a count from 1 to 10000, not '10001'"},
        {{"--web.max-requests= 5"},
         {},
         "--web.max-requests takes a count from 1 to 10000, not ' 5'"},
        {{"--log.level=INFO"}, {}, "--log.level takes debug, info, warn or error, not 'INFO'"},
        {{"--web.enable-lifecycle=true"}, {}, "--web.enable-lifecycle takes no value"},
        {{"--config.check=yes"}, {}, "--config.check takes no value"},
        {{"--config.file"}, {}, "--config.file needs a value"},
        {{"--web.listen-addres=:1"}, {}, "unknown flag '--web.listen-addres'"},
        {{"racks.yml"}, {}, "unknown argument 'racks.yml'"},
    };
    for (const FlagCase& c : cases) {
        const std::string args = ::testing::PrintToString(c.args);
        try {
            const ExporterFlags flags = ParseExporterFlags(c.args);
            EXPECT_TRUE(c.holds && c.holds(flags)) << args;
        } catch (const CFlagError& error) {
            EXPECT_EQ(error.message, c.error) << args;
        }
    }
}

// A fraction of a second read by the C library's locale: under a decimal comma "0.5"
// would be refused or read as 0.
TEST(ExporterFlags, SecondsAreReadWithAPointUnderACommaLocale) {
    const CCommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << "no " << CCommaLocale::kName
                     << " locale (scripts/install-deps.sh makes it)";
    }
    EXPECT_EQ(ParseExporterFlags({"--timeout-offset=0.5"}).timeOffsetSeconds, 0.5);
}
