// The snapshot reader over a scripted mainframe: verdicts from the entries after each
// reading, the base unit of every kind, and a failure that keeps no value.
#include "core/SnapshotReader.h"
#include "core/SiUnits.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

namespace {

// Answers each object code with code * 10 (the sensors front, middle, rear as +0, +1, +2)
// and the error queue from a script: the entries queued after the reading of a code.
class CScriptedMainframe : public CInstrument {
public:
    std::map<int, std::vector<ErrorEntry>> after; // code -> entries its reading queues
    std::vector<ErrorEntry> before;               // queued before the first reading
    int failAt = -1;                              // the code whose reading fails

    const double* MeasureLevel(int code, int) override {
        if (code == failAt) {
            m_status = VI_ERROR_TMO;
            throw CInstrumentException(m_status);
        }
        m_levels = {code * 10.0, code * 10.0 + 1, code * 10.0 + 2};
        const auto it = after.find(code);
        if (it != after.end()) {
            m_queue.insert(m_queue.end(), it->second.begin(), it->second.end());
        }
        return m_levels.data();
    }
    const char* QueryError(int* code) override {
        if (!m_started) {
            m_queue.insert(m_queue.begin(), before.begin(), before.end());
            m_started = true;
        }
        ++queries;
        if (m_queue.empty()) {
            *code = 0;
            return "No error";
        }
        m_current = m_queue.front();
        m_queue.pop_front();
        *code = m_current.code;
        return m_current.text.c_str();
    }
    int queries = 0;

private:
    std::deque<ErrorEntry> m_queue;
    ErrorEntry m_current{};
    bool m_started = false;
};

} // namespace

// A verdict taken from the entries before the first reading or from the wrong reading, an
// unknown one called false, values left unconverted, or queries sent with the queue left.
TEST(SnapshotReader, VerdictsUnitsAndTheQueueRules) {
    CScriptedMainframe mainframe;
    mainframe.before = {{kLimitExcursion, "left over"}};
    mainframe.after = {{50, {{kLimitExcursion, "Limit exceeded"}}}, {35, {{-300, "fault"}}}};
    const Snapshot drained = CSnapshotReader(ErrorQueueUse::Drain).Read(mainframe);
    ASSERT_TRUE(drained.up);
    ASSERT_EQ(drained.readings.size(), 3u + 7 * 3 + 27);
    std::map<std::string, const SnapshotReading*> byName;
    for (const SnapshotReading& reading : drained.readings) {
        byName[std::string(KindInfo(reading.kind).listKeyword) + " " + reading.object] = &reading;
    }
    struct Case {
        const char* name;
        double si; // the first value in the base unit
        Verdict verdict;
    };
    for (const Case& c : std::vector<Case>{{"BLOWER BLOWER1", 500, Verdict::True},
                                           {"BLOWER BLOWER2", 510, Verdict::False},
                                           {"CURRENT P5", 0.35, Verdict::Unknown},
                                           {"POWER P5", 0.27, Verdict::False},
                                           {"TEMPERATURE OUT1", 1, Verdict::False},
                                           {"TEMPERATURE AMBIENT", 26, Verdict::False},
                                           {"VOLT P5", 0.42, Verdict::False}}) {
        ASSERT_TRUE(byName.count(c.name)) << c.name;
        EXPECT_DOUBLE_EQ(byName[c.name]->siValues[0], c.si) << c.name;
        EXPECT_EQ(byName[c.name]->objectOverLimit, c.verdict) << c.name;
    }
    EXPECT_EQ(byName["TEMPERATURE OUT1"]->count, 3);
    EXPECT_DOUBLE_EQ(byName["TEMPERATURE OUT1"]->siValues[2], 1.2);
    ASSERT_EQ(drained.entries.size(), 3u);
    EXPECT_EQ(drained.entries[0].text, "left over");

    CScriptedMainframe left;
    left.after = mainframe.after;
    const Snapshot kept =
        CSnapshotReader(ErrorQueueUse::Leave, {false, false, false, false, true}).Read(left);
    EXPECT_EQ(left.queries, 0);
    ASSERT_EQ(kept.readings.size(), 7u);
    EXPECT_EQ(kept.readings[0].objectOverLimit, Verdict::Unknown);

    CScriptedMainframe failing;
    failing.failAt = 42; // VOLT P5, the last kind
    failing.after = {{50, {{kLimitExcursion, "Limit exceeded"}}}};
    const Snapshot failed = CSnapshotReader(ErrorQueueUse::Drain).Read(failing);
    EXPECT_FALSE(failed.up);
    EXPECT_TRUE(failed.readings.empty());
    EXPECT_EQ(failed.entries.size(), 1u) << "the entries met before the failure are kept";
    EXPECT_EQ(failed.statusName, "VI_ERROR_TMO");
}
