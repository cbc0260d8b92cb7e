#include "exporter/RackSessions.h"

#include "core/ResourceName.h"

std::shared_ptr<CRackSession> CRackSessions::Get(const RackConfig& rack) {
    const std::lock_guard lock(m_mutex);
    auto& session = m_sessions[CanonicalResourceName(rack.resource).value_or(rack.resource)];
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
