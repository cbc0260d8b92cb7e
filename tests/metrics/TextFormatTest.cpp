// The text exposition format as the exporter and `ksm7720 metrics` write it: escapes in
// HELP and in label values, the three numbers that are not finite, and numbers under a
// decimal-comma locale.
#include "metrics/TextFormat.h"
#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

// A quote, backslash or line feed in a label value or a HELP text that ends the value or
// the line early (a line Prometheus rejects, or a forged sample), the common labels not
// first, or NaN and the infinities written as C's "nan" and "inf".
TEST(TextFormat, EscapesAndNumbersThatAreNotFinite) {
    std::ostringstream out;
    CTextFormat text(out, {{"rack", R"(a"b)"}});
    text.Family("m", "Help with \\ and\nm 1");
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        std::string label;
        double value;
    } samples[]{{"x\\y", std::nan("")}, {"line\nfeed", kInf}, {"", -kInf}, {"ok", 0.1}};
    for (const auto& s : samples) {
        text.Sample({{"l", s.label}}, s.value);
    }
    EXPECT_EQ(out.str(), "# HELP m Help with \\\\ and\\nm 1\n"
                         "# TYPE m gauge\n"
                         "m{rack=\"a\\\"b\",l=\"x\\\\y\"} NaN\n"
                         "m{rack=\"a\\\"b\",l=\"line\\nfeed\"} +Inf\n"
                         "m{rack=\"a\\\"b\",l=\"\"} -Inf\n"
                         "m{rack=\"a\\\"b\",l=\"ok\"} 0.1\n");
}

// A number written through the locale (a stream's or printf's): "0,5" or "1.234.567,25",
// which Prometheus cannot read.
TEST(TextFormat, NumbersHaveAPointUnderACommaLocale) {
    const CCommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << "no " << CCommaLocale::kName
                     << " locale (scripts/install-deps.sh makes it)";
    }
    std::ostringstream out;
    CTextFormat text(out);
    text.Family("m", "Help.");
    text.Sample(1234567.25);
    text.Sample(0.5);
    EXPECT_EQ(out.str(), "# HELP m Help.\n# TYPE m gauge\nm 1234567.25\nm 0.5\n");
}
