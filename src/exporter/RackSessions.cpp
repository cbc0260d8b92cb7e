#include "exporter/RackSessions.h"

std::shared_ptr<CRackSession> CRackSessions::Get(const RackConfig& rack) {
    const std::lock_guard lock(m_mutex);
    auto& session = m_sessions[rack.resource];
    if (!session) {
        session = std::make_shared<CRackSession>(rack, m_libraries, m_ioTimeOutMs, m_log);
    }
    return session;
}
