#pragma once

#include "SimProcess.h"
#include "StandIns.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

// A simulator on the default bench started for each test, the stand-in libraries loaded,
// and KSM7720_BENCH pointing the VISA library at the simulator's resolved bench.
class LiveBench : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Loaded()) << "stand-in libraries not found in " << STANDIN_DIR;
        sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench());
        ASSERT_TRUE(sim->Start()) << sim->ListeningLine();
        ::setenv("KSM7720_BENCH", sim->ResolvedBench().c_str(), 1);
    }

    // A raw SCPI connection to the default bench's mainframe, for test-only commands. A line
    // without a query is followed by one, so it has been carried out when this returns;
    // SIMulate lines use the one query a hung instrument still answers.
    std::string Raw(const std::string& line) {
        CRawClient client(sim->Port("mainframe"));
        if (line.find('?') != std::string::npos)
            return client.Query(line);
        bool simulate = line.rfind("SIM", 0) == 0;
        return client.Query(line + (simulate ? ";SIM:SPE?" : ";*OPC?"));
    }

    ViSession OpenMainframe() {
        ViSession vi = VI_NULL;
        EXPECT_EQ(lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), VI_FALSE, VI_FALSE, &vi),
                  VI_SUCCESS);
        return vi;
    }

    static double MillisecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }

    StandIns& lib = StandIns::Get();
    std::unique_ptr<CSimProcess> sim;
};
