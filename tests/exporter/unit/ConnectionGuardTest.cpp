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
// new client is refused; a connection being served closed instead of an idle one; a
// scraper's kept-alive connection closed before one that never completed a request, or
// a lone address's before one of the address holding most.
TEST(ConnectionGuard, FullGuardClosesAnUnservedConnectionOfTheBusiestAddress) {
    CLog log(LogLevel::Error);
    CExporterMetrics metrics("test");
    CRefusalLog refusals(metrics, log);
    CConnectionGuard guard({4, 4, std::chrono::seconds(10), std::chrono::seconds(30)}, refusals);
    int pairs[4][2];
    // In the order opened: the scraper's, kept alive and idle longest; one being served;
    // one of a lone address and one of an address with two, neither completing a request.
    const char* clients[4] = {"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.2"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pairs[i]), 0);
        ASSERT_TRUE(guard.Admit(clients[i]));
        guard.Opened(&pairs[i], pairs[i][0], clients[i]);
        if (i == 0) {
            guard.RequestIn(&pairs[0]);
            guard.Answered(&pairs[0]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    guard.RequestIn(&pairs[1]);
    EXPECT_TRUE(guard.Admit("192.0.2.9"));
    for (int i = 0; i < 4; ++i) {
        pollfd peer{pairs[i][1], POLLIN, 0};
        EXPECT_EQ(::poll(&peer, 1, 0) == 1, i == 3) << clients[i] << " #" << i << " closed or not";
    }
    guard.Closed(&pairs[3]);
    guard.Opened(&pairs[3], pairs[3][0], "192.0.2.9");
    for (int i : {0, 2, 3}) {
        guard.RequestIn(&pairs[i]);
    }
    EXPECT_FALSE(guard.Admit("192.0.2.10")) << "every connection is being served";
    for (auto& pair : pairs) {
        guard.Closed(&pair);
        ::close(pair[0]);
        ::close(pair[1]);
    }
}
