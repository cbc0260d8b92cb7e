// The HTTP server in this process with the hooks the exporter's lifecycle drives: reload
// through POST /-/reload with new users, and a stop while a request is in flight. The
// client is a plain socket on 127.0.0.1.
#include "../BcryptHash.h"
#include "ServerParts.h"
#include "exporter/HttpServer.h"
#include "exporter/YamlFile.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The status of one request with Connection: close to host (127.0.0.1 or ::1) at the port
// address ends with; 0 when the connection ended unanswered, -1 when it was refused.
int Status(const std::string& address, const std::string& method, const std::string& path,
           const std::string& headers = "", const std::string& host = "127.0.0.1") {
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
    if (::connect(fd, reinterpret_cast<sockaddr*>(&server), length) != 0) {
        ::close(fd);
        return -1;
    }
    const std::string request =
        method + " " + path + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" + headers + "\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
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
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

bool HasIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool usable =
        fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return usable;
}

using Parts = ServerParts;

} // namespace

// New users not applied by a reload, the old ones still let in, a reload's failure answered
// as success, or a change that needs a restart taken live.
TEST(HttpServer, ReloadSwapsTheUsers) {
    Parts parts;
    CHttpServer* self = nullptr;
    std::optional<std::string> failure;
    ServerOptions options{"127.0.0.1:0", 4, 0.5, std::nullopt, [&]() -> std::optional<std::string> {
                              if (!failure) {
                                  self->SetWebConfig({std::nullopt, {{"alice", BcryptHash("secret", 4)}}});
                              }
                              return failure;
                          }};
    CHttpServer server(options, parts.policy, parts.sessions, parts.metrics, parts.auth, parts.log);
    self = &server;
    const std::string address = server.Start();
    const std::string alice = "Authorization: Basic YWxpY2U6c2VjcmV0\r\n"; // alice:secret
    EXPECT_EQ(Status(address, "GET", "/metrics"), 200);
    EXPECT_EQ(Status(address, "GET", "/-/reload"), 405);
    EXPECT_EQ(Status(address, "POST", "/-/reload"), 200);
    EXPECT_EQ(Status(address, "GET", "/metrics"), 401);
    EXPECT_EQ(Status(address, "GET", "/metrics", alice), 200);
    failure = "bad file";
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
        Parts parts;
        ServerOptions options{"127.0.0.1:0", 4, 0.5, std::nullopt, [&c] {
                                  std::this_thread::sleep_for(c.work);
                                  return std::optional<std::string>{};
                              }};
        CHttpServer server(options, parts.policy, parts.sessions, parts.metrics, parts.auth,
                           parts.log);
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
// IPv6, or an IPv4 address listening on IPv6 too.
TEST(HttpServer, ListensWhereTheAddressSays) {
    if (!HasIpv6Loopback()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    const struct {
        std::string address;
        int overIpv4;
        int overIpv6;
    } cases[]{{":0", 200, 200}, {"[::1]:0", -1, 200}, {"127.0.0.1:0", 200, -1}};
    for (const auto& c : cases) {
        Parts parts;
        CHttpServer server({c.address, 4, 0.5, std::nullopt, {}}, parts.policy, parts.sessions,
                           parts.metrics, parts.auth, parts.log);
        const std::string address = server.Start();
        EXPECT_EQ(Status(address, "GET", "/", "", "127.0.0.1"), c.overIpv4) << c.address;
        EXPECT_EQ(Status(address, "GET", "/", "", "::1"), c.overIpv6) << c.address;
    }
}

// A reloaded certificate not offered to new handshakes (or the old one still offered), or
// a certificate change refused as if it needed a restart.
TEST(HttpServer, ReloadedCertificateServesNewHandshakes) {
    char pattern[] = "/tmp/httpserver-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    for (const char* name : {"a", "b"}) {
        const std::string command =
            std::string("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1") +
            " -addext subjectAltName=IP:127.0.0.1 -keyout '" + dir + "/" + name + ".key' -out '" +
            dir + "/" + name + ".crt' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    const auto web = [&](const std::string& name) {
        std::ofstream(dir + "/web.yml") << "tls_server_config:\n  cert_file: " << name
                                        << ".crt\n  key_file: " << name << ".key\n";
        return LoadWebConfig(dir + "/web.yml");
    };
    Parts parts;
    CHttpServer* self = nullptr;
    ServerOptions options{"127.0.0.1:0", 4, 0.5, web("a").tls, [&]() -> std::optional<std::string> {
                              self->SetWebConfig(web("b"));
                              return std::nullopt;
                          }};
    CHttpServer server(options, parts.policy, parts.sessions, parts.metrics, parts.auth, parts.log);
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
    std::filesystem::remove_all(dir);
}
