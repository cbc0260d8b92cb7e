// The stand-in driver library through dlopen, over the stand-in VISA library, against a
// live simulator: every entry point, its statuses, and the mainframe behind it.

#include "AllocationFailures.h"
#include "LiveBench.h"

#include <signal.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <thread>

namespace {

class LiveDriver : public LiveBench {
protected:
    void SetUp() override {
        LiveBench::SetUp();
        vi = OpenMainframe();
        ASSERT_NE(vi, ViSession{VI_NULL});
    }

    // The oldest error-queue entry as "code text".
    std::string NextError() {
        ViInt32 code = -1;
        char text[256];
        EXPECT_EQ(lib.error_query(vi, &code, text), VI_SUCCESS);
        return std::to_string(code) + " " + text;
    }

    long Sum(ViInt16 code) {
        ViInt32 counts[10];
        EXPECT_EQ(lib.getHistogram_Q(vi, code, 0, counts), VI_SUCCESS);
        return std::accumulate(counts, counts + 10, 0L);
    }

    // The one-value reading of AMBIENT; a stale reply of another query shows as more values.
    bool ReadsAmbient(ViSession session) {
        ViReal64 levels[3] = {-1, -1, -1};
        return lib.getLevel_Q(session, 26, 0, levels) == VI_SUCCESS && levels[0] > 0 &&
               levels[1] == 0 && levels[2] == 0;
    }

    static size_t OpenFds() {
        auto fds = std::filesystem::directory_iterator("/proc/self/fd");
        return static_cast<size_t>(std::distance(begin(fds), end(fds)));
    }

    ViRsrc mainframe = const_cast<ViRsrc>("VXI0::24::INSTR");
    ViSession vi = VI_NULL;
};

TEST_F(LiveDriver, InitChecksIdentityAndResetsWhenAsked) {
    ViSession other = 77;
    EXPECT_EQ(lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), VI_TRUE, VI_FALSE, &other),
              VI_SUCCESS);
    EXPECT_EQ(lib.init(const_cast<ViRsrc>("GPIB0::9::INSTR"), VI_TRUE, VI_FALSE, &other),
              VI_ERROR_FAIL_ID_QUERY);
    EXPECT_EQ(other, ViSession{VI_NULL});
    EXPECT_LT(lib.init(const_cast<ViRsrc>("VXI0::99::INSTR"), VI_FALSE, VI_FALSE, &other), 0);
    EXPECT_LT(lib.init(const_cast<ViRsrc>(""), VI_FALSE, VI_FALSE, &other), 0);
    EXPECT_EQ(lib.init(nullptr, VI_FALSE, VI_FALSE, &other), VI_ERROR_PARAMETER1);
    EXPECT_EQ(lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), 0, 0, nullptr), VI_ERROR_PARAMETER4);

    ASSERT_EQ(lib.setMessage(vi, const_cast<ViString>("before reset")), VI_SUCCESS);
    ASSERT_EQ(lib.setLimit(vi, 3, 123.0), VI_SUCCESS);
    ASSERT_EQ(lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), VI_FALSE, VI_FALSE, &other),
              VI_SUCCESS);
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"before reset\"");
    ASSERT_EQ(lib.init(const_cast<ViRsrc>("vxi0::24::instr"), VI_FALSE, VI_TRUE, &other),
              VI_SUCCESS);
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"\"");
    EXPECT_EQ(Raw("LIM? 3"), "550");
}

