#include "visa/SessionTable.h"

CSessionTable& CSessionTable::Instance() {
    static CSessionTable table;
    return table;
}

ViObject CSessionTable::Add(Object object) {
    std::lock_guard lock(m_mutex);
    ViObject handle = m_next++;
    if (m_next == VI_NULL)
        m_next = 1;
    m_objects.emplace(handle, std::move(object));
    return handle;
}

std::optional<CSessionTable::Object> CSessionTable::Get(ViObject handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(handle);
    if (it == m_objects.end())
        return std::nullopt;
    return it->second;
}

bool CSessionTable::Close(ViObject handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(handle);
    if (it == m_objects.end())
        return false;
    bool manager = it->second.manager == VI_NULL;
    m_objects.erase(it);
    if (manager)
        std::erase_if(m_objects, [&](const auto& entry) { return entry.second.manager == handle; });
    return true;
}
