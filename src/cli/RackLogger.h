#pragma once
// One rack of a log: its own session and worker thread, so a hung rack delays no other.
// Snapshots are due on the monotonic clock at start + k * interval; a read that overruns
// skips the intervals it covered instead of bunching the rows after it. Each snapshot is
// handed to the sink as soon as it is read.
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

    // finished: called on the worker when it ends (its count reached, or the sink said stop).
    CRackLogger(std::unique_ptr<CRackLink> link, Clock::time_point start, Clock::duration interval,
                std::optional<long> count, Sink sink, std::function<void()> finished);
    ~CRackLogger(); // Stop(), then waits for the row in progress
    CRackLogger(const CRackLogger&) = delete;
    CRackLogger& operator=(const CRackLogger&) = delete;

    // No snapshot is started after this; one in progress is finished and handed on.
    void Stop();
    bool Done() const;

private:
    void Work();
    // Waits until due or stopped; false when stopped.
    bool WaitUntil(Clock::time_point due);

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
    std::thread m_thread; // last: started when everything above is set
};