TEST_F(LiveDriver, ReadingsAndLimitExcursions) {
    ViReal64 levels[3] = {-1, -1, -1};
    ASSERT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_SUCCESS);
    EXPECT_GT(levels[0], 200); // tenths of a degree: front < middle < rear, all warm air
    EXPECT_LT(levels[0], levels[2]);
    EXPECT_LT(levels[2], 550);
    ASSERT_EQ(lib.getLevel_Q(vi, 44, 0, levels), VI_SUCCESS); // N12 voltage
    EXPECT_NEAR(levels[0], -12000, 100);
    EXPECT_EQ(levels[1], 0.0);
    ASSERT_EQ(lib.getLevel_Q(vi, 50, 0, levels), VI_SUCCESS); // blower 1 fitted
    EXPECT_NEAR(levels[0], 2800, 150);
    ASSERT_EQ(lib.getLevel_Q(vi, 52, 0, levels), VI_SUCCESS); // blower 3 not fitted
    EXPECT_EQ(levels[0], 0.0);
    EXPECT_EQ(NextError(), "0 No error");

    ASSERT_EQ(lib.setLimit(vi, 3, 100.0), VI_SUCCESS);
    ASSERT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_SUCCESS);
    EXPECT_EQ(NextError().rfind("201 Limit exceeded; TEMP OUT3 reads ", 0), 0u);
    EXPECT_EQ(NextError(), "0 No error");
    EXPECT_EQ(Raw("HIST:QUE:COUN?"), "1");
    EXPECT_EQ(lib.setLimit(vi, 3, NAN), VI_ERROR_PARAMETER3);
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, nullptr), VI_ERROR_PARAMETER4);
}

TEST_F(LiveDriver, CodesThatNameNothingAreOutOfRange) {
    ViReal64 levels[3];
    ViInt32 counts[10];
    for (ViInt16 code : {34, 49, 53, 55, 1000, -1}) {
        EXPECT_EQ(lib.getLevel_Q(vi, code, 0, levels), VI_SUCCESS);
        EXPECT_EQ(NextError(), "-222 Data out of range") << code;
        EXPECT_EQ(lib.getHistogram_Q(vi, code, 0, counts), VI_SUCCESS);
        EXPECT_EQ(NextError(), "-222 Data out of range") << code;
    }
    for (ViInt16 code : {34, 49, 55, 1000}) {
        EXPECT_EQ(lib.resetHistory(vi, code), VI_SUCCESS);
        EXPECT_EQ(NextError(), "-222 Data out of range") << code;
    }
    for (ViInt16 code : {0, 52, 53, 54})
        EXPECT_EQ(lib.resetHistory(vi, code), VI_SUCCESS);
    EXPECT_EQ(lib.getHistogram_Q(vi, 42, 3, counts), VI_SUCCESS);
    EXPECT_EQ(NextError(), "-222 Data out of range");
    EXPECT_EQ(NextError(), "0 No error");
}

TEST_F(LiveDriver, ErrorQueueIsFifoAndOverflows) {
    Raw("SIM:ERR 3");
    EXPECT_EQ(NextError(), "-300 Device-specific error; injected fault 1 of 3");
    EXPECT_EQ(NextError(), "-300 Device-specific error; injected fault 2 of 3");
    EXPECT_EQ(NextError(), "-300 Device-specific error; injected fault 3 of 3");
    EXPECT_EQ(NextError(), "0 No error");

    Raw("SIM:ERR 40");
    for (int i = 1; i < 30; ++i)
        EXPECT_EQ(NextError(),
                  "-300 Device-specific error; injected fault " + std::to_string(i) + " of 40");
    EXPECT_EQ(NextError(), "-350 Queue overflow");
    EXPECT_EQ(NextError(), "0 No error");
}

