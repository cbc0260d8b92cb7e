// A mainframe that starts as if it had already been running for a number of hours.

#include "common/BenchFile.h"
#include "server/Mainframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>

namespace {

std::string Reply(CSimInstrument& inst, const std::string& line) {
    return inst.Execute(line).reply.value_or("<none>");
}

std::vector<long> Histogram(CMainframe& mf, int code) {
    std::vector<long> out;
    std::stringstream in(Reply(mf, "HIST:DATA? " + std::to_string(code) + ",0"));
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stol(item));
    return out;
}

long Total(const std::vector<long>& counts) {
    return std::accumulate(counts.begin(), counts.end(), 0L);
}

BenchInstrument Config(int uptime, uint32_t seed = 1) {
    BenchInstrument c;
    c.seed = seed;
    c.uptime = uptime;
    return c;
}

bool NamesObject(int code) {
    return CCatalogue::Find(code) != nullptr;
}

TEST(Uptime, FittedObjectsHaveRunThatLongWithoutExcursions) {
    CSimClock clock{0.0};
    CMainframe mf{clock, Config(72), ""};
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        if (!NamesObject(code))
            continue;
        std::vector<long> hours = Histogram(mf, code);
        if (code == 52) { // the third blower is not fitted
            EXPECT_EQ(Total(hours), 0);
            continue;
        }
        // Each bin drops its part of an hour.
        EXPECT_GE(Total(hours), 72 - 9) << code;
        EXPECT_LE(Total(hours), 72) << code;
    }
    std::vector<long> blower = Histogram(mf, 51);
    EXPECT_GT(std::count_if(blower.begin(), blower.end(), [](long h) { return h > 0; }), 2);
    Reply(mf, "HIST:TUN 19");
    EXPECT_NEAR(Total(Histogram(mf, 50)), 72 * 3600, 10);
    EXPECT_EQ(Reply(mf, "SYST:ERR:COUN?;HIST:QUE:COUN?"), "0;0");
}

TEST(Uptime, TheSameSeedAndUptimeGiveTheSameHistories) {
    CSimClock clock{0.0};
    CMainframe a{clock, Config(30, 5), ""};
    CMainframe b{clock, Config(30, 5), ""};
    CMainframe other{clock, Config(30, 6), ""};
    std::string all;
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code)
        all += (code ? ";" : "") + std::string("HIST:DATA? ") + std::to_string(code) + ",0";
    Reply(a, "HIST:TUN 19");
    Reply(b, "HIST:TUN 19");
    Reply(other, "HIST:TUN 19");
    EXPECT_EQ(Reply(a, all), Reply(b, all));
    EXPECT_NE(Reply(a, all), Reply(other, all));
}

// Each bin's share of the time, for every object that keeps a history.
std::vector<double> Shares(CMainframe& mf) {
    Reply(mf, "HIST:TUN 19");
    std::vector<double> out;
    for (int code = 0; code < 52; ++code) {
        if (!NamesObject(code))
            continue;
        std::vector<long> seconds = Histogram(mf, code);
        for (long s : seconds)
            out.push_back(static_cast<double>(s) / Total(seconds));
    }
    return out;
}

// However coarse its steps, a warm-up must spread the time over the bins as running second
// by second does; a step that always met a wave at the same phase would not. Four hours
// of running differ a little from any other four hours, ten thousand hours much less.
TEST(Uptime, WarmUpSpreadsLikeRunning) {
    CSimClock clock{0.0};
    CMainframe shortRun{clock, Config(4), ""};
    CMainframe longest{clock, Config(10000), ""};
    std::vector<double> shortShares = Shares(shortRun);
    std::vector<double> longShares = Shares(longest);
    Reply(longest, "HIST:TUN 17");
    EXPECT_GE(Total(Histogram(longest, 44)), 10000 - 9);
    EXPECT_LE(Total(Histogram(longest, 44)), 10000);

    CMainframe running{clock, Config(0), ""};
    for (int s = 0; s < 4 * 3600; ++s) {
        clock.Advance(1);
        Reply(running, "HIST:QUE:COUN?");
    }
    std::vector<double> shares = Shares(running);
    ASSERT_EQ(shares.size(), shortShares.size());
    for (size_t i = 0; i < shares.size(); ++i) {
        EXPECT_NEAR(shortShares[i], shares[i], 0.08) << "object " << i / 10 << " bin " << i % 10;
        EXPECT_NEAR(longShares[i], shares[i], 0.03) << "object " << i / 10 << " bin " << i % 10;
    }
}

TEST(Uptime, NoneLeavesTheMainframeAsBefore) {
    CSimClock clock{0.0};
    CMainframe fresh{clock, Config(0), ""};
    CMainframe warmed{clock, Config(100), ""};
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code)
        EXPECT_EQ(Total(Histogram(fresh, code)), 0);
    // The present readings do not depend on how long the mainframe has run.
    clock.Advance(500);
    std::string line = "MEAS:LEV? 3;MEAS:LEV? 44;MEAS:LEV? 50";
    EXPECT_EQ(Reply(fresh, line), Reply(warmed, line));
}

} // namespace
