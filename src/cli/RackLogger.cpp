#include "cli/RackLogger.h"

#include "cli/SnapshotCommand.h"
#include "core/Text.h"

#include <iostream>

CRackLogger::CRackLogger(std::unique_ptr<CRackLink> link, Clock::time_point start,
                         Clock::duration interval, std::optional<long> count, Sink sink,
                         std::function<void()> finished)
    : m_link(std::move(link)), m_start(start), m_interval(interval), m_count(count),
      m_sink(std::move(sink)), m_finished(std::move(finished)), m_rack(m_link->Id()),
      m_thread([this] { Guarded([this] { Work(); }, true); }),
      m_watch([this] { Guarded([this] { Watch(); }, false); }) {}

CRackLogger::~CRackLogger() {
    Stop();
    m_watch.join();
    m_thread.join();
}

void CRackLogger::Stop() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

bool CRackLogger::Done() const {
    const std::lock_guard lock(m_mutex);
    return m_done;
}

bool CRackLogger::WaitEnded(Clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_until(lock, deadline, [this] { return m_ended; });
}

std::optional<std::string> CRackLogger::Failure() const {
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

void CRackLogger::Guarded(const std::function<void()>& step, bool worker) {
    std::optional<std::string> failure;
    try {
        step();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown exception";
    }
    const std::lock_guard lock(m_mutex);
    if (failure) {
        m_failure = RackLabel(m_rack) + ": unexpected failure: " + *failure + "; its log ends";
        std::cerr << "ksm7720: " << *m_failure << '\n';
        m_stopping = true;
    }
    m_ended = m_ended || worker;
    if (worker || failure) {
        Finish();
    }
}

void CRackLogger::Finish() {
    m_wake.notify_all();
    if (!m_done) {
        m_done = true;
        m_finished();
    }
}

bool CRackLogger::WaitUntil(Clock::time_point due) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, due, [this] { return m_stopping; });
    return !m_stopping;
}

bool CRackLogger::CountReached() const {
    const std::lock_guard lock(m_mutex);
    return m_count && m_rows >= *m_count;
}

bool CRackLogger::Count() {
    if (m_count && m_rows >= *m_count) {
        return false;
    }
    ++m_rows;
    return true;
}

void CRackLogger::Work() {
    Clock::time_point due = m_start;
    while (!CountReached() && WaitUntil(due)) {
        {
            const std::lock_guard lock(m_mutex);
            if (!Count()) {
                return;
            }
            m_readDue = due;
            m_readEnd.reset();
            m_readBegan = std::chrono::system_clock::now();
        }
        RackId rack;
        const Snapshot snapshot = m_link->Read(rack);
        {
            const std::lock_guard lock(m_mutex);
            m_readEnd = Clock::now();
            m_rack = rack;
        }
        if (!m_sink(snapshot, rack)) {
            return;
        }
        // The first interval boundary after now: the watch gave those it covered their rows.
        const auto elapsed = Clock::now() - m_start;
        due = m_start + (elapsed / m_interval + 1) * m_interval;
    }
}

// At each interval boundary that a read was in progress at: a BUSY row. The read may have
// ended since, when this thread woke late; the worker's next read is due after it.
void CRackLogger::Watch() {
    std::unique_lock lock(m_mutex);
    for (Clock::time_point due = m_start + m_interval;; due += m_interval) {
        m_wake.wait_until(lock, due, [this] { return m_stopping || m_done; });
        if (m_stopping || m_done) {
            return;
        }
        if (!m_readDue || *m_readDue >= due || (m_readEnd && *m_readEnd <= due)) {
            continue;
        }
        if (!Count()) {
            Finish(); // the count is reached while the last read hangs
            return;
        }
        Snapshot busy;
        busy.time = std::chrono::system_clock::now() - // the boundary's, however late this is
                    std::chrono::duration_cast<WallTime::duration>(Clock::now() - due);
        busy.statusName = "BUSY";
        RackId rack = m_rack;
        rack.reason = "the read begun at " + Rfc3339(m_readBegan) + " has not ended";
        lock.unlock();
        const bool more = m_sink(busy, rack);
        lock.lock();
        if (!more) {
            return;
        }
    }
}