TEST_F(LiveDriver, HistogramsCountTimeInTheChosenUnit) {
    // The default bench's mainframe has already run for three days, counted in hours.
    EXPECT_GE(Sum(42), 72 - 9);
    EXPECT_LE(Sum(42), 72);
    ASSERT_EQ(lib.resetHistory(vi, 54), VI_SUCCESS);

    ViInt32 value = 0;
    ASSERT_EQ(lib.setAttribute(vi, 2, 19), VI_SUCCESS);
    ASSERT_EQ(lib.getAttribute_Q(vi, 2, &value), VI_SUCCESS);
    EXPECT_EQ(value, 19);
    Raw("SIM:ADV 600");
    long seconds = Sum(42);
    EXPECT_GE(seconds, 590);
    EXPECT_LE(seconds, 600);
    ASSERT_EQ(lib.setAttribute(vi, 2, 18), VI_SUCCESS);
    EXPECT_GE(Sum(42), 5);
    EXPECT_LE(Sum(42), 10);

    ViInt32 low[10], high[10];
    ASSERT_EQ(lib.getHistogram_Q(vi, 42, 1, low), VI_SUCCESS);
    ASSERT_EQ(lib.getHistogram_Q(vi, 42, 2, high), VI_SUCCESS);
    for (int k = 0; k < 10; ++k) {
        EXPECT_LT(low[k], high[k]);
        EXPECT_LE(low[k], 5000 + 100);
        if (k) {
            EXPECT_EQ(low[k], high[k - 1] + 1);
        }
    }

    ASSERT_EQ(lib.setAttribute(vi, 2, 19), VI_SUCCESS);
    ASSERT_EQ(lib.resetHistory(vi, 42), VI_SUCCESS);
    EXPECT_EQ(Sum(42), 0);
    EXPECT_GT(Sum(43), 0);
    ASSERT_EQ(lib.resetHistory(vi, 54), VI_SUCCESS);
    EXPECT_EQ(Sum(43), 0);

    EXPECT_EQ(lib.setAttribute(vi, 2, 20), VI_SUCCESS);
    EXPECT_EQ(NextError(), "-222 Data out of range");
    EXPECT_EQ(lib.setAttribute(vi, 3, 17), VI_ERROR_PARAMETER2);
    EXPECT_EQ(lib.getAttribute_Q(vi, 2, nullptr), VI_ERROR_PARAMETER3);
}

TEST_F(LiveDriver, SelfTestDisplayAndNonVolatileMemory) {
    ViInt16 result = -1;
    char text[256];
    ASSERT_EQ(lib.self_test(vi, &result, text), VI_SUCCESS);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(text, "Self test passed");
    ASSERT_EQ(lib.setLimit(vi, 42, 10.0), VI_SUCCESS);
    ASSERT_EQ(lib.self_test(vi, &result, text), VI_SUCCESS);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(text, "Self test failed: 1 readings beyond their limits, first VOLT P5");
    ASSERT_EQ(lib.reset(vi), VI_SUCCESS);

    ASSERT_EQ(lib.setMessage(vi, const_cast<ViString>("He said \"hi\"; ok")), VI_SUCCESS);
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"He said \"\"hi\"\"; ok\"");
    std::string tooLong(41, 'x');
    EXPECT_EQ(lib.setMessage(vi, tooLong.data()), VI_SUCCESS);
    EXPECT_EQ(NextError(), "-223 Too much data; the display takes at most 40 printable ASCII "
                           "characters; this text holds 41");
    EXPECT_EQ(lib.setMessage(vi, const_cast<ViString>("two\nlines")), VI_ERROR_PARAMETER2);
    EXPECT_EQ(lib.setMessage(vi, nullptr), VI_ERROR_PARAMETER2);
    EXPECT_EQ(lib.NVMem(vi, 2), VI_ERROR_PARAMETER2);
    EXPECT_EQ(lib.NVMem(vi, 1), VI_SUCCESS);
}

// A refused call's status text says what was wrong, not which parameter it was.
TEST_F(LiveDriver, RefusalsAreExplainedInWords) {
    const std::pair<std::function<ViStatus()>, const char*> refusals[] = {
        {[&] { return lib.setMessage(vi, const_cast<ViString>("tab\there")); },
         "no line breaks, tabs"},
        {[&] { return lib.setMessage(vi, std::string(1100, 'x').data()); }, "over 1024"},
        {[&] { return lib.NVMem(vi, 2); }, "1, save"},
        {[&] { return lib.setAttribute(vi, 3, 17); }, "histogram time unit"},
        {[&] { return lib.timeOut(vi, -1); }, "negative"},
        {[&] { return lib.setLimit(vi, 3, NAN); }, "finite number"},
        {[&] { return lib.getLevel_Q(vi, 3, 0, nullptr); }, "No place for the result"},
    };
    char text[256];
    for (const auto& [call, words] : refusals) {
        ViStatus status = call();
        ASSERT_LT(status, VI_SUCCESS) << words;
        ASSERT_EQ(lib.error_message(vi, status, text), VI_SUCCESS);
        EXPECT_NE(std::strstr(text, words), nullptr) << text;
    }
}

