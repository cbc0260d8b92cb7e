// The HTTP server in this process with the hooks the exporter's lifecycle drives: reload
// through POST /-/reload with new users, and a stop while a request is in flight. The
// client is a plain socket on 127.0.0.1.
#include "exporter/HttpServer.h"
#include "../BcryptHash.h"
#include "ServerParts.h"
#include "TempDir.h"
#include "racks/YamlFile.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// What the server at the port address ends with answers to text sent over one connection
// to host (127.0.0.1 or ::1), from source (an IPv4 loopback address) when given, until it
// closes the connection; nullopt when the connection was refused.
std::optional<std::string> Exchange(const std::string& address, const std::string& text,
                                    const std::string& host = "127.0.0.1",
                                    const char* source = nullptr) {
    const auto port =
        htons(static_cast<std::uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))));
    sockaddr_storage server{};
    socklen_t length = sizeof(sockaddr_in);
    if (host == "::1") {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(server);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = port;
        ::inet_pton(AF_INET6, "::1", &v6.sin6_addr);
        length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(server);
        v4.sin_family = AF_INET;
        v4.sin_port = port;
        ::inet_pton(AF_INET, host.c_str(), &v4.sin_addr);
    }
    const int fd = ::socket(server.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{AF_INET, 0, {}, {}};
    if (source != nullptr) {
        ::inet_pton(AF_INET, source, &local.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&server), length) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[512];
    pollfd entry{fd, POLLIN, 0};
    for (int i = 0; i < 100 && ::poll(&entry, 1, 5000) == 1; ++i) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return answer;
}

// The status of one request with Connection: close; 0 when the connection ended
// unanswered, -1 when it was refused.
int Status(const std::string& address, const std::string& method, const std::string& path,
           const std::string& headers = "", const std::string& host = "127.0.0.1",
           const char* source = nullptr) {
    const auto answer = Exchange(
        address,
        method + " " + path + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" + headers + "\r\n",
        host, source);
    if (!answer) {
        return -1;
    }
    return answer->rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer->substr(9, 3)) : 0;
}

std::string Base64(const std::string& text) {
    const gnutls_datum_t in{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                            static_cast<unsigned>(text.size())};
    gnutls_datum_t out{};
    gnutls_base64_encode2(&in, &out);
    const std::string encoded(reinterpret_cast<char*>(out.data), out.size);
    gnutls_free(out.data);
    return encoded;
}

// A port held on every address, IPv4 and IPv6, by a socket that does not listen, so no
// other program on the machine can listen on it while a test connects to it: a server
// given the port may still take it (both reuse the address), and a connection where that
// server does not listen is refused. -1 without IPv6.
int HoldPortEverywhere(unsigned& port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    socklen_t length = sizeof address;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin6_port);
    return fd;
}

// A reload hook that takes its time and succeeds.
ReloadHook Slow(std::chrono::milliseconds work) {
    return [work] {
        std::this_thread::sleep_for(work);
        return ReloadOutcome::Reloaded;
    };
}

} // namespace

// New users not applied by a reload, the old ones still let in, a reload's failure answered
// as success, or a change that needs a restart taken live.
TEST(HttpServer, ReloadSwapsTheUsers) {
    CHttpServer* self = nullptr;
    bool fails = false;
    TestServer served(Loopback([&] {
        if (fails) {
            return ReloadOutcome::Failed;
        }
        self->SetWebConfig({std::nullopt, {{"alice", BcryptHash("secret", 4)}}});
        return ReloadOutcome::Reloaded;
    }));
    CHttpServer& server = served.server;
    self = &server;
    const std::string address = server.Start();
    const std::string alice = "Authorization: Basic YWxpY2U6c2VjcmV0\r\n"; // alice:secret
    EXPECT_EQ(Status(address, "GET", "/metrics"), 200);
    EXPECT_EQ(Status(address, "GET", "/-/reload"), 405);
    EXPECT_EQ(Status(address, "POST", "/-/reload"), 200);
    EXPECT_EQ(Status(address, "GET", "/metrics"), 401);
    EXPECT_EQ(Status(address, "GET", "/metrics", alice), 200);
    fails = true;
    EXPECT_EQ(Status(address, "POST", "/-/reload", alice), 500);
    TlsConfig tls;
    EXPECT_THROW(server.SetWebConfig({tls, {}}), CConfigError);
    EXPECT_EQ(Status(address, "GET", "/metrics", alice), 200);
}

