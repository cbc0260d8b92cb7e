// prometheus-ksm7720-exporter as Prometheus meets it: the real program on 127.0.0.1, the
// stand-in libraries, a simulator with two mainframes and a foreign instrument, and curl
// as the client. Every exposition it answers is checked by promtool.
#include "BcryptHash.h"
#include "ExporterProcess.h"

// A bad request taken for a probe (a repeated target, or one cut short by an escaped NUL,
// probed as its first part), a resource nobody listed opened, a method or path answered
// as if it were known (the reload route without its hook), or own metrics Prometheus
// cannot read.
TEST_F(Exporter, RequestsItCannotServeAreRefusedWithTheirStatus) {
    const CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const struct {
        std::string path;
        std::vector<std::string> options;
        int status;
    } cases[]{
        {"/probe", {}, 400},
        {"/probe?target=", {}, 400},
        {"/probe?target=VXI0::24::INSTR%20x", {}, 400},
        {"/probe?target=VXI0::24::INSTR&target=VXI0::32::INSTR", {}, 400},
        {"/probe?target=VXI0::24::INSTR&targ%65t=VXI0::32::INSTR", {}, 400},
        {"/probe?target=VXI0::24::INSTR%00junk", {}, 400},
        {"/probe?target=VXI0::24::INSTR", {"-H", "X-Prometheus-Scrape-Timeout-Seconds: soon"}, 400},
        {"/probe?target=GPIB0::10::INSTR", {}, 403},
        {"/nothing", {}, 404},
        {"/metrics", {"-X", "POST"}, 405},
        {"/-/reload", {"-X", "POST"}, 404},
        {"/", {}, 200},
        {"/probe?target=vxi0::24::instr", {}, 200},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exporter.Get(c.path, c.options).status, c.status) << c.path;
    }
    const Answer own = exporter.Get("/metrics");
    EXPECT_EQ(own.status, 200);
    EXPECT_TRUE(HasLine(own.body, R"(ksm7720_exporter_probes_total{target="VXI0::24::INSTR"} 1)"))
        << own.body;
    EXPECT_EQ(own.body.find("GPIB0::10"), std::string::npos) << "a refused target counted";
}

// A foreign instrument sent anything but the identification query, or reported as read.
TEST_F(Exporter, ForeignResourceIsDownAndOnlyAskedWhoItIs) {
    const CExporter exporter(sim->Dir(), {});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const Answer probe = exporter.Get("/probe?target=GPIB0::9::INSTR");
    EXPECT_EQ(probe.status, 200);
    EXPECT_TRUE(HasLine(probe.body, "ksm7720_up 0")) << probe.body;
    EXPECT_EQ(probe.body.find("ksm7720_supply"), std::string::npos);
    // Any command it does not know would have left an entry in its error queue.
    EXPECT_EQ(Raw("dmm", "SYST:ERR?"), "0,\"No error\"");
}

