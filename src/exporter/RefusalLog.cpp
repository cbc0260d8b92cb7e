#include "exporter/RefusalLog.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr auto kLogPeriod = std::chrono::seconds(10);
constexpr std::size_t kClientsKept = 256; // addresses counted apart in one period
constexpr std::size_t kClientsLogged = 5; // those with most refusals, in the line

constexpr std::pair<Refusal, const char*> kNames[] = {
    {Refusal::ConnectionLimit, "connection_limit"},
    {Refusal::ClientConnectionLimit, "client_connection_limit"},
    {Refusal::HeaderTimeout, "header_timeout"},
    {Refusal::IdleEvicted, "idle_evicted"},
    {Refusal::ProbeSlotDeadline, "probe_slot_deadline"},
    {Refusal::PasswordCheckDeadline, "password_check_deadline"},
    {Refusal::Body, "body"},
};

bool RefusesConnection(Refusal reason) {
    return reason == Refusal::ConnectionLimit || reason == Refusal::ClientConnectionLimit ||
           reason == Refusal::HeaderTimeout || reason == Refusal::IdleEvicted;
}

void CountOn(CExporterMetrics& metrics, Refusal reason, std::uint64_t count) {
    if (RefusesConnection(reason)) {
        metrics.CountConnectionRefused(RefusalName(reason), count);
    } else {
        metrics.CountRequestRefused(RefusalName(reason), count);
    }
}

// "ADDRESS:COUNT ..." for the addresses refused most, most first.
std::string MostRefused(const std::map<std::string, std::uint64_t>& clients) {
    std::vector<std::pair<std::uint64_t, std::string>> ranked;
    ranked.reserve(clients.size());
    for (const auto& [client, count] : clients) {
        ranked.emplace_back(count, client);
    }
    const std::size_t shown = std::min(ranked.size(), kClientsLogged);
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(shown),
                      ranked.end(), std::greater<>());
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        text += (i == 0 ? "" : " ") + ranked[i].second + ":" + std::to_string(ranked[i].first);
    }
    return text;
}

} // namespace

const char* RefusalName(Refusal reason) {
    for (const auto& [key, name] : kNames) {
        if (key == reason) {
            return name;
        }
    }
    return "unknown";
}

CRefusalLog::CRefusalLog(CExporterMetrics& metrics, CLog& log) : m_metrics(metrics), m_log(log) {
    for (const auto& [reason, name] : kNames) {
        CountOn(m_metrics, reason, 0);
    }
}

void CRefusalLog::Count(Refusal reason, const std::string& client) {
    CountOn(m_metrics, reason, 1);
    const std::lock_guard lock(m_mutex);
    Pending& pending = m_pending[reason];
    ++pending.count;
    if (pending.clients.size() < kClientsKept || pending.clients.count(client) != 0) {
        ++pending.clients[client];
    }
    LogIfDue(reason, pending, Clock::now());
}

void CRefusalLog::Flush() {
    const std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    for (auto& [reason, pending] : m_pending) {
        LogIfDue(reason, pending, now);
    }
}

void CRefusalLog::LogIfDue(Refusal reason, Pending& pending, Clock::time_point now) {
    if (pending.count == 0 || now - pending.logged < kLogPeriod) {
        return;
    }
    m_log.Write(LogLevel::Warn,
                RefusesConnection(reason) ? "connections refused" : "requests refused",
                {{"reason", RefusalName(reason)},
                 {"count", std::to_string(pending.count)},
                 {"clients", MostRefused(pending.clients)}});
    pending.count = 0;
    pending.clients.clear();
    pending.logged = now;
}
