#pragma once
// The exporter's own figures for /metrics: its build, the probes and failed probes of each
// target, and the process's CPU time, memory, descriptors and start time.
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

class CExporterMetrics {
public:
    explicit CExporterMetrics(std::string version) : m_version(std::move(version)) {}

    // Counts one probe of an allowed target, and whether the rack was read.
    void CountProbe(const std::string& target, bool up);
    void Write(std::ostream& out);

private:
    struct Counts {
        std::uint64_t probes = 0;
        std::uint64_t failures = 0;
    };

    const std::string m_version;
    std::mutex m_mutex;
    std::map<std::string, Counts> m_targets;
};