// A stalled rack that holds up its own probes past the time-out, or anyone else's; a
// stalled call that makes later probes queue behind it.
TEST_F(Exporter, StalledRackIsDownWithinTheTimeOutWhileAnotherIsServed) {
    const CExporter exporter(sim->Dir(), {"--timeout-offset=0.5"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    ASSERT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR").status, 200); // session open
    Raw("mainframe", "SIM:HANG 0");
    const std::vector<std::string> timeOut{"-H", "X-Prometheus-Scrape-Timeout-Seconds: 2"};
    auto stalled = std::async(
        std::launch::async, [&] { return exporter.Get("/probe?target=VXI0::24::INSTR", timeOut); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Answer other = exporter.Get("/probe?target=VXI0::32::INSTR", timeOut);
    EXPECT_TRUE(HasLine(other.body, "ksm7720_up 1")) << other.body;
    EXPECT_LT(other.seconds, 1.0);
    const Answer down = stalled.get();
    EXPECT_TRUE(HasLine(down.body, "ksm7720_up 0")) << down.body;
    EXPECT_GT(down.seconds, 1.3);
    EXPECT_LT(down.seconds, 2.0);
    const Answer again = exporter.Get("/probe?target=VXI0::24::INSTR", timeOut);
    EXPECT_TRUE(HasLine(again.body, "ksm7720_up 0")) << again.body;
    EXPECT_LT(again.seconds, 0.5) << "queued behind the stalled call";
    Raw("mainframe", "SIM:RES"); // the stalled call ends before the exporter stops
}

// Beyond the requests allowed in flight, a request waits or is served instead of 503.
TEST_F(Exporter, RequestsBeyondTheInFlightLimitAreRefused) {
    const CExporter exporter(sim->Dir(), {"--web.max-requests=1"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    Raw("mainframe", "SIM:HANG 0");
    auto held = std::async(std::launch::async, [&] {
        return exporter.Get("/probe?target=VXI0::24::INSTR",
                            {"-H", "X-Prometheus-Scrape-Timeout-Seconds: 2"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(exporter.Get("/metrics").status, 503);
    EXPECT_EQ(held.get().status, 200);
    Raw("mainframe", "SIM:RES");
    EXPECT_EQ(exporter.Get("/metrics").status, 200);
}

// A rack outside the list probed, the lab's name, blowers or queue rule ignored, or an
// entry taken from the queue the lab said to leave to the panel.
TEST_F(Exporter, RackListDecidesTargetsLabelsAndTheErrorQueue) {
    const std::string config = File("racks.yml", "racks:\n"
                                                 "  - resource: vxi0::24::instr\n"
                                                 "    name: rack-a\n"
                                                 "    blowers: 2\n"
                                                 "    error_queue: leave\n");
    const CExporter exporter(sim->Dir(), {"--config.file=" + config});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    EXPECT_EQ(exporter.Get("/probe?target=VXI0::32::INSTR").status, 403);
    Raw("mainframe", "SIM:ERR 1");
    const Answer probe = exporter.Get("/probe?target=VXI0::24::INSTR");
    EXPECT_TRUE(HasLine(probe.body, R"(ksm7720_info{resource="VXI0::24::INSTR",name="rack-a"} 1)"));
    EXPECT_TRUE(HasLine(probe.body, R"(ksm7720_blower_fitted{blower="3"} 0)"));
    EXPECT_EQ(probe.body.find("ksm7720_over_limit"), std::string::npos);
    EXPECT_EQ(Raw("mainframe", "SYST:ERR:COUN?"), "1");
}

// A wrong password or unknown user let in (also after the right one passed), the right one
// refused, or TLS not served.
TEST_F(Exporter, BasicAuthAndTlsFromTheWebConfig) {
    const std::string dir = sim->Dir();
    const std::string openssl =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        dir + "/key.pem' -out '" + dir + "/cert.pem' 2>/dev/null";
    ASSERT_EQ(std::system(openssl.c_str()), 0);
    const std::string hash = BcryptHash("secret", 5);
    ASSERT_FALSE(hash.empty());
    const std::string web = File("web.yml", "tls_server_config:\n"
                                            "  cert_file: cert.pem\n"
                                            "  key_file: key.pem\n"
                                            "basic_auth_users:\n"
                                            "  alice: '" +
                                                hash + "'\n");
    const CExporter exporter(dir, {"--web.config.file=" + web});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const struct {
        std::string user;
        int status;
    } cases[]{{"alice:secret", 200},
              {"alice:wrong", 401},
              {"mallory:secret", 401},
              {"", 401},
              {"alice:secret", 200}}; // the right pair again, now remembered
    for (const auto& c : cases) {
        std::vector<std::string> options{"--cacert", dir + "/cert.pem"};
        if (!c.user.empty()) {
            options.insert(options.end(), {"-u", c.user});
        }
        EXPECT_EQ(exporter.Get("/metrics", options, "https").status, c.status) << c.user;
    }
    EXPECT_NE(exporter.Get("/metrics", {"-u", "alice:secret"}).status, 200) << "plain HTTP";
}
