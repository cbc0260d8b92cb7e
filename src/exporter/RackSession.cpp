#include "exporter/RackSession.h"

#include "core/StatusNames.h"
#include "metrics/RackReader.h"

#include <system_error>

namespace {

// A read whose duration nothing is known of yet is expected within this.
constexpr auto kFirstReadAllowance = std::chrono::seconds(3);
// Slack on top of twice the last read's duration before a read counts as overdue.
constexpr auto kReadSlack = std::chrono::milliseconds(250);

// "status=VI_ERROR_TMO code=0xBFFF0015 reason=..." for the log; the reason without the
// status name that a VISA description may begin with.
std::string StatusFields(InstrumentStatus status, std::string reason) {
    const char* name = StatusName(status);
    const std::string prefix = std::string(name != nullptr ? name : "") + ": ";
    if (name != nullptr && reason.compare(0, prefix.size(), prefix) == 0) {
        reason.erase(0, prefix.size());
    }
    return "status=" + std::string(name != nullptr ? name : "unknown") +
           " code=" + StatusHex(status) + " reason=" + CLog::Value(reason);
}

// What a failed opening means, told apart for the log.
const char* OpeningFailure(InstrumentStatus status) {
    switch (static_cast<std::uint32_t>(status)) {
    case 0xBFFF0015u: // VI_ERROR_TMO
        return "rack did not answer in time while it was opened";
    case 0xBFFF0011u: // VI_ERROR_RSRC_NFOUND
    case 0xBFFF0012u: // VI_ERROR_INV_RSRC_NAME
        return "rack not found";
    case 0xBFFF000Fu: // VI_ERROR_RSRC_LOCKED
    case 0xBFFF0072u: // VI_ERROR_RSRC_BUSY
    case 0xBFFF00A6u: // VI_ERROR_CONN_LOST
        return "rack refused the connection";
    case 0xBFFC0011u: // VI_ERROR_FAIL_ID_QUERY
        return "resource is not a mainframe: it identified as another instrument";
    default:
        return "rack did not open";
    }
}

} // namespace

CRackSession::CRackSession(RackConfig rack, LibraryNames libraries, int ioTimeOutMs, CLog& log)
    : m_rack(std::move(rack)), m_libraries(std::move(libraries)), m_ioTimeOutMs(ioTimeOutMs),
      m_log(log), m_searchVersion(m_rack.searchVersion), m_errorQueue(m_rack.errorQueue) {}

CRackSession::~CRackSession() {
    Stop();
    m_worker.reset();
    Drop();
}

void CRackSession::Stop() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_changed.notify_all();
}

void CRackSession::Listed(const RackConfig& rack) {
    const std::lock_guard lock(m_mutex);
    m_searchVersion = rack.searchVersion;
    m_errorQueue = rack.errorQueue;
}

CRackSession::Clock::time_point CRackSession::DueBy(Clock::time_point start) const {
    return start + (m_lastDuration ? 2 * *m_lastDuration + kReadSlack
                                   : Clock::duration(kFirstReadAllowance));
}

// The running read's result is worth waiting for: somebody still wants it, and the read
// is not overdue and due before the deadline.
bool CRackSession::Joinable(Clock::time_point deadline) const {
    const auto due = DueBy(m_startedAt);
    return !m_abandoned && Clock::now() <= due && due <= deadline;
}

// The read after the running one, which is about to stop for nobody wants it, is due
// before the deadline.
bool CRackSession::Queueable(Clock::time_point deadline) const {
    const auto due = DueBy(m_startedAt);
    return m_abandoned && Clock::now() <= due && DueBy(due) <= deadline;
}

ScrapeResult CRackSession::Probe(Clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        return {};
    }
    const bool running = m_started > m_finished;
    const bool queued = m_asked > m_started;
    std::uint64_t ticket = 0;
    if (!running && !queued) {
        ticket = ++m_asked;
        ++m_waitingQueued;
    } else if (m_lastUp && (!running || (queued && Queueable(deadline)))) {
        ticket = m_asked; // the read asked for next, started or not
        ++m_waitingQueued;
    } else if (m_lastUp && Joinable(deadline)) {
        ticket = m_started;
        ++m_waitingRunning;
    } else if (m_lastUp && !queued && Queueable(deadline)) {
        ticket = ++m_asked;
        ++m_waitingQueued;
    } else {
        // A rack whose last read failed keeps one probe waiting at most, whatever the others'
        // deadlines: it holds up no request slot that a rack which answers could use.
        m_log.Write(LogLevel::Debug, "rack busy with a read whose result is not due in time",
                    "target=" + CLog::Value(m_rack.resource));
        return {};
    }
    if (!m_worker) {
        try {
            m_worker = std::make_unique<CWorkerThread>([this] { Work(); });
        } catch (const std::system_error& error) {
            --m_asked;
            --m_waitingQueued;
            m_log.Write(LogLevel::Error, "no thread for the rack's reads",
                        "target=" + CLog::Value(m_rack.resource) +
                            " reason=" + CLog::Value(error.what()));
            return {};
        }
    }
    m_changed.notify_all();
    return Wait(lock, ticket, deadline);
}

