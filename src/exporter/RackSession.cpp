#include "exporter/RackSession.h"

#include "core/StatusNames.h"

#include <system_error>

CRackSession::CRackSession(RackConfig rack, LibraryNames libraries, int ioTimeOutMs, CLog& log,
                           bool stopped)
    : m_rack(std::move(rack)), m_log(log, m_rack.resource),
      m_opener(m_rack.resource, std::move(libraries), ioTimeOutMs, m_log,
               [this](const std::string& step) { Trace(step, std::nullopt); }),
      m_stopping(stopped), m_searchVersion(m_rack.searchVersion), m_errorQueue(m_rack.errorQueue),
      m_exposition(std::make_shared<const CRackExposition>(
          RackLabels{std::nullopt, m_rack.resource, m_rack.name, m_rack.blowers})) {}

CRackSession::~CRackSession() {
    Stop();
    m_worker.reset();
    m_opener.Drop();
}

void CRackSession::Stop() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_changed.notify_all();
}

bool CRackSession::Closed() {
    const std::lock_guard lock(m_mutex);
    return m_stopping && (!m_worker || m_workerDone);
}

void CRackSession::Listed(const RackConfig& rack) {
    const std::lock_guard lock(m_mutex);
    m_searchVersion = rack.searchVersion;
    m_errorQueue = rack.errorQueue;
}

std::string CRackSession::Exposition(const ScrapeResult& scrape, const RackLabels& labels) {
    std::shared_ptr<const CRackExposition> exposition;
    {
        const std::lock_guard lock(m_mutex);
        exposition = m_exposition;
    }
    if (!(exposition->Labels() == labels)) {
        exposition = std::make_shared<const CRackExposition>(labels); // off the lock
        const std::lock_guard lock(m_mutex);
        m_exposition = exposition;
    }
    return exposition->Text(scrape);
}

ScrapeResult CRackSession::Probe(Clock::time_point deadline, CProbeTrace* trace) {
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        return {};
    }
    const bool running = m_started > m_finished;
    const bool queued = m_asked > m_started;
    const RackReadState state{running,          m_abandoned,     queued,
                              m_waitingRunning, m_waitingQueued, m_lastRead};
    std::uint64_t ticket = 0;
    const auto now = Clock::now();
    switch (DecideProbe(state, now, deadline)) {
    case ProbeAction::WaitForRunning:
        ticket = m_started;
        ++m_waitingRunning;
        Attach(trace, m_tracesRunning, "joins the read under way");
        break;
    case ProbeAction::QueueRead:
        ticket = queued ? m_asked : ++m_asked;
        ++m_waitingQueued;
        Attach(trace, m_tracesQueued, queued ? "waits for the read asked for" : "asks for a read");
        break;
    case ProbeAction::AnswerNotUp: {
        const char* why = WhyNotUp(state, now, deadline);
        lock.unlock();
        m_log.Write(LogLevel::Debug, "rack not read for this probe", {{"reason", why}});
        if (trace != nullptr) {
            trace->Step(std::string("answered at once: ") + why);
        }
        return {};
    }
    }
    if (!m_worker) {
        try {
            m_worker = std::make_unique<CWorkerThread>([this] { Work(); });
        } catch (const std::system_error& error) {
            --m_asked;
            --m_waitingQueued;
            std::erase(m_tracesQueued, trace);
            lock.unlock();
            m_log.Write(LogLevel::Error, "no thread for the rack's reads",
                        {{"reason", error.what()}});
            return {};
        }
    }
    m_changed.notify_all();
    return Wait(lock, ticket, deadline, trace);
}

ScrapeResult CRackSession::Wait(std::unique_lock<std::mutex>& lock, std::uint64_t ticket,
                                Clock::time_point deadline, CProbeTrace* trace) {
    const bool done =
        m_changed.wait_until(lock, deadline, [&] { return m_finished >= ticket || m_stopping; });
    std::erase(m_tracesRunning, trace);
    std::erase(m_tracesQueued, trace);
    if (trace != nullptr && !done) {
        trace->Step(m_stopping ? "the exporter is stopping" : "no result by the deadline");
    }
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
    lock.unlock();
    m_log.Write(LogLevel::Warn, "rack did not answer within the scrape time-out");
    return {};
}

void CRackSession::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [&] { return m_asked > m_finished || m_stopping; });
        if (m_stopping) {
            lock.unlock();
            m_opener.Drop(); // on this thread, so a hung driver holds up nobody but this worker
            lock.lock();
            m_workerDone = true;
            return;
        }
        m_started = m_asked;
        m_waitingRunning = m_waitingQueued;
        m_waitingQueued = 0;
        m_abandoned = false;
        m_startedAt = Clock::now();
        m_tracesRunning.insert(m_tracesRunning.end(), m_tracesQueued.begin(), m_tracesQueued.end());
        m_tracesQueued.clear();
        lock.unlock();
        ScrapeResult result = Scrape();
        const auto duration = Clock::now() - m_startedAt;
        m_log.Write(LogLevel::Debug, "rack read",
                    {{"up", result.up ? "1" : "0"},
                     {"cancelled", result.cancelled ? "1" : "0"},
                     {"seconds", std::to_string(std::chrono::duration<double>(duration).count())}});
        lock.lock();
        if (!result.cancelled) {
            m_lastRead = result.up ? LastRead::Up : LastRead::Failed;
        }
        for (CProbeTrace* trace : m_tracesRunning) {
            trace->Step(result.up ? "read ended" : "read ended: not up");
        }
        m_tracesRunning.clear();
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
    std::optional<std::uint64_t> listed;
    ErrorQueueUse errorQueue;
    {
        const std::lock_guard lock(m_mutex);
        listed = m_searchVersion;
        errorQueue = m_errorQueue;
    }
    CMainframeSession* session = m_opener.Session(listed);
    if (session == nullptr) {
        return {};
    }
    ScrapeResult result = ScrapeFrom(
        session->Read(CSnapshotReader(errorQueue, kAllKinds, [this] {
                          return Cancelled();
                      }).OnStep([this](const std::string& step, InstrumentStatus status) {
            Trace(step, status);
        })));
    if (!result.up && !result.cancelled) {
        LogFields fields = CRackLog::StatusFields(result.status, result.reason);
        fields.emplace_back("entries", std::to_string(result.entryTexts.size()));
        m_log.Write(LogLevel::Info, "rack read failed; its session is closed", fields);
    }
    return result;
}

void CRackSession::Attach(CProbeTrace* trace, std::vector<CProbeTrace*>& traces,
                          const std::string& step) {
    if (trace != nullptr) {
        trace->Step(step);
        traces.push_back(trace);
    }
}

void CRackSession::Trace(const std::string& step, std::optional<InstrumentStatus> status) {
    const std::lock_guard lock(m_mutex);
    for (CProbeTrace* trace : m_tracesRunning) {
        trace->Step(status ? step + ": " + StatusWord(*status) : step);
    }
}
