#pragma once
// The exporter's own figures for /metrics: its build, the probes and failed probes of each
// target, the outcome of the last configuration reload, the connections and requests the
// HTTP server refused or made wait, and the process's CPU time, memory, descriptors and start time.
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

class CExporterMetrics {
public:
    // Made at start: its time is the process's start time (a sandbox may hide the boot
    // time that /proc would need).
    explicit CExporterMetrics(std::string version);

    // Counts one probe of an allowed target, and whether the rack was read.
    void CountProbe(const std::string& target, bool up);
    // The outcome of a reload of the configuration files; the load at start succeeded. A
    // failure names the file and the reason (with its line), for the alert to say.
    void CountReload(bool successful, const std::string& file = {}, const std::string& reason = {});
    // Counts connections the HTTP server closed unserved, or requests it refused at once
    // (a count of 0 makes the reason's series appear).
    void CountConnectionRefused(const std::string& reason, std::uint64_t count = 1);
    void CountRequestRefused(const std::string& reason, std::uint64_t count = 1);
    // A request that found every slot of a queue ("probe" or "password_check") taken and
    // waited so long, whether it got one or gave up (seconds 0 and not waited: the queue's
    // series appear).
    void CountWait(const std::string& queue, double seconds, bool waited = true);
    void Write(std::ostream& out);

private:
    struct Counts {
        std::uint64_t probes = 0;
        std::uint64_t failures = 0;
    };

    const std::string m_version;
    const double m_startTime; // seconds since the epoch
    std::mutex m_mutex;
    std::map<std::string, Counts> m_targets;
    bool m_reloadSuccessful = true;
    double m_reloadSuccessTime;     // seconds since the epoch
    std::string m_reloadFailedFile; // of the last reload, if it failed
    std::string m_reloadFailure;
    std::map<std::string, std::uint64_t> m_connectionsRefused; // by reason
    std::map<std::string, std::uint64_t> m_requestsRefused;
    std::map<std::string, std::pair<std::uint64_t, double>> m_waits; // by queue: count, seconds
};