ScrapeResult CRackSession::Wait(std::unique_lock<std::mutex>& lock, std::uint64_t ticket,
                                Clock::time_point deadline) {
    const bool done =
        m_changed.wait_until(lock, deadline, [&] { return m_finished >= ticket || m_stopping; });
    if (m_stopping) {
        return {};
    }
    if (done) {
        return m_result;
    }
    if (ticket == m_asked && m_asked > m_started) {
        if (--m_waitingQueued == 0) {
            --m_asked; // nobody wants the queued read any more
        }
    } else if (--m_waitingRunning == 0) {
        m_abandoned = true; // the read stops at its next object
    }
    m_log.Write(LogLevel::Warn, "rack did not answer within the scrape time-out",
                "target=" + CLog::Value(m_rack.resource));
    return {};
}

void CRackSession::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [&] { return m_asked > m_finished || m_stopping; });
        if (m_stopping) {
            return;
        }
        m_started = m_asked;
        m_waitingRunning = m_waitingQueued;
        m_waitingQueued = 0;
        m_abandoned = false;
        m_startedAt = Clock::now();
        lock.unlock();
        ScrapeResult result = Scrape();
        lock.lock();
        const auto duration = Clock::now() - m_startedAt;
        if (!result.cancelled) {
            m_lastDuration = duration;
            m_lastUp = result.up;
        }
        m_log.Write(LogLevel::Debug, "rack read",
                    "target=" + CLog::Value(m_rack.resource) + " up=" + (result.up ? "1" : "0") +
                        " cancelled=" + (result.cancelled ? "1" : "0") + " seconds=" +
                        std::to_string(std::chrono::duration<double>(duration).count()));
        m_result = std::move(result);
        m_finished = m_started;
        m_waitingRunning = 0;
        m_abandoned = false;
        m_changed.notify_all();
    }
}

bool CRackSession::Cancelled() {
    const std::lock_guard lock(m_mutex);
    return m_stopping || m_abandoned;
}

ScrapeResult CRackSession::Scrape() {
    if (!m_instrument && !Open()) {
        return {};
    }
    ErrorQueueUse errorQueue;
    {
        const std::lock_guard lock(m_mutex);
        errorQueue = m_errorQueue;
    }
    ScrapeResult result =
        CRackReader(errorQueue, [this] { return Cancelled(); }).Read(*m_instrument);
    if (!result.up && !result.cancelled) {
        const InstrumentStatus status = m_instrument->GetLastStatus();
        const char* text = status < 0 ? m_instrument->GetStatusText(status) : nullptr;
        m_log.Write(LogLevel::Info, "rack read failed; its session is closed",
                    "target=" + CLog::Value(m_rack.resource) + " " +
                        StatusFields(status, text != nullptr ? text : ""));
        Drop();
    }
    return result;
}

bool CRackSession::Open() {
    std::optional<std::uint64_t> listed;
    {
        const std::lock_guard lock(m_mutex);
        listed = m_searchVersion;
    }
    if (listed && m_foreignIn == listed) {
        m_log.Write(LogLevel::Debug, "resource is not a mainframe (identified before)",
                    "target=" + CLog::Value(m_rack.resource));
        return false;
    }
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
    auto connection = m_discovery->Connect(
        m_rack.resource,
        {.timeOutMs = m_ioTimeOutMs, .identify = true, .openTimeOutMs = m_ioTimeOutMs});
    if (!connection.instrument) {
        const bool badDriver = connection.failure == DiscoveryFailure::BadDriver;
        m_log.Write(
            badDriver ? LogLevel::Error : LogLevel::Info,
            badDriver ? "the driver library lacks an entry point"
                      : OpeningFailure(connection.status),
            "target=" + CLog::Value(m_rack.resource) + " " +
                StatusFields(connection.status, m_discovery->StatusText(connection.status)));
        if (connection.status == VI_ERROR_FAIL_ID_QUERY) {
            m_foreignIn = listed; // asked once per search list, not on every probe
        }
        m_discovery.reset();
        return false;
    }
    m_instrument = std::move(connection.instrument);
    // Without its I/O time-out a stalled call could hold the worker without end.
    if (connection.timeOutStatus < 0) {
        const char* text = m_instrument->GetStatusText(connection.timeOutStatus);
        m_log.Write(LogLevel::Error, "the driver refused the I/O time-out",
                    "target=" + CLog::Value(m_rack.resource) + " " +
                        StatusFields(connection.timeOutStatus, text != nullptr ? text : ""));
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
