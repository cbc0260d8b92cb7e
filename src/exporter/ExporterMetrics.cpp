#include "exporter/ExporterMetrics.h"

#include "metrics/TextFormat.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

double SecondsSinceEpoch() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct ProcessFigures {
    double cpuSeconds = 0.0;
    double residentBytes = 0.0;
    double openFds = 0.0;
    double maxFds = 0.0;
};

// The fields of /proc/self/stat after the command name, which may hold spaces.
std::vector<std::string> StatFields() {
    std::ifstream in("/proc/self/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), {}};
    std::istringstream rest(stat.substr(stat.rfind(')') + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

ProcessFigures ReadProcessFigures() {
    ProcessFigures figures;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const std::vector<std::string> fields = StatFields(); // field 3 (state) is at 0
    if (fields.size() > 21) {
        figures.cpuSeconds = (std::stod(fields[11]) + std::stod(fields[12])) / ticks;
        figures.residentBytes = std::stod(fields[21]) * static_cast<double>(sysconf(_SC_PAGESIZE));
    }
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++figures.openFds;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        figures.maxFds = static_cast<double>(limit.rlim_cur);
    }
    return figures;
}

} // namespace

CExporterMetrics::CExporterMetrics(std::string version)
    : m_version(std::move(version)), m_startTime(SecondsSinceEpoch()),
      m_reloadSuccessTime(m_startTime) {}

void CExporterMetrics::CountReload(bool successful, const std::string& file,
                                   const std::string& reason) {
    const std::lock_guard lock(m_mutex);
    m_reloadSuccessful = successful;
    m_reloadFailedFile = successful ? "" : file;
    m_reloadFailure = successful ? "" : reason;
    if (successful) {
        m_reloadSuccessTime = SecondsSinceEpoch();
    }
}

void CExporterMetrics::CountProbe(const std::string& target, bool up) {
    const std::lock_guard lock(m_mutex);
    Counts& counts = m_targets[target];
    ++counts.probes;
    counts.failures += up ? 0 : 1;
}

void CExporterMetrics::CountConnectionRefused(const std::string& reason, std::uint64_t count) {
    const std::lock_guard lock(m_mutex);
    m_connectionsRefused[reason] += count;
}

void CExporterMetrics::CountRequestRefused(const std::string& reason, std::uint64_t count) {
    const std::lock_guard lock(m_mutex);
    m_requestsRefused[reason] += count;
}

void CExporterMetrics::CountWait(const std::string& queue, double seconds, bool waited) {
    const std::lock_guard lock(m_mutex);
    auto& [count, total] = m_waits[queue];
    count += waited ? 1 : 0;
    total += seconds;
}

void CExporterMetrics::Write(std::ostream& out) {
    CTextFormat text(out);
    text.Family("ksm7720_exporter_build_info", "The exporter's version.");
    text.Sample({{"version", m_version}}, 1);
    {
        const std::lock_guard lock(m_mutex);
        text.Family("ksm7720_exporter_probes_total", "Probes of each target.", "counter");
        for (const auto& [target, counts] : m_targets) {
            text.Sample({{"target", target}}, static_cast<double>(counts.probes));
        }
        text.Family("ksm7720_exporter_probe_failures_total",
                    "Probes of each target that did not read the rack.", "counter");
        for (const auto& [target, counts] : m_targets) {
            text.Sample({{"target", target}}, static_cast<double>(counts.failures));
        }
        text.Family("ksm7720_exporter_config_last_reload_successful",
                    "Whether the last configuration reload succeeded.");
        text.Sample(m_reloadSuccessful ? 1 : 0);
        text.Family("ksm7720_exporter_config_last_reload_failure_info",
                    "Present while the last reload failed: the file and why.");
        if (!m_reloadSuccessful) {
            text.Sample({{"file", m_reloadFailedFile}, {"reason", m_reloadFailure}}, 1);
        }
        text.Family("ksm7720_exporter_config_last_reload_success_timestamp_seconds",
                    "Time of the last successful configuration reload.");
        text.Sample(m_reloadSuccessTime);
        text.Family("ksm7720_exporter_http_connections_refused_total",
                    "Connections closed unserved: beyond a limit, or headers not in on time.",
                    "counter");
        for (const auto& [reason, count] : m_connectionsRefused) {
            text.Sample({{"reason", reason}}, static_cast<double>(count));
        }
        text.Family("ksm7720_exporter_http_requests_refused_total",
                    "Requests refused unserved: a body, or no slot free before the deadline.",
                    "counter");
        for (const auto& [reason, count] : m_requestsRefused) {
            text.Sample({{"reason", reason}}, static_cast<double>(count));
        }
        text.Family("ksm7720_exporter_http_slot_waits_total",
                    "Requests that found every slot of a queue taken and waited.", "counter");
        for (const auto& [queue, waits] : m_waits) {
            text.Sample({{"queue", queue}}, static_cast<double>(waits.first));
        }
        text.Family("ksm7720_exporter_http_slot_wait_seconds_total",
                    "Seconds those requests waited, until served or their deadline.", "counter");
        for (const auto& [queue, waits] : m_waits) {
            text.Sample({{"queue", queue}}, waits.second);
        }
    }
    const ProcessFigures figures = ReadProcessFigures();
    text.Family("process_cpu_seconds_total", "User and system CPU time in seconds.", "counter");
    text.Sample(figures.cpuSeconds);
    text.Family("process_resident_memory_bytes", "Resident memory in bytes.");
    text.Sample(figures.residentBytes);
    text.Family("process_open_fds", "Open file descriptors.");
    text.Sample(figures.openFds);
    text.Family("process_max_fds", "The most file descriptors the process may open.");
    text.Sample(figures.maxFds);
    text.Family("process_start_time_seconds", "Start time since the epoch in seconds.");
    text.Sample(m_startTime);
}
