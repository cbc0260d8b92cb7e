#pragma once
// Connections and requests the HTTP server turns away: each counted at once on /metrics,
// and logged at most once per reason every ten seconds with how many there were, so a
// flood cannot flood the log as well.
#include "exporter/ExporterMetrics.h"
#include "exporter/Log.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

enum class Refused { Connection, Request };

class CRefusalLog {
public:
    CRefusalLog(CExporterMetrics& metrics, CLog& log) : m_metrics(metrics), m_log(log) {}

    void Count(Refused what, const std::string& reason);
    // Logs the counts whose ten seconds are over; called now and then.
    void Flush();

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::uint64_t count = 0;
        Clock::time_point logged{}; // when the last line for this reason went out
    };

    void LogIfDue(Refused what, const std::string& reason, Pending& pending, Clock::time_point now);

    CExporterMetrics& m_metrics;
    CLog& m_log;
    std::mutex m_mutex;
    std::map<std::pair<Refused, std::string>, Pending> m_pending;
};
