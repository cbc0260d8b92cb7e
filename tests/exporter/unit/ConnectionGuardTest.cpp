// Who holds the HTTP server's connections: the key of a client, and the room made for a
// new connection when every one is taken.
#include "exporter/ConnectionGuard.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

// An IPv6 host with a /64 counted as that many clients (each address a key of its own), or
// IPv4 through an IPv6 socket counted apart from itself.
TEST(ClientKey, Ipv4AloneAndIpv6ByItsSlash64) {
    const struct {
        const char* address;
        const char* key;
    } cases[]{
        {"::ffff:192.0.2.7", "192.0.2.7"},
        {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
        {"::1", "::/64"},
    };
    for (const auto& c : cases) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, c.address, &v6.sin6_addr);
        EXPECT_EQ(ClientKey(reinterpret_cast<sockaddr*>(&v6)), c.key) << c.address;
    }
}

// Idle connections (kept alive, or sending their headers slowly) holding every place so a
// new client is refused; a connection being served closed instead of an idle one, or a
// newer idle one closed before the oldest.
TEST(ConnectionGuard, FullGuardClosesTheOldestIdleConnectionForANewOne) {
    CLog log(LogLevel::Error);
    CExporterMetrics metrics("test");
    CRefusalLog refusals(metrics, log);
    CConnectionGuard guard({3, 3, std::chrono::seconds(10), std::chrono::seconds(30)}, refusals);
    int pairs[3][2];
    const char* names[3] = {"served", "oldest idle", "newer idle"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pairs[i]), 0);
        ASSERT_TRUE(guard.Admit("192.0.2." + std::to_string(i)));
        guard.Opened(&pairs[i], pairs[i][0], "192.0.2." + std::to_string(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    guard.RequestIn(&pairs[0]);
    guard.Answered(&pairs[2]); // idle since now: newer than the one still in its headers
    EXPECT_TRUE(guard.Admit("192.0.2.9"));
    for (int i = 0; i < 3; ++i) {
        pollfd peer{pairs[i][1], POLLIN, 0};
        EXPECT_EQ(::poll(&peer, 1, 0) == 1, i == 1) << names[i] << " closed or not";
    }
    guard.Closed(&pairs[1]);
    guard.Opened(&pairs[1], pairs[1][0], "192.0.2.9");
    guard.RequestIn(&pairs[1]);
    guard.RequestIn(&pairs[2]);
    EXPECT_FALSE(guard.Admit("192.0.2.10")) << "every connection is being served";
    for (auto& pair : pairs) {
        guard.Closed(&pair);
        ::close(pair[0]);
        ::close(pair[1]);
    }
}
