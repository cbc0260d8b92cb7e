// How the exporter shares its racks among probes: one read at a time per rack, shared by
// every probe that can wait for it; a rack that hangs holds up nobody else; one rack is
// one rack whatever its spelling; a foreign instrument is asked who it is once.
#include "ExporterProcess.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>

namespace {

const std::vector<std::string> kLongTimeOut{"-H", "X-Prometheus-Scrape-Timeout-Seconds: 120"};

// The time the exporter says it took, apart from the client's own.
double ScrapeSeconds(const std::string& body) {
    const std::string name = "\nksm7720_scrape_duration_seconds ";
    const auto at = body.find(name);
    return at == std::string::npos ? -1.0 : std::atof(body.c_str() + at + name.size());
}

// The process's open descriptors and threads.
std::pair<int, int> Held(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto fds = std::distance(std::filesystem::directory_iterator(proc + "/fd"), {});
    const std::string status = ReadFile(proc + "/status");
    const auto at = status.find("\nThreads:");
    return {static_cast<int>(fds), at == std::string::npos ? -1 : std::atoi(&status[at + 9])};
}

} // namespace

// A Prometheus HA pair: the second probe answered not up, served by a read of its own (and
// so finding the queue the first read drained empty), or queued behind the first.
TEST_F(Exporter, ProbesOfOneRackShareOneRead) {
    const CExporter exporter(sim->Dir(), {"--log.level=debug"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    ASSERT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR").status, 200); // session open
    Raw("mainframe", "SIM:ERR 1");
    sim->Signal(SIGSTOP); // the read waits for its first reply until the simulator goes on
    auto first = std::async(std::launch::async,
                            [&] { return exporter.Get("/probe?target=VXI0::24::INSTR"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto second = std::async(std::launch::async,
                             [&] { return exporter.Get("/probe?target=VXI0::24::INSTR"); });
    // Well within the driver's I/O time-out of 3 s, so the read goes on when it resumes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sim->Signal(SIGCONT);
    for (const Answer& answer : {first.get(), second.get()}) {
        EXPECT_TRUE(HasLine(answer.body, "ksm7720_up 1")) << answer.body;
        EXPECT_TRUE(HasLine(answer.body, R"(ksm7720_error_queue_entries{code="-300"} 1)"))
            << answer.body;
    }
    EXPECT_EQ(Count(exporter.Log(), "msg=\"rack read\" target=VXI0::24::INSTR"), 2)
        << exporter.Log();
}

// Probes of a rack that does not answer each holding a request slot (every other rack
// then answered 503), from its very first opening on; waiting for a read that will fail,
// or past the scrape time-out less the offset; or a hung rack that holds up another's
// probe.
TEST_F(Exporter, ProbesOfAHungRackAnswerAtOnceOrByTheDeadlineAndHoldUpNoOtherRack) {
    const CExporter exporter(sim->Dir(), {"--timeout-offset=0.5", "--log.level=debug"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    // Never read before: the silent port's opening waits 3 s for an identification that
    // never comes, longer than the probes' 1.5 s.
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::future<std::pair<Answer, double>>> hung;
    for (int i = 0; i < 40; ++i) {
        hung.push_back(std::async(std::launch::async, [&] {
            const double start =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            return std::pair{exporter.Get("/probe?target=ASRL1::INSTR",
                                          {"-H", "X-Prometheus-Scrape-Timeout-Seconds: 2"}),
                             start};
        }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const Answer healthy = exporter.Get("/probe?target=VXI0::32::INSTR");
    EXPECT_EQ(healthy.status, 200);
    EXPECT_TRUE(HasLine(healthy.body, "ksm7720_up 1")) << healthy.body;
    EXPECT_LT(ScrapeSeconds(healthy.body), 1.5) << "held up by the hung rack";
    double longest = 0.0;
    double first = 1e9;
    double last = 0.0;
    for (auto& probe : hung) {
        const auto [answer, start] = probe.get();
        EXPECT_TRUE(HasLine(answer.body, "ksm7720_up 0")) << answer.body;
        const double seconds = ScrapeSeconds(answer.body);
        longest = std::max(longest, seconds);
        const double arrived = start + answer.seconds - seconds; // as the exporter saw it
        first = std::min(first, arrived);
        last = std::max(last, arrived);
    }
    EXPECT_GT(longest, 1.3) << "a waiting probe gave up before its deadline";
    EXPECT_LT(longest, 2.0) << "a waiting probe answered past its deadline";
    // At most four probes wait for a read at a time, and a waiting one gives up its place
    // only at its deadline, 1.5 s after it came; after the first opening failed (3 s), only
    // a probe that found no read running starts one and waits for it. A loaded machine
    // starts the 40 clients over a longer time, and more probes may then wait in turn:
    // what was decided is counted from the exporter's log, against that spread.
    const int spreads = static_cast<int>((last - first) / 1.5);
    const int atOnce = Count(exporter.Log(), "msg=\"rack not read for this probe\"");
    EXPECT_LE(Count(exporter.Log(), "rack did not answer in time while it was opened"), 4);
    EXPECT_GE(atOnce, 40 - 4 * (1 + spreads) - (1 + spreads / 2))
        << "probes spread over " << last - first << " s\n"
        << exporter.Log();
}

// A foreign instrument reported as read, sent anything but the identification query, or
// asked "*IDN?" on every probe (each costing its time-out once it stops answering); or an
// alias of it opened as a rack of its own.
TEST_F(Exporter, ForeignInstrumentIsDownAndIdentifiedOnce) {
    const CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const Answer probe = exporter.Get("/probe?target=GPIB0::9::INSTR");
    EXPECT_TRUE(HasLine(probe.body, "ksm7720_up 0")) << probe.body;
    EXPECT_EQ(probe.body.find("ksm7720_supply"), std::string::npos);
    // Any command it does not know would have left an entry in its error queue.
    EXPECT_EQ(Raw("dmm", "SYST:ERR?"), "0,\"No error\"");
    Raw("dmm", "SIM:HANG 0"); // asked again, it would not answer within the time-out
    for (const char* target : {"GPIB0::9::INSTR", "gpib0::09"}) {
        const Answer again = exporter.Get(std::string("/probe?target=") + target);
        EXPECT_TRUE(HasLine(again.body, "ksm7720_up 0")) << again.body;
        EXPECT_LT(again.seconds, 2.0) << target;
    }
    Raw("dmm", "SIM:RES");
    EXPECT_EQ(Count(exporter.Log(), "status=VI_ERROR_FAIL_ID_QUERY code=0xBFFC0011"), 1)
        << exporter.Log();
}

// A rack dropped by a reload keeping its session, descriptor and worker thread until exit.
TEST_F(Exporter, ReloadsCloseTheSessionsOfDroppedRacks) {
    const auto list = [&](std::vector<std::string> racks) {
        std::string text = "racks:\n";
        for (const std::string& rack : racks) {
            text += "  - resource: " + rack + "\n";
        }
        return File("dropped.yml", text);
    };
    const CExporter exporter(
        sim->Dir(), {"--config.file=" + list({"VXI0::24::INSTR"}), "--web.enable-lifecycle"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const auto reloadAndProbe = [&](std::vector<std::string> racks) {
        list(racks);
        ASSERT_EQ(exporter.Get("/-/reload", {"-X", "POST"}).status, 200) << exporter.Log();
        for (const std::string& rack : racks) {
            ASSERT_TRUE(HasLine(exporter.Get("/probe?target=" + rack).body, "ksm7720_up 1"));
        }
    };
    reloadAndProbe({"VXI0::24::INSTR"});
    const auto level = Held(exporter.Pid());
    const std::vector<std::vector<std::string>> lists{
        {"VXI0::24::INSTR", "VXI0::32::INSTR"}, {"VXI0::32::INSTR"}, {"VXI0::24::INSTR"}};
    for (int i = 0; i < 50; ++i) {
        reloadAndProbe(lists[i % lists.size()]);
    }
    reloadAndProbe({"VXI0::24::INSTR"});
    // The dropped session closes on its worker, a moment after the reload answered.
    for (int i = 0; i < 100 && Held(exporter.Pid()) != level; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(Held(exporter.Pid()), level) << "descriptors, threads";
}

// /probe?debug=true answering the exposition or nothing of the probe's steps, a failed
// call without its status (in the answer or the log: a read that failed at its error
// query logged as VI_SUCCESS), or a refused target probed all the same.
TEST_F(Exporter, DebugProbeAnswersItsOwnSteps) {
    const CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    Raw("mainframe", "SIM:ERR 1");
    const Answer good = exporter.Get("/probe?target=VXI0::24::INSTR&debug=true");
    EXPECT_EQ(good.status, 200);
    Raw("mainframe", "SIM:HANG 0"); // the read's first call, the queue's check, fails
    const Answer hung = exporter.Get("/probe?target=VXI0::24::INSTR&debug=true", kLongTimeOut);
    Raw("mainframe", "SIM:RES");
    const Answer refused = exporter.Get("/probe?target=VXI0::99::INSTR&debug=true");
    const std::vector<std::pair<const Answer*, std::vector<std::string>>> expected{
        {&good,
         {"s opening VXI0::24::INSTR with identification\n",
          "s opened and identified as a mainframe: VI_SUCCESS\n",
          "s error queue entry: Device-specific error", "s TEMPERATURE OUT1: VI_SUCCESS\n",
          "s ksm7720_up 1: "}},
        {&hung, {"s error queue failed: VI_ERROR_TMO\n", "s session closed\n", "s ksm7720_up 0\n"}},
        {&refused, {"target is not among the racks"}},
    };
    for (const auto& [answer, parts] : expected) {
        for (const std::string& part : parts) {
            EXPECT_NE(answer->body.find(part), std::string::npos) << part << " in\n"
                                                                  << answer->body;
        }
    }
    EXPECT_EQ(refused.status, 403);
    EXPECT_NE(exporter.Log().find("msg=\"rack read failed; its session is closed\" "
                                  "target=VXI0::24::INSTR status=VI_ERROR_TMO"),
              std::string::npos)
        << exporter.Log();
}

// A read whose drain never ends logged and traced as the status read back after it
// (VI_SUCCESS), or without the entries it took.
TEST_F(Exporter, AFailedDrainIsLoggedWithItsOwnStatusAndEntries) {
    ::setenv("KSM7720_DRIVER_LIBRARY", RECORDING_DRIVER, 1);
    ::setenv("KSM7720_ERROR_QUERY", "endless", 1);
    const CExporter exporter(sim->Dir(), {});
    ::setenv("KSM7720_DRIVER_LIBRARY", DRIVER_LIBRARY, 1);
    ::unsetenv("KSM7720_ERROR_QUERY");
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const Answer traced = exporter.Get("/probe?target=VXI0::24::INSTR&debug=true");
    EXPECT_NE(traced.body.find("s error queue failed: ERROR_QUEUE_NOT_EMPTIED\n"),
              std::string::npos)
        << traced.body;
    EXPECT_NE(exporter.Log().find("status=ERROR_QUEUE_NOT_EMPTIED code=0xBFFC0D08"),
              std::string::npos)
        << exporter.Log();
    EXPECT_NE(exporter.Log().find(" entries=100"), std::string::npos) << exporter.Log();
}
