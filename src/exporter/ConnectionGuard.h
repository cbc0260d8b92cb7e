#pragma once
// Who may hold the HTTP server's connections, and for how long without a request: at most
// so many connections in all and per client address, and a deadline for each whole request
// (the TLS handshake included) from the connection's start, or for a kept-alive connection
// from the end of its last answer plus the idle time-out. A reaper thread shuts down the
// socket of a connection past its deadline; the server then closes it. When every
// connection is taken, an idle one makes room for a new one: first those that never
// completed a request, from the address holding most connections, idle longest; a
// kept-alive connection only when no such one is left. After a burst of
// connections the reaper gives the memory they held back to the system.
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
    std::chrono::seconds request{10}; // from the start to a request's end
    std::chrono::seconds idle{30};    // a kept-alive connection's wait for its next request
};

// The address of a client as one key for all its connections: IPv4 also when it came
// through an IPv6 socket, IPv6 by its /64 (one host may hold a whole /64).
std::string ClientKey(const sockaddr* address);

class CConnectionGuard {
public:
    CConnectionGuard(ConnectionLimits limits, CRefusalLog& refusals);
    ~CConnectionGuard();
    CConnectionGuard(const CConnectionGuard&) = delete;
    CConnectionGuard& operator=(const CConnectionGuard&) = delete;

    // Whether a new connection from client may be taken, closing the connection idle
    // longest when all are taken; counts a refusal.
    bool Admit(const std::string& client);
    void Opened(const void* connection, int fd, const std::string& client);
    void RequestIn(const void* connection); // being served: no deadline
    void Answered(const void* connection);
    void Closed(const void* connection);
    void StopReaping(); // before the server closes its connections

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd = -1;
        std::string client;
        Clock::time_point deadline = Clock::time_point::max(); // max: a request is being served
        Clock::time_point idleSince;
        bool reaped = false;
        bool answered = false; // it completed a request: a kept-alive client's
    };

    bool MakeRoom(); // under the lock
    void Reap();

    const ConnectionLimits m_limits;
    CRefusalLog& m_refusals;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<const void*, Entry> m_connections;
    std::size_t m_reaped = 0; // listed, but shut down
    std::size_t m_peak = 0;   // connections open at most since memory was last given back
    std::map<std::string, std::size_t> m_perClient;
    std::unique_ptr<CWorkerThread> m_reaper; // last: starts once everything above is built
};
