#include "exporter/RefusalLog.h"

#include <string>
#include <utility>

namespace {

constexpr auto kLogPeriod = std::chrono::seconds(10);

constexpr std::pair<Refusal, const char*> kNames[] = {
    {Refusal::ConnectionLimit, "connection_limit"},
    {Refusal::ClientConnectionLimit, "client_connection_limit"},
    {Refusal::HeaderTimeout, "header_timeout"},
    {Refusal::IdleEvicted, "idle_evicted"},
    {Refusal::InFlightLimit, "in_flight_limit"},
    {Refusal::ClientInFlightLimit, "client_in_flight_limit"},
    {Refusal::PasswordCheckQueue, "password_check_queue"},
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

void CRefusalLog::Count(Refusal reason) {
    CountOn(m_metrics, reason, 1);
    const std::lock_guard lock(m_mutex);
    Pending& pending = m_pending[reason];
    ++pending.count;
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
    m_log.Write(
        LogLevel::Warn, RefusesConnection(reason) ? "connections refused" : "requests refused",
        std::string("reason=") + RefusalName(reason) + " count=" + std::to_string(pending.count));
    pending.count = 0;
    pending.logged = now;
}