TEST_F(LiveDriver, SettingsSurviveARestartAndResetRestoresThem) {
    ASSERT_EQ(lib.setLimit(vi, 5, 444.5), VI_SUCCESS);
    ASSERT_EQ(lib.setAttribute(vi, 2, 18), VI_SUCCESS);
    ASSERT_EQ(lib.NVMem(vi, 1), VI_SUCCESS);
    ASSERT_EQ(lib.setLimit(vi, 6, 1.0), VI_SUCCESS); // not saved

    sim->Stop();
    ASSERT_TRUE(sim->Start());
    vi = OpenMainframe();
    ViInt32 unit = 0;
    ASSERT_EQ(lib.getAttribute_Q(vi, 2, &unit), VI_SUCCESS);
    EXPECT_EQ(unit, 18);
    EXPECT_EQ(Raw("LIM? 5"), "444.5");
    EXPECT_EQ(Raw("LIM? 6"), "550");

    ASSERT_EQ(lib.setLimit(vi, 5, 1.0), VI_SUCCESS);
    ASSERT_EQ(lib.setAttribute(vi, 2, 19), VI_SUCCESS);
    ASSERT_EQ(lib.reset(vi), VI_SUCCESS);
    EXPECT_EQ(Raw("LIM? 5"), "444.5");
    ASSERT_EQ(lib.getAttribute_Q(vi, 2, &unit), VI_SUCCESS);
    EXPECT_EQ(unit, 18);
}

TEST_F(LiveDriver, TimeOutThenRecovery) {
    ASSERT_EQ(lib.timeOut(vi, 200), VI_SUCCESS);
    EXPECT_EQ(lib.timeOut(vi, -1), VI_ERROR_PARAMETER2);
    Raw("SIM:HANG 0");
    ViReal64 levels[3];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_ERROR_TMO);
    double ms = MillisecondsSince(start);
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 1500);
    Raw("SIM:RES");
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_SUCCESS);

    Raw("SIM:HANG 300"); // for a time: answers again by itself
    EXPECT_EQ(lib.reset(vi), VI_ERROR_TMO);
    ::usleep(150 * 1000);
    EXPECT_EQ(lib.reset(vi), VI_SUCCESS);
}

// The mainframe frozen past the time-out once, twice and three times, then resumed: its late
// replies must never answer a later query. Time stands still, so every histogram part and
// reading read afterwards through the driver must equal what the simulator itself holds.
TEST_F(LiveDriver, LateRepliesNeverAnswerLaterQueries) {
    ASSERT_EQ(lib.timeOut(vi, 150), VI_SUCCESS);
    ViInt32 values[10];
    ViReal64 levels[3];
    for (int stalls = 1; stalls <= 3; ++stalls) {
        sim->Signal(SIGSTOP);
        for (ViInt16 i = 0; i < stalls; ++i)
            EXPECT_EQ(lib.getHistogram_Q(vi, static_cast<ViInt16>(42 + i), i, values),
                      VI_ERROR_TMO);
        sim->Signal(SIGCONT);
        for (ViInt16 code : {42, 50, 3, 36}) {
            for (ViInt16 part = 0; part < 3; ++part) {
                ASSERT_EQ(lib.getHistogram_Q(vi, code, part, values), VI_SUCCESS);
                std::string joined;
                for (ViInt32 v : values)
                    joined += (joined.empty() ? "" : ",") + std::to_string(v);
                EXPECT_EQ(joined,
                          Raw("HIST:DATA? " + std::to_string(code) + "," + std::to_string(part)))
                    << stalls << " stalls, code " << code << " part " << part;
            }
            ASSERT_EQ(lib.getLevel_Q(vi, code, 0, levels), VI_SUCCESS);
            EXPECT_EQ(levels[0], std::stod(Raw("MEAS:LEV? " + std::to_string(code))))
                << stalls << " stalls, code " << code;
        }
    }
}

