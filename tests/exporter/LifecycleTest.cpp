// prometheus-ksm7720-exporter's life as a service manager sees it: reloads by SIGHUP and by
// POST /-/reload, other signals, the stop with a hung rack, the open file limit, and the
// checks and messages of a start that cannot go on.
#include "BcryptHash.h"
#include "ExporterProcess.h"
#include "unit/TempDir.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <future>

namespace {

// Waits up to 5 s until the exporter's log holds text at least count times.
bool LogShows(const CExporter& exporter, const std::string& text, int count) {
    for (int i = 0; i < 100; ++i) {
        if (Count(exporter.Log(), text) >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// A command's exit status and what it wrote on both outputs.
std::pair<int, std::string> RunCommand(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[512];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

const std::string kBothRacks = "racks:\n  - resource: VXI0::24::INSTR\n    error_queue: leave\n"
                               "    name: rack-a\n    blowers: 2\n  - resource: VXI0::32::INSTR\n";
const std::string kBadRacks = "racks:\n  - resource: VXI0::24::INSTR\n    blowers: 4\n";

} // namespace

// A reload that kills the exporter or does nothing; a new rack list not applied (also to a
// rack whose session is open: its name, blowers and error queue rule), a rack outside the
// list probed; a bad file that empties or half-applies the list, a failure not counted in
// the gauge or not logged with its file and reason, or /-/reload served without
// --web.enable-lifecycle.
TEST_F(Exporter, ReloadAppliesAGoodRackListAndKeepsTheLastOneForABadOne) {
    for (const bool bySignal : {true, false}) {
        const std::string racks = File("reload.yml", "racks:\n  - resource: VXI0::24::INSTR\n");
        CExporter exporter(sim->Dir(), bySignal
                                           ? std::vector<std::string>{"--config.file=" + racks}
                                           : std::vector<std::string>{"--config.file=" + racks,
                                                                      "--web.enable-lifecycle"});
        ASSERT_TRUE(exporter.Listening()) << exporter.Log();
        const auto reload = [&](int expectedStatus, const std::string& logged, int times) {
            if (bySignal) {
                exporter.Signal(SIGHUP);
                EXPECT_TRUE(LogShows(exporter, logged, times)) << exporter.Log();
            } else {
                EXPECT_EQ(exporter.Get("/-/reload", {"-X", "POST"}).status, expectedStatus);
            }
        };
        EXPECT_EQ(exporter.Get("/-/reload").status, bySignal ? 404 : 405)
            << "the lifecycle endpoint";
        EXPECT_EQ(exporter.Get("/probe?target=VXI0::32::INSTR").status, 403);
        EXPECT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR").status, 200); // session open
        File("reload.yml", kBothRacks);
        reload(200, "msg=\"configuration reloaded\"", 1);
        EXPECT_EQ(exporter.Get("/probe?target=VXI0::32::INSTR").status, 200) << bySignal;
        Raw("mainframe", "SIM:ERR 1");
        const Answer probe = exporter.Get("/probe?target=VXI0::24::INSTR");
        EXPECT_EQ(Raw("mainframe", "SYST:ERR:COUN?"), "1") << "the open session's old queue rule";
        EXPECT_TRUE(
            HasLine(probe.body, R"(ksm7720_info{resource="VXI0::24::INSTR",name="rack-a"} 1)"))
            << probe.body;
        EXPECT_TRUE(HasLine(probe.body, R"(ksm7720_blower_fitted{blower="3"} 0)"));
        EXPECT_EQ(probe.body.find("ksm7720_over_limit"), std::string::npos);
        Raw("mainframe", "*CLS");
        EXPECT_TRUE(HasLine(exporter.Get("/metrics").body,
                            "ksm7720_exporter_config_last_reload_successful 1"));
        File("reload.yml", kBadRacks);
        reload(500, "configuration not reloaded", 1);
        EXPECT_TRUE(exporter.Running());
        EXPECT_EQ(exporter.Get("/probe?target=VXI0::32::INSTR").status, 200) << "old list kept";
        EXPECT_TRUE(HasLine(exporter.Get("/metrics").body,
                            "ksm7720_exporter_config_last_reload_successful 0"));
        EXPECT_NE(exporter.Log().find(racks + ":3: blowers must be 1, 2 or 3"), std::string::npos)
            << exporter.Log();
        EXPECT_TRUE(HasLine(exporter.Get("/metrics").body,
                            "ksm7720_exporter_config_last_reload_failure_info{file=\"" + racks +
                                "\",reason=\"line 3: blowers must be 1, 2 or 3\"} 1"));
    }
}

// A FIFO as the rack list (as a hung mount would) hanging --config.check and every
// reload, reloads queued behind it each holding a request slot, probes stopped meanwhile,
// or a reload's reason (which may quote the file) sent to the HTTP client.
TEST_F(Exporter, FifoAsTheRackListFailsTheCheckAndTheReloadWhileProbesGoOn) {
    const std::string racks = File("fifo.yml", kBothRacks);
    CExporter exporter(sim->Dir(), {"--config.file=" + racks, "--web.enable-lifecycle"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    std::filesystem::remove(racks);
    ASSERT_EQ(::mkfifo(racks.c_str(), 0600), 0);
    const auto [status, output] = RunCommand(std::string("timeout 20 ") + EXPORTER_EXE +
                                             " --config.check --config.file=" + racks);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find(racks + ": not a regular file"), std::string::npos) << output;
    exporter.Signal(SIGHUP);
    std::vector<std::future<Answer>> reloads;
    for (int i = 0; i < 4; ++i) {
        reloads.push_back(std::async(std::launch::async, [&exporter] {
            return exporter.Get("/-/reload", {"-X", "POST"});
        }));
    }
    EXPECT_EQ(exporter.Get("/probe?target=VXI0::32::INSTR").status, 200);
    for (auto& reload : reloads) {
        const Answer answer = reload.get();
        EXPECT_TRUE(answer.status == 500 || answer.status == 409) << answer.status;
        EXPECT_EQ(answer.body.find(racks), std::string::npos) << answer.body;
    }
    EXPECT_TRUE(LogShows(exporter, racks + ": not a regular file", 2)) << exporter.Log();
    ::unlink(racks.c_str());
}

// A signal a service manager or an operator may send by habit that kills the exporter.
TEST_F(Exporter, UserSignalsAreLoggedNotFatal) {
    CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    exporter.Signal(SIGUSR1);
    exporter.Signal(SIGUSR2);
    EXPECT_TRUE(LogShows(exporter, "msg=\"signal ignored\" signal=USR2", 1)) << exporter.Log();
    EXPECT_TRUE(exporter.Running());
    EXPECT_EQ(exporter.Get("/metrics").status, 200);
    EXPECT_EQ(exporter.Stop(), 0);
}

// A stop that waits for a hung rack's calls or queued probes (past systemd's time-out), a
// probe in flight left without its answer, or an exit status other than 0.
TEST_F(Exporter, StopWithAHungRackEndsWithinSecondsAndAnswersTheProbes) {
    CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    ASSERT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR").status, 200); // session open
    Raw("mainframe", "SIM:HANG 0");
    const std::vector<std::string> longTimeOut{"-H", "X-Prometheus-Scrape-Timeout-Seconds: 60"};
    std::vector<std::future<Answer>> probes;
    for (int i = 0; i < 2; ++i) { // one reading, one waiting its turn
        probes.push_back(std::async(std::launch::async, [&] {
            return exporter.Get("/probe?target=VXI0::24::INSTR", longTimeOut);
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const auto start = Clock::now();
    EXPECT_EQ(exporter.Stop(), 0) << exporter.Log();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0);
    for (auto& probe : probes) {
        const Answer answer = probe.get();
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(HasLine(answer.body, "ksm7720_up 0")) << answer.body;
    }
    Raw("mainframe", "SIM:RES");
}

// A stop that waits for a reload still reading its files (here a pipe nobody writes).
TEST_F(Exporter, StopDoesNotWaitForAReload) {
    const std::string web = File("pipe-web.yml", "");
    CExporter exporter(sim->Dir(), {"--web.config.file=" + web});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    std::filesystem::remove(web);
    ASSERT_EQ(::mkfifo(web.c_str(), 0600), 0);
    exporter.Signal(SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    exporter.Signal(SIGTERM);
    EXPECT_TRUE(LogShows(exporter, "msg=stopped", 1)) << exporter.Log();
    ::close(::open(web.c_str(), O_WRONLY | O_NONBLOCK)); // lets a stuck reload go on
}

// The soft open file limit kept at what the exporter was given (1,024 under systemd), which
// runs out near a thousand racks.
TEST_F(Exporter, OpenFileLimitIsRaisedToTheHardOne) {
    rlimit own{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    rlimit lowered = own;
    lowered.rlim_cur = std::min<rlim_t>(256, own.rlim_max);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const CExporter exporter(sim->Dir(), {});
    ::setrlimit(RLIMIT_NOFILE, &own);
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    EXPECT_TRUE(
        HasLine(exporter.Get("/metrics").body, "process_max_fds " + std::to_string(own.rlim_max)));
}

// --config.check passing a bad file or failing a good one (or not reading a web
// configuration laid out for LoadCredential=), a cheap hash passed without a warning, an
// unknown flag not named as such, a start with a rack list that
// names one rack twice (two sessions would drain each other's error queue), a message
// without the file and line, or a missing library reported without the names tried and
// the loader's reason.
TEST(ExporterStart, ConfigCheckAndLibraryFailuresSayWhy) {
    const CTempDir dir;
    const std::string good = dir.File("good.yml", kBothRacks);
    const std::string bad = dir.File("bad.yml", kBadRacks);
    const std::string web = dir.File("web.yml", "basic_auth_users:\n  bob: plain\n");
    const std::string alias = dir.File(
        "alias.yml", "racks:\n  - resource: VXI0::24::INSTR\n  - resource: vxi0::024::instr\n");
    const std::string notElf = dir.File("libvisa.so", "not a library");
    const std::string cert = dir.File("cert.pem", "not a certificate");
    const std::string tls = dir.File("tls.yml", "tls_server_config:\n  cert_file: cert.pem\n"
                                                "  key_file: cert.pem\n");
    const std::string cheap =
        dir.File("cheap.yml", "basic_auth_users:\n  carol: '" + BcryptHash("pw", 5) + "'\n");
    // The service's credentials (here a certificate that is not one) under their own names.
    dir.File("ksm7720-web.yml",
             "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n");
    dir.File("ksm7720.crt", "not a certificate");
    const std::string dropIn =
        dir.File("credentials.conf",
                 "[Service]\nLoadCredential=web.yml:" + dir.Path() +
                     "/ksm7720-web.yml\nLoadCredential=server.crt:" + dir.Path() +
                     "/ksm7720.crt\nLoadCredential=server.key:" + dir.Path() + "/ksm7720.crt\n");
    const std::string exe = std::string("timeout 10 ") + EXPORTER_EXE;
    const struct {
        std::string command;
        int status;
        std::string output; // a part of it; empty: nothing at all
    } cases[]{
        {exe + " --config.check", 0, ""},
        {exe + " --config.check --config.file=" + good, 0, ""},
        {exe + " --config.check --config.file=" + bad, 1,
         "prometheus-ksm7720-exporter: " + bad + ":3: blowers must be 1, 2 or 3\n"},
        {exe + " --config.check --nonsense", 2, "unknown flag '--nonsense'"},
        {exe + " --config.check --web.config.file=" + cheap, 0,
         "warning: " + cheap + ": the bcrypt hash of 'carol' has a cost under 10"},
        {exe + " --config.check --web.config.file=/run/credentials/x.service/web.yml" +
             " --web.config.credentials=" + dropIn,
         1, "cert_file " + dir.Path() + "/ksm7720.crt: "},
        {exe + " --config.file=" + good + " --config.check --web.config.file=" + web, 1,
         web + ": basic_auth_users: the hash of 'bob' is not bcrypt"},
        {exe + " --web.listen-address=127.0.0.1:0 --config.file=" + alias, 1,
         alias + ":3: VXI0::024::INSTR names the same rack as VXI0::24::INSTR (" + alias + ":2)"},
        {exe + " --config.check --web.config.file=" + tls, 1, "cert_file " + cert + ": "},
        {"KSM7720_VISA_LIBRARY=" + dir.Path() + "/none.so " + exe +
             " --web.listen-address=127.0.0.1:0",
         1, "msg=\"no usable VISA library; tried: " + dir.Path() + "/none.so\""},
        {"KSM7720_VISA_LIBRARY=" + notElf + " " + exe + " --web.listen-address=127.0.0.1:0", 1,
         "reason=\"" + notElf + ": "},
    };
    for (const auto& c : cases) {
        const auto [status, output] = RunCommand(c.command);
        EXPECT_EQ(status, c.status) << c.command << '\n' << output;
        if (c.output.empty()) {
            EXPECT_EQ(output, "") << c.command;
        } else {
            EXPECT_NE(output.find(c.output), std::string::npos) << c.command << '\n' << output;
        }
    }
}
