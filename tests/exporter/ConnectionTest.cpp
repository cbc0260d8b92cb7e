// prometheus-ksm7720-exporter under clients that hold its connections, guess passwords or
// give it an address it cannot listen on: the real program, loopback clients from
// addresses of their own (127.0.0.2, 127.0.0.3), and curl as the ordinary client.
#include "BcryptHash.h"
#include "ExporterProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
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

// One request from source on a connection of its own, read to its end; status -1 when
// there was no answer.
Answer RawGet(const char* source, const std::string& port, const std::string& path,
              const std::string& headers = "") {
    Answer answer{-1, "", 0.0};
    const int fd = ConnectFrom(source, port);
    if (fd < 0) {
        return answer;
    }
    const timeval wait{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const std::string request =
        "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers + "\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[4096];
    // A stopped or continued child (the bench) interrupts recv with SIGCHLD.
    for (ssize_t got = 0;
         (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0 || (got < 0 && errno == EINTR);) {
        text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    ::close(fd);
    const std::size_t body = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) == 0 && body != std::string::npos) {
        answer.status = std::atoi(text.c_str() + 9);
        answer.body = text.substr(body + 4);
    }
    return answer;
}

// One request on the kept-alive connection fd, its answer read up to its body's end;
// status -1 when the connection was closed.
int KeptAliveGet(int fd, const std::string& path) {
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t end = std::string::npos; end == std::string::npos || text.size() < end;) {
        pollfd entry{fd, POLLIN, 0};
        const ssize_t got =
            ::poll(&entry, 1, 10000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : 0;
        if (got <= 0) {
            return -1;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        const std::size_t head = text.find("\r\n\r\n");
        const std::size_t length = text.find("Content-Length: ");
        if (head != std::string::npos && length != std::string::npos) {
            end = head + 4 + std::stoul(text.substr(length + 16));
        }
    }
    return std::atoi(text.c_str() + 9);
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

// A flood of connections that send nothing filling the exporter's connections: the
// scraper's kept-alive connection, idle longest, closed to make room for them, so a
// scraper that does not retry a reused connection fails its next scrape.
TEST_F(Exporter, ScrapersKeptAliveConnectionSurvivesAFlood) {
    const CExporter exporter(sim->Dir(), {}, 200); // room for 32 connections
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const int scraper = ConnectFrom("127.0.0.2", exporter.Port());
    ASSERT_EQ(KeptAliveGet(scraper, "/metrics"), 200);
    std::vector<int> flood;
    for (int i = 0; i < 60; ++i) {
        const int fd = ConnectFrom(i % 2 == 0 ? "127.0.0.3" : "127.0.0.4", exporter.Port());
        if (fd >= 0) {
            flood.push_back(fd);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // every one admitted or not
    EXPECT_EQ(KeptAliveGet(scraper, "/metrics"), 200);
    ::close(scraper);
    for (int fd : flood) {
        ::close(fd);
    }
}

// 60 probes of 60 racks at once from one address while the racks' answers take a second
// (the bench stopped): a client's share that refuses the probes beyond it (503 or a
// reset) although every deadline is seconds away.
TEST_F(Exporter, SixtyProbesAtOnceFromOneAddressAreAllServed) {
    std::string bench = CSimProcess::DefaultBench();
    for (int i = 0; i < 60; ++i) {
        const std::string name = "rack" + std::to_string(i);
        bench += "instrument " + name + " mainframe seed=" + std::to_string(i + 3) +
                 "\nresource VXI0::" + std::to_string(100 + i) + "::INSTR " + name +
                 " intf=VXI manf=3372 model=2861\n";
    }
    CSimProcess racks(bench);
    ASSERT_TRUE(racks.Start()) << racks.ListeningLine();
    racks.ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY);
    const CExporter exporter(racks.Dir(), {});            // 40 slots
    sim->ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY); // the suite's bench again
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    const auto probe = [&exporter](int rack) {
        return RawGet("127.0.0.1", exporter.Port(),
                      "/probe?target=VXI0::" + std::to_string(100 + rack) + "::INSTR");
    };
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(probe(i).status, 200); // every session open
    }
    racks.Signal(SIGSTOP);
    std::vector<std::future<Answer>> probes;
    for (int i = 0; i < 60; ++i) {
        probes.push_back(std::async(std::launch::async, probe, i));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    racks.Signal(SIGCONT);
    int served = 0;
    for (auto& answer : probes) {
        const Answer got = answer.get();
        served += got.status == 200 && HasLine(got.body, "ksm7720_up 1") ? 1 : 0;
    }
    EXPECT_EQ(served, 60) << exporter.Log();
}

// 40 addresses each holding a probe of a rack that hangs (3 s a read) and asking again at
// once: a share with a floor of one per address that leaves the scraper of a healthy rack
// no slot, or /metrics answered only from a probe slot.
TEST_F(Exporter, FortyAddressesOnAHungRackLeaveTheScraperServed) {
    const CExporter exporter(sim->Dir(), {}); // 40 slots
    ASSERT_TRUE(exporter.Listening()) << exporter.Log();
    Raw("mainframe", "SIM:HANG 0");
    std::atomic<bool> done{false};
    std::vector<std::future<void>> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(
            std::async(std::launch::async, [&, source = "127.0.0." + std::to_string(10 + i)] {
                while (!done) {
                    RawGet(source.c_str(), exporter.Port(), "/probe?target=VXI0::24::INSTR",
                           "X-Prometheus-Scrape-Timeout-Seconds: 5\r\n");
                }
            }));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1)); // every slot taken
    int up = 0;
    int metrics = 0;
    for (int i = 0; i < 10; ++i) {
        const Answer probe = RawGet("127.0.0.2", exporter.Port(), "/probe?target=VXI0::32::INSTR",
                                    "X-Prometheus-Scrape-Timeout-Seconds: 10\r\n");
        up += probe.status == 200 && HasLine(probe.body, "ksm7720_up 1") ? 1 : 0;
        metrics += RawGet("127.0.0.3", exporter.Port(), "/metrics").status == 200 ? 1 : 0;
    }
    done = true;
    for (auto& client : crowd) {
        client.get();
    }
    EXPECT_GE(up, 9);
    EXPECT_EQ(metrics, 10);
}
