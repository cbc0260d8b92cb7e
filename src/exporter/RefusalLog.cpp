#include "exporter/RefusalLog.h"

namespace {

constexpr auto kLogPeriod = std::chrono::seconds(10);

} // namespace

void CRefusalLog::Count(Refused what, const std::string& reason) {
    if (what == Refused::Connection) {
        m_metrics.CountConnectionRefused(reason);
    } else {
        m_metrics.CountRequestRefused(reason);
    }
    const std::lock_guard lock(m_mutex);
    Pending& pending = m_pending[{what, reason}];
    ++pending.count;
    LogIfDue(what, reason, pending, Clock::now());
}

void CRefusalLog::Flush() {
    const std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    for (auto& [key, pending] : m_pending) {
        LogIfDue(key.first, key.second, pending, now);
    }
}

void CRefusalLog::LogIfDue(Refused what, const std::string& reason, Pending& pending,
                           Clock::time_point now) {
    if (pending.count == 0 || now - pending.logged < kLogPeriod) {
        return;
    }
    m_log.Write(LogLevel::Warn,
                what == Refused::Connection ? "connections refused" : "requests refused",
                "reason=" + reason + " count=" + std::to_string(pending.count));
    pending.count = 0;
    pending.logged = now;
}