TEST_F(LiveDriver, LostLinksAndFailedCommands) {
    ViReal64 levels[3];
    Raw("SIM:DROP");
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_ERROR_CONN_LOST);
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_SUCCESS);

    Raw("SIM:FAIL 2");
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(lib.reset(vi), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(lib.reset(vi), VI_SUCCESS);

    ASSERT_EQ(lib.timeOut(vi, 200), VI_SUCCESS);
    sim->Signal(SIGKILL);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_ERROR_CONN_LOST);
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_ERROR_CONN_LOST);
    EXPECT_LT(MillisecondsSince(start), 1000);
    ASSERT_TRUE(sim->Start());
    EXPECT_EQ(lib.getLevel_Q(vi, 3, 0, levels), VI_SUCCESS);
}

TEST_F(LiveDriver, StatusTextsStayWithinTheirBuffer) {
    const ViStatus statuses[] = {VI_ERROR_PARAMETER1, VI_ERROR_PARAMETER2,    VI_ERROR_PARAMETER3,
                                 VI_ERROR_PARAMETER4, VI_ERROR_FAIL_ID_QUERY, VI_ERROR_INV_RESPONSE,
                                 VI_ERROR_TMO,        VI_ERROR_CONN_LOST,     VI_ERROR_RSRC_NFOUND,
                                 VI_ERROR_INV_SETUP,  VI_ERROR_INV_OBJECT,    VI_SUCCESS};
    char buffer[300];
    for (ViStatus status : statuses) {
        std::memset(buffer, 0x55, sizeof buffer);
        EXPECT_EQ(lib.error_message(vi, status, buffer), VI_SUCCESS) << std::hex << status;
        EXPECT_GT(std::strlen(buffer), 5u);
        EXPECT_LT(std::strlen(buffer), 256u);
        EXPECT_EQ(buffer[256], 0x55);
    }
    EXPECT_EQ(lib.error_message(VI_NULL, 0x1234567, buffer), VI_WARN_UNKNOWN_STATUS);
    EXPECT_EQ(lib.error_message(vi, VI_ERROR_TMO, nullptr), VI_ERROR_PARAMETER3);

    // An error text longer than the buffer is cut, not overrun.
    Raw(std::string(400, 'A')); // an undefined header, quoted in the error text
    ViInt32 code = 0;
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_EQ(lib.error_query(vi, &code, buffer), VI_SUCCESS);
    EXPECT_EQ(code, -113);
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(buffer[256], 0x55);
}

// Each thread has its own session: odd ones read OUT0 (three values) and record one refusal,
// even ones read AMBIENT (one value) and record another of the same status, so a reply or a
// reason that crossed to another session shows.
TEST_F(LiveDriver, ManySessionsOnManyThreadsNeverMixRepliesOrReasons) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 100;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, odd = t % 2 == 1] {
            ViSession own = VI_NULL;
            if (lib.init(mainframe, VI_TRUE, VI_FALSE, &own) != VI_SUCCESS)
                return void(++failures);
            const char* reason = odd ? "The non-volatile" : "The display";
            for (int i = 0; i < kRounds; ++i) {
                ViReal64 levels[3] = {-1, -1, -1};
                char text[256] = "";
                bool read = lib.getLevel_Q(own, odd ? 0 : 26, 0, levels) == VI_SUCCESS &&
                            levels[0] > 0 && (levels[2] > 0) == odd;
                ViStatus refused =
                    odd ? lib.NVMem(own, 9) : lib.setMessage(own, const_cast<ViString>("\t"));
                lib.error_message(own, refused, text);
                if (!read || std::strncmp(text, reason, std::strlen(reason)) != 0)
                    ++failures;
            }
            if (lib.close(own) != VI_SUCCESS)
                ++failures;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
}

