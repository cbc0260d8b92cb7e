#pragma once
// Who may hold the HTTP server's connections, and for how long without a request: at most
// so many connections in all and per client address, and a deadline for each request's
// headers (the TLS handshake included) from the connection's start, or for a kept-alive
// connection from the end of its last answer plus the idle time-out. A reaper thread
// shuts down the socket of a connection past its deadline; the server then closes it.
// A socket is only ever touched while its connection is listed, under the guard's lock;
// libmicrohttpd reports a connection closed (and the guard unlists it) before it closes
// the socket, so no closed or reused descriptor is ever touched.
#include "exporter/RefusalLog.h"
#include "exporter/WorkerThread.h"

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

struct ConnectionLimits {
    std::size_t total = 1024;
    std::size_t perClient = 32;
    std::chrono::seconds headers{10}; // from the start to a request's complete headers
    std::chrono::seconds idle{30};    // a kept-alive connection's wait for its next request
};

// The address of a client as one key for all its connections; IPv4 also when it came
// through an IPv6 socket.
std::string ClientKey(const sockaddr* address);

class CConnectionGuard {
public:
    CConnectionGuard(ConnectionLimits limits, CRefusalLog& refusals);
    ~CConnectionGuard();
    CConnectionGuard(const CConnectionGuard&) = delete;
    CConnectionGuard& operator=(const CConnectionGuard&) = delete;

    // Whether a new connection from client may be taken; counts a refusal.
    bool Admit(const std::string& client);
    void Opened(const void* connection, int fd, const std::string& client);
    void HeadersIn(const void* connection);
    void Answered(const void* connection);
    void Closed(const void* connection);
    void StopReaping(); // before the server closes its connections

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd = -1;
        std::string client;
        Clock::time_point deadline = Clock::time_point::max(); // max: a request is being served
        bool reaped = false;
    };

    void Reap();

    const ConnectionLimits m_limits;
    CRefusalLog& m_refusals;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<const void*, Entry> m_connections;
    std::map<std::string, std::size_t> m_perClient;
    std::unique_ptr<CWorkerThread> m_reaper; // last: starts once everything above is built
};