// A stop that hangs behind a request in flight, ends the process (a connection still
// suspended when the server stops), cuts off an answer it had time to send, or leaves the
// port open.
TEST(HttpServer, StopAnswersWhatItCanByItsDeadline) {
    using std::chrono::milliseconds;
    const struct {
        milliseconds work;
        milliseconds deadline;
        std::vector<int> answers; // what the request in flight may get
    } cases[]{{milliseconds(300), milliseconds(3000), {200}},
              {milliseconds(1500), milliseconds(300), {503, 0}}};
    for (const auto& c : cases) {
        TestServer served(Loopback(Slow(c.work)));
        CHttpServer& server = served.server;
        const std::string address = server.Start();
        auto held =
            std::async(std::launch::async, [&] { return Status(address, "POST", "/-/reload"); });
        std::this_thread::sleep_for(milliseconds(100));
        const auto start = Clock::now();
        server.Stop(start + c.deadline);
        EXPECT_LT(Clock::now() - start, std::min(c.work, c.deadline) + milliseconds(500));
        const int answered = held.get();
        EXPECT_NE(std::find(c.answers.begin(), c.answers.end(), answered), c.answers.end())
            << answered;
        EXPECT_EQ(Status(address, "GET", "/metrics"), -1) << "still listening";
    }
}

// ":PORT" listening on IPv4 alone (or IPv6 alone), a bracketed IPv6 address not taken as
// IPv6, or an IPv4 address listening on IPv6 too. The port is held on every address while
// the test runs: a port free on one family may be another program's on the other.
TEST(HttpServer, ListensWhereTheAddressSays) {
    unsigned port = 0;
    const int held = HoldPortEverywhere(port);
    if (held < 0) {
        GTEST_SKIP() << "no IPv6 here";
    }
    const struct {
        std::string host;
        int overIpv4;
        int overIpv6;
    } cases[]{{"", 200, 200}, {"[::1]", -1, 200}, {"127.0.0.1", 200, -1}};
    for (const auto& c : cases) {
        const std::string address = c.host + ":" + std::to_string(port);
        ServerOptions options = Loopback();
        options.listenAddress = address;
        TestServer served(std::move(options));
        ASSERT_EQ(served.server.Start(), address);
        EXPECT_EQ(Status(address, "GET", "/", "", "127.0.0.1"), c.overIpv4) << address;
        EXPECT_EQ(Status(address, "GET", "/", "", "::1"), c.overIpv6) << address;
    }
    ::close(held);
}

// A reloaded certificate not offered to new handshakes (or the old one still offered), or
// a certificate change refused as if it needed a restart.
TEST(HttpServer, ReloadedCertificateServesNewHandshakes) {
    const CTempDir temp;
    const std::string& dir = temp.Path();
    ASSERT_TRUE(SelfSigned(dir, "a") && SelfSigned(dir, "b"));
    const auto web = [&](const std::string& name) {
        std::ofstream(dir + "/web.yml") << "tls_server_config:\n  cert_file: " << name
                                        << ".crt\n  key_file: " << name << ".key\n";
        return LoadWebConfig(dir + "/web.yml");
    };
    CHttpServer* self = nullptr;
    ServerOptions options = Loopback([&] {
        self->SetWebConfig(web("b"));
        return ReloadOutcome::Reloaded;
    });
    options.tls = web("a").tls;
    TestServer served(std::move(options));
    CHttpServer& server = served.server;
    self = &server;
    const std::string port = server.Start().substr(10);
    const auto trusts = [&](const std::string& name, const std::string& method) {
        const std::string command = "curl -s -o /dev/null --max-time 5 -X " + method +
                                    " --cacert '" + dir + "/" + name +
                                    ".crt' https://127.0.0.1:" + port + "/-/reload";
        return std::system(command.c_str()) == 0;
    };
    EXPECT_TRUE(trusts("a", "GET"));
    EXPECT_FALSE(trusts("b", "GET"));
    EXPECT_TRUE(trusts("a", "POST")); // the reload
    EXPECT_TRUE(trusts("b", "GET"));
    EXPECT_FALSE(trusts("a", "GET"));
}

