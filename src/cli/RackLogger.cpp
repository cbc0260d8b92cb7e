#include "cli/RackLogger.h"

CRackLogger::CRackLogger(std::unique_ptr<CRackLink> link, Clock::time_point start,
                         Clock::duration interval, std::optional<long> count, Sink sink,
                         std::function<void()> finished)
    : m_link(std::move(link)), m_start(start), m_interval(interval), m_count(count),
      m_sink(std::move(sink)), m_finished(std::move(finished)), m_thread([this] { Work(); }) {}

CRackLogger::~CRackLogger() {
    Stop();
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

bool CRackLogger::WaitUntil(Clock::time_point due) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, due, [this] { return m_stopping; });
    return !m_stopping;
}

void CRackLogger::Work() {
    long taken = 0;
    Clock::time_point due = m_start;
    while ((!m_count || taken < *m_count) && WaitUntil(due)) {
        RackId rack;
        const Snapshot snapshot = m_link->Read(rack);
        ++taken;
        if (!m_sink(snapshot, rack)) {
            break;
        }
        // The first interval boundary after now: those a slow read covered are skipped.
        const auto elapsed = Clock::now() - m_start;
        due = m_start + (elapsed / m_interval + 1) * m_interval;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_finished();
}
