// The record formats of snapshot and log, from a made-up snapshot: no instrument needed.
#include "cli/SnapshotFormat.h"

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
        "4997,mV,4.997,V,false\n"
        "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",true,,POWER,P5,,"
        "1500,mW,1.5,W,unknown\n");
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
    EXPECT_EQ(SnapshotCsv(snapshot, rack),
              "2026-12-08T22:00:00.125Z,VXI0::24::INSTR,\"bay 3, \"\"left\"\"\\\t\",false,"
              "VI_ERROR_TMO,,,,,,,,\n");
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
}