// A request body (or a length that never comes) holding its connection past the request
// deadline, or a body framed two ways read as a second request, instead of 400 at once.
TEST(HttpServer, RequestsWithABodyAreRefusedAtOnce) {
    TestServer served(Loopback());
    const std::string address = served.server.Start();
    for (const char* headers : {"Content-Length: 100\r\n", "Transfer-Encoding: chunked\r\n",
                                "Content-Length: 0\r\nContent-Length: 0\r\n",
                                "Content-Length: 0\r\nTransfer-Encoding: chunked\r\n"}) {
        const auto start = Clock::now();
        EXPECT_EQ(Status(address, "GET", "/", headers), 400) << headers;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << headers;
    }
    EXPECT_EQ(Status(address, "GET", "/", "Content-Length: 0\r\n"), 200);
}

// A length a proxy in front may read otherwise (space before the colon, a sign, hex)
// taken as no body, so what follows is served as a request of its own; a refused body
// not counted. (libmicrohttpd refuses a signed or hexadecimal length itself, before any
// callback: counted it is not, and its 400 repeats its header block.)
TEST(HttpServer, MalformedLengthIsOne400AndAClose) {
    TestServer served(Loopback());
    const std::string address = served.server.Start();
    const char* headers[] = {"Content-Length : 5\r\n", "Content-Length: +5\r\n",
                             "Content-Length: 0x5\r\n"};
    for (const char* header : headers) {
        const std::string answer =
            Exchange(address, std::string("GET / HTTP/1.1\r\nHost: t\r\n") + header +
                                  "\r\nGET /metrics HTTP/1.1\r\nHost: t\r\n\r\n")
                .value_or("");
        EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0U) << header << answer;
        EXPECT_EQ(answer.find("HTTP/1.1 200"), std::string::npos) << header << answer;
    }
    std::ostringstream metrics;
    served.metrics.Write(metrics);
    EXPECT_NE(metrics.str().find("ksm7720_exporter_http_requests_refused_total{reason=\"body\"} 1"),
              std::string::npos)
        << metrics.str();
}

// A stop that aborts the process (a request on a kept-alive connection suspended after
// the stop took its list), or that leaves pipelined requests unanswered (200, or 409
// while another client's reload runs).
TEST(HttpServer, StopUnderPipelinedKeepAliveRequestsEndsCleanly) {
    for (int round = 0; round < 3; ++round) {
        TestServer served(Loopback(Slow(std::chrono::milliseconds(200)), 8));
        CHttpServer& server = served.server;
        const std::string address = server.Start();
        std::vector<std::future<std::size_t>> clients;
        std::atomic<int> sending{0};
        for (int i = 0; i < 6; ++i) {
            clients.push_back(std::async(std::launch::async, [&] {
                std::string pipelined;
                for (int n = 0; n < 4; ++n) {
                    pipelined += "POST /-/reload HTTP/1.1\r\nHost: t\r\n\r\n";
                }
                ++sending;
                return Exchange(address, pipelined).value_or("").find("HTTP/1.1 ");
            }));
        }
        // Every client under way before the stop (on a loaded machine a thread may start
        // late), then time for the server to take their connections.
        while (sending < 6) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        server.Stop(Clock::now() + std::chrono::milliseconds(300));
        for (auto& client : clients) {
            EXPECT_EQ(client.get(), 0) << "the first request unanswered";
        }
    }
}

// One address guessing passwords filling the queue of bcrypt checks, so another address
// with the right password gets 503.
TEST(HttpServer, PasswordGuessesFromOneAddressLeaveOthersTheirChecks) {
    TestServer served(Loopback({}, 16), {{"alice", BcryptHash("secret", 10)}});
    const std::string address = served.server.Start();
    std::vector<std::future<int>> guesses;
    for (int i = 0; i < 12; ++i) {
        guesses.push_back(std::async(std::launch::async, [&, i] {
            const std::string pair = Base64("alice:wrong" + std::to_string(i));
            return Status(address, "GET", "/", "Authorization: Basic " + pair + "\r\n", "127.0.0.1",
                          "127.0.0.2");
        }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(
        Status(address, "GET", "/", "Authorization: Basic " + Base64("alice:secret") + "\r\n"),
        200);
    for (auto& guess : guesses) {
        const int status = guess.get();
        EXPECT_TRUE(status == 401 || status == 503) << status;
    }
}
