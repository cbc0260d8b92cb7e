#pragma once
// The sessions of every rack probed so far, one per rack, made on first use and keyed by
// the canonical resource name, so two spellings of one rack share its session (and never
// drain each other's error queue). Only racks the target policy allowed ever get one, and
// a rack a reload drops has its session closed, so their number is bounded by the list.
#include "exporter/RackSession.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

class CRackSessions {
public:
    CRackSessions(LibraryNames libraries, int ioTimeOutMs, CLog& log)
        : m_libraries(std::move(libraries)), m_ioTimeOutMs(ioTimeOutMs), m_log(log) {}

    std::shared_ptr<CRackSession> Get(const RackConfig& rack);
    // Stops every session (CRackSession::Stop), and every one made later, without waiting
    // for a call in progress: from then on every probe answers at once that it was not read.
    void Stop();
    // The racks listed now: the session of any other rack is stopped and closed on its own
    // worker once its call in progress ends, so a hung driver never holds up the caller;
    // sessions dropped before whose worker has ended are freed. From then on Get gives a
    // rack not listed (allowed by the list before) a stopped session it does not keep.
    void Retain(const std::vector<RackConfig>& racks);

private:
    const LibraryNames m_libraries;
    const int m_ioTimeOutMs;
    CLog& m_log;
    // In the exporter's lock order after the target policy's (whose watcher calls Retain)
    // and before a session's; held across no call into a session.
    std::mutex m_mutex;
    bool m_stopped = false;
    std::map<std::string, std::shared_ptr<CRackSession>> m_sessions;
    std::vector<std::shared_ptr<CRackSession>> m_closing; // dropped, worker not ended yet
    std::optional<std::set<std::string>> m_listed;        // by the last Retain
};
