// prometheus-ksm7720-exporter as Prometheus meets it: the real program on 127.0.0.1, the
// stand-in libraries, a simulator with two mainframes and a foreign instrument, and curl
// as the client. Every exposition it answers is checked by promtool.
#include "BcryptHash.h"
#include "ExporterProcess.h"
#include "unit/TempDir.h"

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
        {"/probe?target=VXI0::24::INSTR&target=VXI0::32::INSTR", {}, 400},
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

// The web config's users or TLS not applied: a wrong password let in, the right one
// refused, or plain HTTP served. (Which pairs pass is BasicAuth's unit test.)
TEST_F(Exporter, BasicAuthAndTlsFromTheWebConfig) {
    const std::string dir = sim->Dir();
    ASSERT_TRUE(SelfSigned(dir, "server"));
    const std::string hash = BcryptHash("secret", 5);
    ASSERT_FALSE(hash.empty());
    const std::string web = File("web.yml", "tls_server_config:\n"
                                            "  cert_file: server.crt\n"
                                            "  key_file: server.key\n"
                                            "basic_auth_users:\n"
                                            "  alice: '" +
                                                hash + "'\n");
    const CExporter exporter(dir, {"--web.config.file=" + web});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const struct {
        std::string user;
        int status;
    } cases[]{{"alice:secret", 200}, {"alice:wrong", 401}, {"", 401}};
    for (const auto& c : cases) {
        std::vector<std::string> options{"--cacert", dir + "/server.crt"};
        if (!c.user.empty()) {
            options.insert(options.end(), {"-u", c.user});
        }
        EXPECT_EQ(exporter.Get("/metrics", options, "https").status, c.status) << c.user;
    }
    EXPECT_NE(exporter.Get("/metrics", {"-u", "alice:secret"}).status, 200) << "plain HTTP";
}
