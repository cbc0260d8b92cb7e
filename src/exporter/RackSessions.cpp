#include "exporter/RackSessions.h"

#include "core/ResourceName.h"

#include <algorithm>

namespace {

std::string Key(const RackConfig& rack) {
    return CanonicalResourceName(rack.resource).value_or(rack.resource);
}

} // namespace

std::shared_ptr<CRackSession> CRackSessions::Get(const RackConfig& rack) {
    const std::string key = Key(rack);
    std::shared_ptr<CRackSession> session;
    {
        const std::lock_guard lock(m_mutex);
        if (m_listed && m_listed->count(key) == 0) {
            // Stopped: answers at once; no worker, so nothing to close.
            return std::make_shared<CRackSession>(rack, m_libraries, m_ioTimeOutMs, m_log, true);
        }
        auto& kept = m_sessions[key];
        if (!kept) {
            kept =
                std::make_shared<CRackSession>(rack, m_libraries, m_ioTimeOutMs, m_log, m_stopped);
        }
        session = kept;
    }
    session->Listed(rack);
    return session;
}

void CRackSessions::Stop() {
    std::vector<std::shared_ptr<CRackSession>> sessions;
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        for (const auto& [resource, session] : m_sessions) {
            sessions.push_back(session);
        }
    }
    for (const auto& session : sessions) {
        session->Stop();
    }
}

void CRackSessions::Retain(const std::vector<RackConfig>& racks) {
    std::set<std::string> listed;
    for (const RackConfig& rack : racks) {
        listed.insert(Key(rack));
    }
    std::vector<std::shared_ptr<CRackSession>> dropped;
    std::vector<std::shared_ptr<CRackSession>> closing;
    {
        const std::lock_guard lock(m_mutex);
        m_listed = std::move(listed);
        for (auto at = m_sessions.begin(); at != m_sessions.end();) {
            if (m_listed->count(at->first) == 0) {
                dropped.push_back(at->second);
                m_closing.push_back(std::move(at->second));
                at = m_sessions.erase(at);
            } else {
                ++at;
            }
        }
        closing = m_closing;
    }
    for (const auto& session : dropped) {
        session->Stop();
    }
    std::erase_if(closing, [](const auto& session) { return !session->Closed(); });
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_closing, [&](const auto& session) {
        return std::find(closing.begin(), closing.end(), session) != closing.end();
    });
    // The closed sessions are destroyed with `closing`, after the lock is let go: each one's
    // destructor joins its worker, which has ended.
}
