#pragma once
// One rack's session: opened on first use, with identification, and kept. Its own worker
// thread makes every instrument call, so a probe can give up at its deadline while a call
// still waits on the instrument. Reads are shared as DecideProbe rules; a read nobody
// waits for any more stops at its next object. A session whose read failed is closed and
// opened afresh by the next read.
#include "exporter/ProbeTrace.h"
#include "exporter/RackLog.h"
#include "exporter/SessionOpener.h"
#include "exporter/SingleFlight.h"
#include "exporter/WorkerThread.h"
#include "metrics/RackExposition.h"
#include "metrics/ScrapeResult.h"
#include "racks/RackConfig.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CRackSession {
public:
    using Clock = std::chrono::steady_clock;

    // ioTimeOutMs: the driver's I/O time-out, which bounds every call the worker makes.
    // A session made stopped answers every probe at once (see Stop).
    CRackSession(RackConfig rack, LibraryNames libraries, int ioTimeOutMs, CLog& log,
                 bool stopped = false);
    ~CRackSession(); // stops, then waits for a call in progress to end
    CRackSession(const CRackSession&) = delete;
    CRackSession& operator=(const CRackSession&) = delete;

    // One scrape, or one that is not up when the rack cannot be read by the deadline. A
    // trace is told what the probe does and each step of the read it waits for.
    ScrapeResult Probe(Clock::time_point deadline, CProbeTrace* trace = nullptr);
    // A probe's exposition for the rack as that probe names it. The labels are rendered
    // once and rendered again only when a probe names the rack otherwise (another spelling
    // without a rack list, or a reload's new name or blowers).
    std::string Exposition(const ScrapeResult& scrape, const RackLabels& labels);
    // Wakes every waiting probe, which answers not up, as does every later one; a read in
    // progress stops at its next object. Does not wait for a call in progress.
    void Stop();
    // Stopped, and its session closed by its worker, which has ended: destroying it now
    // waits for nothing.
    bool Closed();
    // The rack as the policy allows it now: its error-queue rule applies from the next read
    // (a reloaded rack list may change it), and its discovery search list
    // (RackConfig::searchVersion) bounds a "not a mainframe" verdict.
    void Listed(const RackConfig& rack);

private:
    ScrapeResult Wait(std::unique_lock<std::mutex>& lock, std::uint64_t ticket,
                      Clock::time_point deadline, CProbeTrace* trace);
    // With m_mutex held: trace told step, and then of each step of its read.
    static void Attach(CProbeTrace* trace, std::vector<CProbeTrace*>& traces,
                       const std::string& step);
    void Trace(const std::string& step, std::optional<InstrumentStatus> status); // on the worker
    void Work();
    ScrapeResult Scrape(); // on the worker
    bool Cancelled();      // on the worker: stopping, or nobody waits for this read

    const RackConfig m_rack;
    const CRackLog m_log;
    CSessionOpener m_opener;       // the worker's alone
    Clock::time_point m_startedAt; // the worker's alone
    // Shared with the probes, under m_mutex. Reads are numbered; the running one is
    // m_started when it is above m_finished, a queued one m_asked when it is above m_started.
    // The exporter's locks in their order: the target policy's, the sessions', a session's,
    // the log's. m_mutex is held across no call that takes another lock (the log is written
    // after it is let go).
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_asked = 0;
    std::uint64_t m_started = 0;
    std::uint64_t m_finished = 0;
    int m_waitingRunning = 0;
    int m_waitingQueued = 0;
    bool m_abandoned = false; // the running read has nobody waiting for it
    bool m_stopping = false;
    bool m_workerDone = false;             // the worker closed the session and returned
    LastRead m_lastRead = LastRead::Never; // of the last read that ran to its end
    std::optional<std::uint64_t> m_searchVersion;
    ErrorQueueUse m_errorQueue;
    std::vector<CProbeTrace*> m_tracesRunning;           // of probes waiting for the running read
    std::vector<CProbeTrace*> m_tracesQueued;            // and for the one asked for next
    ScrapeResult m_result;                               // of read m_finished
    std::unique_ptr<CWorkerThread> m_worker;             // started by the first read
    std::shared_ptr<const CRackExposition> m_exposition; // under m_mutex; replaced, never changed
};
