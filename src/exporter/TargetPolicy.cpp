#include "exporter/TargetPolicy.h"

#include "core/ResourceName.h"
#include "core/Text.h"

namespace {

std::vector<std::string> CanonicalNames(const std::vector<RackConfig>& racks) {
    std::vector<std::string> names;
    names.reserve(racks.size());
    for (const RackConfig& rack : racks) {
        names.push_back(CanonicalResourceName(rack.resource).value_or(rack.resource));
    }
    return names;
}

} // namespace

CTargetPolicy::CTargetPolicy(std::vector<RackConfig> racks) {
    Replace(std::move(racks));
}

CTargetPolicy::CTargetPolicy(ResourceSearch search, std::chrono::steady_clock::duration refresh)
    : m_search(std::move(search)), m_refresh(refresh) {
    Search();
    m_thread = std::make_unique<CWorkerThread>([this] { SearchForever(); });
}

CTargetPolicy::~CTargetPolicy() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_thread.reset();
}

void CTargetPolicy::Replace(std::vector<RackConfig> racks) {
    std::vector<std::string> canonical = CanonicalNames(racks);
    const std::lock_guard lock(m_mutex);
    m_racks = std::move(racks);
    m_canonical = std::move(canonical);
    if (m_watcher) {
        m_watcher(m_racks);
    }
}

void CTargetPolicy::Watch(std::function<void(const std::vector<RackConfig>&)> watcher) {
    const std::lock_guard lock(m_mutex);
    m_watcher = std::move(watcher);
    m_watcher(m_racks);
}

void CTargetPolicy::Search() {
    const auto found = m_search();
    if (!found) {
        return; // a failed search keeps the last list
    }
    std::vector<RackConfig> racks;
    for (const std::string& descriptor : *found) {
        racks.push_back({AsciiUpper(descriptor), "", std::nullopt, ErrorQueueUse::Drain, {}});
    }
    std::vector<std::string> canonical = CanonicalNames(racks);
    const std::lock_guard lock(m_mutex);
    if (canonical != m_canonical || m_searchVersion == 0) {
        ++m_searchVersion; // verdicts on the old list's resources no longer hold
    }
    for (RackConfig& rack : racks) {
        rack.searchVersion = m_searchVersion;
    }
    m_racks = std::move(racks);
    m_canonical = std::move(canonical);
    if (m_watcher) {
        m_watcher(m_racks);
    }
}

void CTargetPolicy::SearchForever() {
    std::unique_lock lock(m_mutex);
    while (!m_stopped.wait_for(lock, m_refresh, [this] { return m_stopping; })) {
        lock.unlock();
        Search();
        lock.lock();
    }
}

std::optional<RackConfig> CTargetPolicy::Allowed(const std::string& target) {
    const auto wanted = CanonicalResourceName(target);
    if (!wanted) {
        return std::nullopt;
    }
    const std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_racks.size(); ++i) {
        if (m_canonical[i] == *wanted) {
            return m_racks[i];
        }
    }
    return std::nullopt;
}

std::vector<RackConfig> CTargetPolicy::Known() {
    const std::lock_guard lock(m_mutex);
    return m_racks;
}
