// The exposition's rules over a scripted mainframe: which readings are exported, which are
// dropped and counted, the limit verdicts, the labels, and what a failed scrape still says.
// Every exposition is also checked by promtool.
#include "metrics/RackExposition.h"
#include "Promtool.h"
#include "core/SnapshotReader.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <sstream>

namespace {

constexpr ObjectCode kOut3 = 3, kDelt3 = 16, kP5Volt = 42, kBlow2 = 51;

// Every reading is its object code; after a reading, the entries scripted for its code
// are in the queue, after those queued before the scrape. A code in failAt fails its
// reading; breakQueue makes the error query fail, stuckQueue makes it never report empty.
class CScriptedRack : public CInstrument {
public:
    std::map<ObjectCode, std::vector<int>> entriesAfter;
    ObjectCode failAt = -1;
    bool breakQueue = false;
    bool stuckQueue = false;
    int queries = 0;

    const double* MeasureLevel(int code, int) override {
        if (code == failAt) {
            m_status = -1;
            throw CInstrumentException(m_status);
        }
        m_levels = {double(code), code + 0.5, code + 0.25};
        for (int entry : entriesAfter[code]) {
            m_queue.push_back(entry);
        }
        return m_levels.data();
    }
    void QueueBefore(const std::vector<int>& entries) {
        m_queue.assign(entries.begin(), entries.end());
    }
    const char* QueryError(int* code) override {
        ++queries;
        if (breakQueue) {
            return nullptr;
        }
        *code = stuckQueue ? -350 : 0;
        if (!m_queue.empty()) {
            *code = m_queue.front();
            m_queue.pop_front();
        }
        m_text = "entry";
        return m_text.c_str();
    }

private:
    std::deque<int> m_queue;
};

struct Case {
    const char* name;
    ErrorQueueUse use;
    std::map<ObjectCode, std::vector<int>> entries;
    ObjectCode failAt;
    bool breakQueue;
    bool stuckQueue;
    std::vector<std::string> present; // whole sample lines
    std::vector<std::string> absent;  // line beginnings
    std::vector<int> before = {};     // in the queue before the scrape
};

const std::string kOut3Front =
    R"(ksm7720_slot_air_temperature_celsius{slot="3",position="front"} 0.3)";
const std::string kDelt3Rear =
    R"(ksm7720_slot_temperature_rise_celsius{slot="3",position="rear"} 1.625)";

} // namespace

