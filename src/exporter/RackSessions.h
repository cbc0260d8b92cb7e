#pragma once
// The sessions of every rack probed so far, one per rack, made on first use. Only racks
// the target policy allowed ever get one, so their number is bounded by that list.
#include "exporter/RackSession.h"

#include <map>
#include <memory>
#include <mutex>

class CRackSessions {
public:
    CRackSessions(LibraryNames libraries, int ioTimeOutMs, CLog& log)
        : m_libraries(std::move(libraries)), m_ioTimeOutMs(ioTimeOutMs), m_log(log) {}

    std::shared_ptr<CRackSession> Get(const RackConfig& rack);
    // Stops every session, and each one made later, at once (CRackSession::Stop).
    void Stop();

private:
    const LibraryNames m_libraries;
    const int m_ioTimeOutMs;
    CLog& m_log;
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<CRackSession>> m_sessions;
    bool m_stopped = false;
};