// A session closes once, taking its socket with it. A stalled session that is given up is
// closed from another thread while its call is still blocked; the call ends at its time-out
// (or finds the session closed if it starts late) and the socket goes when it returns.
TEST_F(LiveDriver, CloseReleasesTheSocketOnceAndSparesABlockedCall) {
    const size_t before = OpenFds();
    ViSession second = OpenMainframe();
    EXPECT_EQ(OpenFds(), before + 1);
    EXPECT_EQ(lib.close(second), VI_SUCCESS);
    EXPECT_EQ(OpenFds(), before);
    for (ViSession closed : {second, ViSession{VI_NULL}, ViSession{0x7FFFFFF0}})
        EXPECT_EQ(lib.close(closed), VI_ERROR_INV_OBJECT);
    EXPECT_FALSE(ReadsAmbient(second));

    ASSERT_EQ(lib.timeOut(vi, 300), VI_SUCCESS);
    Raw("SIM:HANG 0");
    ViStatus stalledStatus = VI_SUCCESS;
    std::thread stalled([&] {
        ViReal64 levels[3];
        stalledStatus = lib.getLevel_Q(vi, 26, 0, levels);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lib.close(vi), VI_SUCCESS);
    stalled.join();
    Raw("SIM:RES");
    EXPECT_TRUE(stalledStatus == VI_ERROR_TMO || stalledStatus == VI_ERROR_INV_OBJECT)
        << std::hex << stalledStatus;
    EXPECT_EQ(OpenFds(), before - 1);
}

// Every allocation an entry point makes fails in turn: each time the call answers
// VI_ERROR_ALLOC rather than unwinding into its C caller, and afterwards the session still
// answers each query with its own reply.
TEST_F(LiveDriver, AllocationFailuresComeBackAsStatusNotAsExceptions) {
    ViSession opened = VI_NULL;
    ViSession rm = VI_NULL;
    ASSERT_EQ(lib.OpenDefaultRM(&rm), VI_SUCCESS);
    const std::pair<const char*, std::function<ViStatus()>> calls[] = {
        {"ksm7720_init", [&] { return lib.init(mainframe, VI_TRUE, VI_TRUE, &opened); }},
        {"ksm7720_getLevel_Q",
         [&] {
             ViReal64 l[3];
             return lib.getLevel_Q(vi, 0, 0, l);
         }},
        {"ksm7720_setMessage",
         [&] { return lib.setMessage(vi, const_cast<ViString>("QUOTE \"Q\"")); }},
        {"ksm7720_error_query",
         [&] {
             ViInt32 code;
             char text[256];
             return lib.error_query(vi, &code, text);
         }},
        {"viOpenDefaultRM",
         [&] {
             ViSession s;
             return lib.OpenDefaultRM(&s);
         }},
        {"viFindRsrc",
         [&] {
             char d[VI_FIND_BUFLEN];
             return lib.FindRsrc(rm, "?*", nullptr, nullptr, d);
         }},
    };
    for (const auto& [name, call] : calls) {
        ViStatus status = VI_ERROR_ALLOC;
        for (int n = 0; status == VI_ERROR_ALLOC && n < 10000; ++n) {
            FailAllocationsFrom(n);
            status = call();
            AllowAllocations();
        }
        EXPECT_EQ(status, VI_SUCCESS) << name;
        EXPECT_TRUE(ReadsAmbient(vi)) << name;
    }
    EXPECT_TRUE(ReadsAmbient(opened));
    EXPECT_EQ(lib.close(opened), VI_SUCCESS);
}

} // namespace
