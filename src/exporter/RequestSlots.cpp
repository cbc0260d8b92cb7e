#include "exporter/RequestSlots.h"

#include <algorithm>

std::size_t CRequestSlots::Share(std::size_t total, std::size_t activeClients) {
    return std::max<std::size_t>(1, total * 3 / 4 / std::max<std::size_t>(1, activeClients));
}

CRequestSlots::Taken CRequestSlots::Take(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    if (m_inUse >= m_total) {
        return Taken::AllBusy;
    }
    const auto found = m_byClient.find(client);
    const std::size_t mine = found != m_byClient.end() ? found->second : 0;
    const std::size_t active = m_byClient.size() + (mine == 0 ? 1 : 0);
    if (mine >= Share(m_total, active)) {
        return Taken::ClientBusy;
    }
    ++m_byClient[client];
    ++m_inUse;
    return Taken::Yes;
}

void CRequestSlots::Give(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_byClient.find(client);
    if (found == m_byClient.end()) {
        return;
    }
    --m_inUse;
    if (--found->second == 0) {
        m_byClient.erase(found);
    }
}
