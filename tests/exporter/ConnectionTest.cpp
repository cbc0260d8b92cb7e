// prometheus-ksm7720-exporter under clients that hold its connections, guess passwords or
// give it an address it cannot listen on: the real program, loopback clients from
// addresses of their own (127.0.0.2, 127.0.0.3), and curl as the ordinary client.
#include "BcryptHash.h"
#include "ExporterProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <filesystem>

namespace {

// A TCP connection from source to the exporter on 127.0.0.1; -1 when it failed.
int ConnectFrom(const char* source, const std::string& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(std::stoi(port)));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the exporter has closed fd: readable with nothing more to read.
bool ClosedByPeer(int fd) {
    pollfd entry{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&entry, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

} // namespace

// Slow clients that send a header byte a second taking every connection, so an ordinary
// client is reset (the limits in all and per address, or the deadline for complete
// headers, missing); refusals not counted on /metrics; slow connections that outlive the
// header deadline, or whose slots are not given back once they are gone.
TEST_F(Exporter, SlowHeaderClientsFromOtherAddressesLeaveRoomForOthers) {
    const CExporter exporter(sim->Dir(), {"--web.max-requests=4"}); // 32 connections a client
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    std::vector<int> slow;
    for (const char* source : {"127.0.0.2", "127.0.0.3"}) {
        for (int i = 0; i < 40; ++i) {
            const int fd = ConnectFrom(source, exporter.Port());
            ASSERT_GE(fd, 0) << source;
            slow.push_back(fd);
        }
    }
    const auto start = Clock::now();
    const Answer served = exporter.Get("/metrics");
    EXPECT_EQ(served.status, 200);
    EXPECT_TRUE(HasLine(
        served.body,
        R"(ksm7720_exporter_http_connections_refused_total{reason="client_connection_limit"} 16)"))
        << served.body;
    // A header byte each half second, for longer than the deadline for complete headers.
    for (int round = 0; round < 30 && Clock::now() - start < std::chrono::seconds(13); ++round) {
        for (int fd : slow) {
            ::send(fd, "G", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        EXPECT_EQ(exporter.Get("/", {"--max-time", "2"}).status, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    int closed = 0;
    for (int fd : slow) {
        closed += ClosedByPeer(fd) ? 1 : 0;
        ::close(fd);
    }
    EXPECT_EQ(closed, 80);
    const Answer counted = exporter.Get("/metrics");
    EXPECT_TRUE(
        HasLine(counted.body,
                R"(ksm7720_exporter_http_connections_refused_total{reason="header_timeout"} 64)"))
        << counted.body;
    const int again = ConnectFrom("127.0.0.2", exporter.Port());
    ASSERT_GE(again, 0);
    const std::string request = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ::send(again, request.data(), request.size(), MSG_NOSIGNAL);
    char head[13] = {};
    pollfd entry{again, POLLIN, 0};
    ::poll(&entry, 1, 5000);
    ::recv(again, head, sizeof head - 1, 0);
    ::close(again);
    EXPECT_STREQ(head, "HTTP/1.1 200") << "the slow address's slots were not given back";
    EXPECT_NE(exporter.Log().find("msg=\"connections refused\" reason=header_timeout"),
              std::string::npos)
        << exporter.Log();
}

// A wrong-password flood that holds the slots for requests in flight or queues the good
// scraper behind its bcrypt checks, so the good scrape gets 503; a wrong pair let in.
TEST_F(Exporter, WrongPasswordFloodLeavesARememberedScraperServed) {
    const std::string web =
        File("flood.yml", "basic_auth_users:\n  alice: '" + BcryptHash("secret", 8) + "'\n");
    const CExporter exporter(sim->Dir(), {"--web.config.file=" + web, "--web.max-requests=4"});
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const std::vector<std::string> good{"-u", "alice:secret"};
    ASSERT_EQ(exporter.Get("/metrics", good).status, 200); // now remembered
    std::vector<std::future<std::vector<int>>> flood;
    for (int client = 0; client < 4; ++client) {
        flood.push_back(std::async(std::launch::async, [&exporter, client] {
            std::vector<int> statuses;
            for (int i = 0; i < 6; ++i) {
                const std::string pair = "alice:wrong" + std::to_string(client * 100 + i);
                statuses.push_back(exporter.Get("/metrics", {"-u", pair}).status);
            }
            return statuses;
        }));
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR", good).status, 200) << i;
    }
    for (auto& client : flood) {
        for (int status : client.get()) {
            EXPECT_TRUE(status == 401 || status == 503) << status;
        }
    }
}

// An address that is not HOST:PORT with PORT up to 65535 taken for another port, not ended
// as a usage error, or a listen failure that does not say why. (Which addresses are
// usable is ListenAddress's unit test.)
TEST_F(Exporter, ListenAddressItCannotUseEndsItWithTheReason) {
    const std::string busy = sim->Dir() + "/busy"; // a log of its own
    std::filesystem::create_directories(busy);
    const CExporter first(busy, {});
    ASSERT_TRUE(first.Listening()) << first.Log();
    const struct {
        std::string address;
        int status;
        std::string reason;
    } cases[]{
        {"127.0.0.1:70000", 2, "HOST:PORT"},
        {"127.0.0.1:" + first.Port(), 1, "the port is in use"},
    };
    for (const auto& c : cases) {
        const CExporter exporter(sim->Dir(), {"--web.listen-address=" + c.address});
        EXPECT_EQ(exporter.ExitStatus(), c.status) << c.address;
        EXPECT_NE(exporter.Log().find(c.reason), std::string::npos) << exporter.Log();
    }
}

// One client address holding every slot for requests in flight, so another client gets
// 503 too; its own requests beyond its share, or any beyond the limit in all, served (or
// refused without a count); slots not given back once the requests are answered.
TEST_F(Exporter, OneClientCannotHoldEveryRequestSlot) {
    const CExporter exporter(sim->Dir(), {"--web.max-requests=4"}); // 3 for one client
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    ASSERT_EQ(exporter.Get("/probe?target=VXI0::24::INSTR").status, 200); // session open
    Raw("mainframe", "SIM:HANG 0"); // the read fails at the driver's time-out, 3 s
    const auto hold = [&](const char* source) {
        return std::async(std::launch::async, [&exporter, source] {
            return exporter.Get(
                "/probe?target=VXI0::24::INSTR",
                {"--interface", source, "-H", "X-Prometheus-Scrape-Timeout-Seconds: 5"});
        });
    };
    std::vector<std::future<Answer>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(hold("127.0.0.1"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(exporter.Get("/").status, 503);
    EXPECT_EQ(exporter.Get("/", {"--interface", "127.0.0.2"}).status, 200);
    held.push_back(hold("127.0.0.2")); // the fourth slot
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(exporter.Get("/", {"--interface", "127.0.0.3"}).status, 503);
    for (auto& answer : held) {
        EXPECT_EQ(answer.get().status, 200);
    }
    Raw("mainframe", "SIM:RES");
    const Answer counted = exporter.Get("/metrics");
    EXPECT_EQ(counted.status, 200);
    for (const char* reason : {"client_in_flight_limit", "in_flight_limit"}) {
        EXPECT_TRUE(HasLine(counted.body,
                            std::string("ksm7720_exporter_http_requests_refused_total{reason=\"") +
                                reason + "\"} 1"))
            << counted.body;
    }
}