// A reading exported despite a foreign entry after it, a verdict of 0 where the mainframe
// said over limit, an entry left from before the scrape (a scrape cut short between a
// reading and its queue check) taken for the first reading's verdict, a queue read when the
// lab said leave it, a failure that still shows readings, or a label or unit that mixes
// quantities.
TEST(RackExposition, ReadingsVerdictsAndDropsFollowTheEntriesAfterEachReading) {
    const std::vector<Case> cases{
        {"clean",
         ErrorQueueUse::Drain,
         {},
         -1,
         false,
         false,
         {"ksm7720_up 1", kOut3Front, kDelt3Rear,
          R"(ksm7720_supply_voltage_volts{supply="P5"} 0.042)",
          R"(ksm7720_blower_speed_rpm{blower="2"} 51)", "ksm7720_ambient_temperature_celsius 2.6",
          R"(ksm7720_over_limit{quantity="slot_air_temperature",object="OUT3"} 0)",
          "ksm7720_readings_dropped 0"},
         {"ksm7720_error_queue_entries", "ksm7720_blower_fitted"}},
        {"limit excursions only",
         ErrorQueueUse::Drain,
         {{kP5Volt, {201, 201}}},
         -1,
         false,
         false,
         {R"(ksm7720_supply_voltage_volts{supply="P5"} 0.042)",
          R"(ksm7720_over_limit{quantity="supply_voltage",object="P5"} 1)",
          R"(ksm7720_over_limit{quantity="blower_speed",object="BLOW2"} 0)",
          R"(ksm7720_error_queue_entries{code="201"} 2)", "ksm7720_readings_dropped 0"},
         {}},
        {"another entry drops the reading",
         ErrorQueueUse::Drain,
         {{kOut3, {201, -300}}, {kBlow2, {-113}}},
         -1,
         false,
         false,
         {"ksm7720_readings_dropped 2", R"(ksm7720_error_queue_entries{code="-300"} 1)",
          R"(ksm7720_error_queue_entries{code="-113"} 1)",
          R"(ksm7720_error_queue_entries{code="201"} 1)", kDelt3Rear},
         {R"(ksm7720_slot_air_temperature_celsius{slot="3",)",
          R"(ksm7720_blower_speed_rpm{blower="2"})",
          R"(ksm7720_over_limit{quantity="slot_air_temperature",object="OUT3"})"}},
        {"entries from before the scrape",
         ErrorQueueUse::Drain,
         {},
         -1,
         false,
         false,
         {R"(ksm7720_over_limit{quantity="blower_speed",object="BLOW1"} 0)",
          R"(ksm7720_error_queue_entries{code="201"} 2)", "ksm7720_readings_dropped 0"},
         {},
         {201, 201}},
        {"queue left alone",
         ErrorQueueUse::Leave,
         {{kDelt3, {-300}}},
         -1,
         false,
         true,
         {"ksm7720_up 1", kDelt3Rear},
         {"ksm7720_over_limit", "ksm7720_readings_dropped", "ksm7720_error_queue_entries"}},
        {"failed reading",
         ErrorQueueUse::Drain,
         {{kOut3, {-300}}},
         kBlow2,
         false,
         false,
         {"ksm7720_up 0", R"(ksm7720_info{resource="VXI0::24::INSTR",name="rack-a"} 1)"},
         {"ksm7720_blower_speed_rpm{", "ksm7720_slot_air", "ksm7720_over_limit",
          "ksm7720_readings_dropped", "ksm7720_error_queue_entries", "ksm7720_blower_fitted"}},
        {"failed error query",
         ErrorQueueUse::Drain,
         {},
         -1,
         true,
         false,
         {"ksm7720_up 0"},
         {"ksm7720_supply_voltage_volts{"}},
        {"queue never empty",
         ErrorQueueUse::Drain,
         {},
         -1,
         false,
         true,
         {"ksm7720_up 0"},
         {"ksm7720_supply_voltage_volts{"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedRack rack;
        rack.entriesAfter = c.entries;
        rack.failAt = c.failAt;
        rack.breakQueue = c.breakQueue;
        rack.stuckQueue = c.stuckQueue;
        rack.QueueBefore(c.before);
        const ScrapeResult scrape = ScrapeFrom(CSnapshotReader(c.use).Read(rack));
        std::ostringstream out;
        WriteRackExposition(scrape, {std::nullopt, "VXI0::24::INSTR", "rack-a", std::nullopt}, out);
        const std::string text = out.str();
        EXPECT_EQ(PromtoolComplaint(text), "");
        for (const std::string& line : c.present) {
            EXPECT_NE(text.find('\n' + line + '\n'), std::string::npos) << line << '\n' << text;
        }
        for (const std::string& start : c.absent) {
            EXPECT_EQ(text.find('\n' + start), std::string::npos) << start << '\n' << text;
        }
        if (c.use == ErrorQueueUse::Leave) {
            EXPECT_EQ(rack.queries, 0);
        }
    }
}

// The textfile's rack missing from a series, or the fitted blowers miscounted.
TEST(RackExposition, TextfileLabelsEverySeriesWithItsRackAndTheFittedBlowers) {
    CScriptedRack rack;
    const ScrapeResult scrape = ScrapeFrom(CSnapshotReader(ErrorQueueUse::Drain).Read(rack));
    std::ostringstream out;
    WriteRackExposition(scrape, {"VXI0::24", "VXI0::24::INSTR", "", 2}, out);
    const std::string text = out.str();
    EXPECT_EQ(PromtoolComplaint(text), "");
    std::istringstream lines(text);
    int samples = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line[0] != '#') {
            ++samples;
            EXPECT_NE(line.find(R"({rack="VXI0::24")"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(samples, 3 + 3 + 3 + 3 * 7 + 26 * 3 + 1 + 51 + 1); // fitted, and a verdict a reading
    for (const char* line : {R"(ksm7720_blower_fitted{rack="VXI0::24",blower="2"} 1)",
                             R"(ksm7720_blower_fitted{rack="VXI0::24",blower="3"} 0)"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

// A read that nobody waits for going on to the last object (holding its rack for the
// whole read), or a cancelled read reported as up with the objects read so far.
TEST(RackExposition, CancelledReadStopsBeforeItsNextObject) {
    CScriptedRack rack;
    int asked = 0;
    const ScrapeResult scrape = ScrapeFrom(
        CSnapshotReader(ErrorQueueUse::Drain, kAllKinds, [&] { return ++asked > 3; }).Read(rack));
    EXPECT_FALSE(scrape.up);
    EXPECT_TRUE(scrape.cancelled);
    EXPECT_TRUE(scrape.readings.empty());
    EXPECT_EQ(rack.queries, 4); // one error query before the first object, one after each of three
}
