#include "exporter/RackSession.h"

#include "metrics/RackReader.h"

CRackSession::CRackSession(RackConfig rack, LibraryNames libraries, int ioTimeOutMs, CLog& log)
    : m_rack(std::move(rack)), m_libraries(std::move(libraries)), m_ioTimeOutMs(ioTimeOutMs),
      m_log(log), m_worker(&CRackSession::Work, this) {}

CRackSession::~CRackSession() {
    Stop();
    m_worker.join();
    Drop();
}

void CRackSession::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
}

ScrapeResult CRackSession::Probe(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    const bool ourTurn = m_changed.wait_until(
        lock, deadline, [&] { return m_state == State::Idle || m_abandoned || m_stopping; });
    if (!ourTurn || m_state != State::Idle || m_stopping ||
        std::chrono::steady_clock::now() >= deadline) {
        return {};
    }
    m_state = State::Requested;
    const std::uint64_t ticket = ++m_requested;
    m_changed.notify_all();
    m_changed.wait_until(lock, deadline, [&] { return m_done == ticket || m_stopping; });
    if (m_done != ticket) {
        m_abandoned = true;
        m_changed.notify_all(); // probes waiting for their turn answer now
        if (!m_stopping) {
            m_log.Write(LogLevel::Warn, "rack did not answer within the scrape time-out",
                        "target=" + CLog::Value(m_rack.resource));
        }
        return {};
    }
    return std::move(m_result);
}

void CRackSession::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [&] { return m_state == State::Requested || m_stopping; });
        if (m_stopping) {
            return;
        }
        m_state = State::Working;
        lock.unlock();
        ScrapeResult result = Scrape();
        lock.lock();
        m_result = std::move(result);
        m_done = m_requested;
        m_state = State::Idle;
        m_abandoned = false;
        m_changed.notify_all();
    }
}

ScrapeResult CRackSession::Scrape() {
    if (!m_instrument && !Open()) {
        return {};
    }
    ScrapeResult result = CRackReader(m_rack.errorQueue).Read(*m_instrument);
    if (!result.up) {
        const InstrumentStatus status = m_instrument->GetLastStatus();
        m_log.Write(LogLevel::Info, "rack read failed; its session is closed",
                    "target=" + CLog::Value(m_rack.resource) + " status=" + std::to_string(status));
        Drop();
    }
    return result;
}

bool CRackSession::Open() {
    m_discovery = std::make_unique<CDiscovery>(m_libraries.visa, m_libraries.driver);
    if (const auto failure = m_discovery->Open()) {
        const std::vector<std::string> lines = OpenFailureLines(*m_discovery, *failure);
        std::string fields = "target=" + CLog::Value(m_rack.resource);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            fields += " reason=" + CLog::Value(lines[i]);
        }
        m_log.Write(LogLevel::Error, lines.front(), fields);
        m_discovery.reset();
        return false;
    }
    auto connection = m_discovery->Connect(m_rack.resource, false, m_ioTimeOutMs, true);
    if (!connection.instrument) {
        m_log.Write(LogLevel::Info, "rack did not open as a mainframe",
                    "target=" + CLog::Value(m_rack.resource) +
                        " status=" + std::to_string(connection.status) +
                        " reason=" + CLog::Value(m_discovery->StatusText(connection.status)));
        m_discovery.reset();
        return false;
    }
    m_instrument = std::move(connection.instrument);
    // Without its I/O time-out a stalled call could hold the worker without end.
    if (connection.timeOutStatus < 0) {
        m_log.Write(LogLevel::Error, "the driver refused the I/O time-out",
                    "target=" + CLog::Value(m_rack.resource) +
                        " status=" + std::to_string(connection.timeOutStatus));
        Drop();
        return false;
    }
    return true;
}

void CRackSession::Drop() {
    if (m_instrument) {
        m_instrument->Close();
        m_instrument.reset();
    }
    m_discovery.reset();
}
