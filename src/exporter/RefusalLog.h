#pragma once
// Connections and requests the HTTP server turns away: each counted at once on /metrics,
// and logged at most once per reason every ten seconds with how many there were and the
// client addresses that had most, so a flood cannot flood the log as well.
#include "exporter/ExporterMetrics.h"
#include "exporter/Log.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// Why a connection (the first four) or a request (the rest) was turned away.
enum class Refusal {
    ConnectionLimit,
    ClientConnectionLimit,
    HeaderTimeout,
    IdleEvicted,           // an idle connection closed to make room for a new one
    ProbeSlotDeadline,     // no probe slot came free before the request's deadline
    PasswordCheckDeadline, // the password check's turn did not come before it
    Body,                  // a body, or a length that is ambiguous or malformed
};

// The reason's label on /metrics and in the log.
const char* RefusalName(Refusal reason);

class CRefusalLog {
public:
    // Every reason is shown on /metrics from the start, at 0.
    CRefusalLog(CExporterMetrics& metrics, CLog& log);

    void Count(Refusal reason, const std::string& client);
    // Logs the counts whose ten seconds are over; called now and then.
    void Flush();

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::uint64_t count = 0;
        std::map<std::string, std::uint64_t> clients; // bounded: the first ones seen
        Clock::time_point logged{};                   // when the last line for this reason went out
    };

    void LogIfDue(Refusal reason, Pending& pending, Clock::time_point now);

    CExporterMetrics& m_metrics;
    CLog& m_log;
    std::mutex m_mutex;
    std::map<Refusal, Pending> m_pending;
};
