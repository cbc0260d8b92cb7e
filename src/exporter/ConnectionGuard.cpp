#include "exporter/ConnectionGuard.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

namespace {

constexpr auto kReapPeriod = std::chrono::milliseconds(250);
// Memory goes back to the system once the connections open fall to a quarter of a peak of at
// least this many: each held a request buffer of its own, which the allocator would keep.
constexpr std::size_t kTrimAfterPeak = 64;

} // namespace

std::string ClientKey(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address == nullptr) {
        return text;
    }
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    } else if (address->sa_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
        } else {
            in6_addr network = v6;
            std::memset(&network.s6_addr[8], 0, 8);
            inet_ntop(AF_INET6, &network, text, sizeof text);
            return std::string(text) + "/64";
        }
    }
    return text;
}

CConnectionGuard::CConnectionGuard(ConnectionLimits limits, CRefusalLog& refusals)
    : m_limits(limits), m_refusals(refusals),
      m_reaper(std::make_unique<CWorkerThread>([this] { Reap(); })) {}

CConnectionGuard::~CConnectionGuard() {
    StopReaping();
}

bool CConnectionGuard::Admit(const std::string& client) {
    std::optional<Refusal> reason;
    {
        const std::lock_guard lock(m_mutex);
        if (const auto found = m_perClient.find(client);
            found != m_perClient.end() && found->second >= m_limits.perClient) {
            reason = Refusal::ClientConnectionLimit;
        } else if (m_connections.size() - m_reaped >= m_limits.total) {
            reason = MakeRoom() ? Refusal::IdleEvicted : Refusal::ConnectionLimit;
        }
    }
    if (reason) {
        m_refusals.Count(*reason, client);
    }
    return !reason || reason == Refusal::IdleEvicted;
}

bool CConnectionGuard::MakeRoom() {
    // The one to close: a connection that never completed a request before a kept-alive
    // one (a scraper's), then from the address holding most, then idle longest.
    const auto rank = [this](const Entry& entry) {
        return std::tuple(entry.answered, -static_cast<long>(m_perClient[entry.client]),
                          entry.idleSince);
    };
    Entry* chosen = nullptr;
    for (auto& [connection, entry] : m_connections) {
        if (!entry.reaped && entry.deadline != Clock::time_point::max() &&
            (chosen == nullptr || rank(entry) < rank(*chosen))) {
            chosen = &entry;
        }
    }
    if (chosen == nullptr) {
        return false; // every connection is being served
    }
    ::shutdown(chosen->fd, SHUT_RDWR);
    chosen->reaped = true;
    ++m_reaped;
    return true;
}

void CConnectionGuard::Opened(const void* connection, int fd, const std::string& client) {
    const std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    m_connections[connection] = {fd, client, now + m_limits.request, now, false, false};
    ++m_perClient[client];
    m_peak = std::max(m_peak, m_connections.size());
}

void CConnectionGuard::RequestIn(const void* connection) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end()) {
        found->second.deadline = Clock::time_point::max();
    }
}

void CConnectionGuard::Answered(const void* connection) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end()) {
        found->second.answered = true;
        found->second.idleSince = Clock::now();
        found->second.deadline = found->second.idleSince + m_limits.idle + m_limits.request;
    }
}

void CConnectionGuard::Closed(const void* connection) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found == m_connections.end()) {
        return;
    }
    m_reaped -= found->second.reaped ? 1 : 0;
    const auto client = m_perClient.find(found->second.client);
    if (client != m_perClient.end() && --client->second == 0) {
        m_perClient.erase(client);
    }
    m_connections.erase(found);
}

void CConnectionGuard::StopReaping() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_reaper.reset(); // joins
}

void CConnectionGuard::Reap() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kReapPeriod, [this] { return m_stopping; })) {
        const auto now = Clock::now();
        std::vector<std::string> reaped; // their clients
        for (auto& [connection, entry] : m_connections) {
            if (!entry.reaped && entry.deadline <= now) {
                // The server reads the end of the stream and closes the connection itself.
                ::shutdown(entry.fd, SHUT_RDWR);
                entry.reaped = true;
                ++m_reaped;
                reaped.push_back(entry.client);
            }
        }
        const bool trim = m_peak >= kTrimAfterPeak && m_connections.size() * 4 <= m_peak;
        m_peak = trim ? m_connections.size() : m_peak;
        lock.unlock();
        for (const std::string& client : reaped) {
            m_refusals.Count(Refusal::HeaderTimeout, client);
        }
        m_refusals.Flush();
        if (trim) {
            malloc_trim(0);
        }
        lock.lock();
    }
}
