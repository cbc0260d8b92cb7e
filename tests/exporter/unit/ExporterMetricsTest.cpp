// The exporter's own metrics under a decimal-comma locale.
#include "exporter/ExporterMetrics.h"
#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

// A number of the exporter's own (a counter, a time stamp) written through the locale:
// "1,5" or "1.754.000.000", which Prometheus cannot read.
TEST(ExporterMetrics, NumbersHaveAPointUnderACommaLocale) {
    const CCommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << "no " << CCommaLocale::kName
                     << " locale (scripts/install-deps.sh makes it)";
    }
    CExporterMetrics metrics("1.0.0");
    metrics.CountReload(true);
    std::ostringstream own;
    metrics.Write(own);
    const std::regex number(R"([-+]?([0-9]+(\.[0-9]+)?(e[-+][0-9]+)?|NaN|Inf))");
    std::istringstream lines(own.str());
    int samples = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        ++samples;
        const std::string value = line.substr(line.rfind(' ') + 1);
        EXPECT_TRUE(std::regex_match(value, number)) << line;
    }
    EXPECT_GE(samples, 8) << own.str();
}
