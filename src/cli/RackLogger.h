#pragma once
// One rack of a log: its own session and worker thread, so a hung rack delays no other.
// Snapshots are due on the monotonic clock at start + k * interval; a read that overruns
// skips the intervals it covered, and a watch thread gives each of them a row of its own
// (up false, status BUSY), so the record has a row for every interval and no silent hole.
// Each snapshot is handed to the sink as soon as it is read.
#include "cli/RackLink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class CRackLogger {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the worker for every snapshot; false stops this rack's log.
    using Sink = std::function<bool(const Snapshot&, const RackId&)>;

    // count: rows (a BUSY one included), then the rack's log is done. finished: called when
    // it is done (its count reached, the sink said stop, or a failure escaped).
    CRackLogger(std::unique_ptr<CRackLink> link, Clock::time_point start, Clock::duration interval,
                std::optional<long> count, Sink sink, std::function<void()> finished);
    ~CRackLogger(); // Stop(), then waits for the row in progress
    CRackLogger(const CRackLogger&) = delete;
    CRackLogger& operator=(const CRackLogger&) = delete;

    // No snapshot is started after this; one in progress is finished and handed on.
    void Stop();
    bool Done() const;
    // Waits until the worker has ended, at most until deadline; false when it has not (a
    // call in the driver that does not return).
    bool WaitEnded(Clock::time_point deadline);
    // A failure that escaped the worker and ended this rack's log, or nothing.
    std::optional<std::string> Failure() const;

private:
    void Work();
    void Watch();
    // Runs step (on the worker, or the watch); what escapes it ends this rack's log as a
    // failure, said on standard error.
    void Guarded(const std::function<void()>& step, bool worker);
    // Waits until due or stopped; false when stopped.
    bool WaitUntil(Clock::time_point due);
    // A row for the interval due: counted, and true when the count allows it. With m_mutex.
    bool Count();
    bool CountReached() const; // no row is due any more

    void Finish(); // with m_mutex held

    std::unique_ptr<CRackLink> m_link;
    const Clock::time_point m_start;
    const Clock::duration m_interval;
    const std::optional<long> m_count;
    const Sink m_sink;
    const std::function<void()> m_finished;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_done = false;
    bool m_ended = false; // the worker has returned
    long m_rows = 0;
    // The last read: its due time, and when it ended (nothing while it is in progress).
    std::optional<Clock::time_point> m_readDue;
    std::optional<Clock::time_point> m_readEnd;
    WallTime m_readBegan;
    RackId m_rack; // as the last read named it
    std::optional<std::string> m_failure;
    std::thread m_thread; // last: started when everything above is set
    std::thread m_watch;
};
