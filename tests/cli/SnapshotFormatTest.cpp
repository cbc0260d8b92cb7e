// The record formats of snapshot and log, from a made-up snapshot: no instrument needed.
#include "cli/SnapshotFormat.h"
#include "core/Text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>

namespace {

// 2026-12-08T22:00:00.125Z
const WallTime kTime = WallTime(std::chrono::milliseconds(1796767200125LL));

SnapshotReading Reading(QuantityKind kind, const char* object, int count, double value, double si) {
    return {kind, 0, object, count, {value, value, value}, {si, si, si}, Verdict::False, kTime};
}

} // namespace

// A name that breaks a CSV row or a JSON document, a verdict written as a word in JSON, a
// failed rack written with stale values, or a number or time that follows the locale.
TEST(SnapshotFormat, QuotesEscapesAndCLocaleUnderAGermanLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 is not installed";
    std::locale::global(std::locale("de_DE.UTF-8"));
    Snapshot snapshot;
    snapshot.up = true;
    snapshot.time = kTime;
    snapshot.readings = {Reading(VOLT, "P5", 1, 4997, 4.997), Reading(POWER, "P5", 1, 1500, 1.5)};
    snapshot.readings[1].objectOverLimit = Verdict::Unknown;
    snapshot.entries = {{-300, "injected \"fault\"\n1"}};
    const RackId rack{"VXI0::24::INSTR", "bay 3, \"left\"\\\t", ""};

    EXPECT_EQ(
        SnapshotCsv(snapshot, rack),
        "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",true,,VOLT,P5,,"
        "4997,mV,4.997,V,false,2026-12-08T22:00:00.125Z,\n"
        "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",true,,POWER,P5,,"
        "1500,mW,1.5,W,unknown,2026-12-08T22:00:00.125Z,\n"
        "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",true,,ERROR,,,"
        "-300,,,,,2026-12-08T22:00:00.125Z,\"injected \"\"fault\"\"\n1\"\n");
    const std::string json = SnapshotJson(snapshot, rack, true);
    EXPECT_NE(json.find(R"("name": "bay 3, \"left\"\\\u0009")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("si_value": 4.997, "si_unit": "V", "object_over_limit": false})"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("object_over_limit": null})"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("entries": [{"code": -300, "text": "injected \"fault\"\u000a1"}]})"),
              std::string::npos)
        << json;
    EXPECT_EQ(json.find('\n'), json.size() - 1) << "JSON Lines: one line";

    snapshot.up = false;
    snapshot.statusName = "VI_ERROR_TMO";
    snapshot.readings.clear();
    snapshot.entries.clear();
    RackId down = rack;
    down.reason = "timed out";
    EXPECT_EQ(SnapshotCsv(snapshot, down),
              "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",false,"
              "VI_ERROR_TMO,,,,,,,,,2026-12-08T22:00:00.125Z,timed out\n");
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
}

// A name that breaks a UTF-8 reader or a terminal taken as printable: a stray or truncated
// byte, an overlong form, a surrogate, a control character of C0 or C1; or a name in
// another script refused.
TEST(SnapshotFormat, NamesArePrintableUtf8) {
    for (const char* good : {"bay 3", "Kühlraum", "机架-2", "rack \xF0\x9F\x94\xA5"}) {
        EXPECT_TRUE(PrintableUtf8(good)) << good;
    }
    for (const char* bad : {"bay\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "a\tb", "a\x7F", "a\xC2\x85"}) {
        EXPECT_FALSE(PrintableUtf8(bad)) << bad;
    }
}
