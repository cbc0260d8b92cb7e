#include "exporter/RequestSlots.h"

CRequestSlots::Taken CRequestSlots::Take(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    if (m_inUse >= m_total) {
        return Taken::AllBusy;
    }
    std::size_t& mine = m_byClient[client];
    if (mine >= m_perClient) {
        return Taken::ClientBusy;
    }
    ++mine;
    ++m_inUse;
    return Taken::Yes;
}

void CRequestSlots::Give(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_byClient.find(client);
    if (found == m_byClient.end() || found->second == 0) {
        return;
    }
    --m_inUse;
    if (--found->second == 0) {
        m_byClient.erase(found);
    }
}
