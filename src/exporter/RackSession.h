#pragma once
// One rack's session: opened on first use, with identification, and kept. Its own worker
// thread makes every instrument call, so a probe can give up at its deadline while a call
// still waits on the instrument; probes of the rack take turns, and while a call nobody
// waits for any more is still running, probes answer at once that the rack was not read.
// A session whose scrape failed is closed and opened afresh by the next probe.
#include "core/Discovery.h"
#include "exporter/Log.h"
#include "exporter/RackConfig.h"
#include "metrics/ScrapeResult.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct LibraryNames {
    std::vector<std::string> visa;
    std::vector<std::string> driver;
};

class CRackSession {
public:
    // ioTimeOutMs: the driver's I/O time-out, which bounds every call the worker makes.
    CRackSession(RackConfig rack, LibraryNames libraries, int ioTimeOutMs, CLog& log);
    ~CRackSession(); // waits for a call in progress to end
    CRackSession(const CRackSession&) = delete;
    CRackSession& operator=(const CRackSession&) = delete;

    // One scrape, or one that is not up when the rack is busy with an abandoned scrape or
    // does not answer by the deadline.
    ScrapeResult Probe(std::chrono::steady_clock::time_point deadline);
    // Probes waiting and to come answer at once that the rack was not read; a call in
    // progress is not waited for.
    void Stop();

private:
    enum class State { Idle, Requested, Working };

    void Work();
    ScrapeResult Scrape(); // on the worker
    bool Open();           // on the worker: a session with identification
    void Drop();           // on the worker: closes and forgets the session

    const RackConfig m_rack;
    const LibraryNames m_libraries;
    const int m_ioTimeOutMs;
    CLog& m_log;
    // The worker's alone.
    std::unique_ptr<CDiscovery> m_discovery;
    std::unique_ptr<CDriverInstrument> m_instrument;
    // Shared with the probes, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Idle;
    bool m_abandoned = false; // the scrape running has nobody waiting for it
    bool m_stopping = false;
    std::uint64_t m_requested = 0; // the number of the scrape last asked for
    std::uint64_t m_done = 0;      // and of the one last finished
    ScrapeResult m_result;
    std::thread m_worker; // last: starts once everything above is built
};
