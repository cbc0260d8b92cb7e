#include "visa/SessionTable.h"

#include "common/Immortal.h"

namespace {

// Closes whatever is still open when the library unloads, so no socket outlives it.
struct CloseAllAtUnload {
    ~CloseAllAtUnload() { CSessionTable::Instance().CloseAll(); }
} g_closeAllAtUnload;

} // namespace

CSessionTable& CSessionTable::Instance() {
    static CImmortal<CSessionTable> table;
    return *table;
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

// The closed objects are destroyed after the lock is released: closing a socket need not
// hold up the other sessions.
bool CSessionTable::Close(ViObject handle) {
    std::map<ViObject, Object> closed;
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(handle);
    if (it == m_objects.end())
        return false;
    bool manager = it->second.manager == VI_NULL;
    closed.insert(m_objects.extract(it));
    for (auto next = m_objects.begin(); manager && next != m_objects.end();) {
        auto current = next++;
        if (current->second.manager == handle)
            closed.insert(m_objects.extract(current));
    }
    return true;
}

void CSessionTable::CloseAll() {
    std::map<ViObject, Object> closed;
    std::lock_guard lock(m_mutex);
    closed.swap(m_objects);
}
