#include "exporter/RackSessions.h"

#include "core/ResourceName.h"

#include <algorithm>

namespace {

std::string Key(const RackConfig& rack) {
    return CanonicalResourceName(rack.resource).value_or(rack.resource);
}

} // namespace

std::shared_ptr<CRackSession> CRackSessions::Get(const RackConfig& rack) {
    const std::lock_guard lock(m_mutex);
    const std::string key = Key(rack);
    if (m_listed && m_listed->count(key) == 0) {
        auto dropped = std::make_shared<CRackSession>(rack, m_libraries, m_ioTimeOutMs, m_log);
        dropped->Stop(); // answers at once; no worker, so nothing to close
        return dropped;
    }
    auto& session = m_sessions[key];
    if (!session) {
        session = std::make_shared<CRackSession>(rack, m_libraries, m_ioTimeOutMs, m_log);
        if (m_stopped) {
            session->Stop();
        }
    }
    session->Listed(rack);
    return session;
}

void CRackSessions::Stop() {
    const std::lock_guard lock(m_mutex);
    m_stopped = true;
    for (const auto& [resource, session] : m_sessions) {
        session->Stop();
    }
}

void CRackSessions::Retain(const std::vector<RackConfig>& racks) {
    std::set<std::string> listed;
    for (const RackConfig& rack : racks) {
        listed.insert(Key(rack));
    }
    const std::lock_guard lock(m_mutex);
    m_listed = std::move(listed);
    for (auto at = m_sessions.begin(); at != m_sessions.end();) {
        if (m_listed->count(at->first) == 0) {
            at->second->Stop();
            m_closing.push_back(std::move(at->second));
            at = m_sessions.erase(at);
        } else {
            ++at;
        }
    }
    // Only a session whose worker has ended is destroyed here (its destructor joins it).
    std::erase_if(m_closing, [](const auto& session) { return session->Closed(); });
}
