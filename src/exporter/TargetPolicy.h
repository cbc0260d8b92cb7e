#pragma once
// Which targets a probe may reach. With a rack list, exactly those racks; without one,
// the resources the VISA library's own search lists, searched again every refresh
// interval on a thread of its own, so no request waits for a search, makes the library
// open a resource nobody meant, or searches in a loop. A target matches a rack in any
// spelling of its resource (CanonicalResourceName) and is answered under the rack's own.
#include "exporter/WorkerThread.h"
#include "racks/RackConfig.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The "?*INSTR" search's descriptors; nothing when the search failed.
using ResourceSearch = std::function<std::optional<std::vector<std::string>>()>;

class CTargetPolicy {
public:
    explicit CTargetPolicy(std::vector<RackConfig> racks);
    // Searches once before it returns, then every refresh on its own thread.
    CTargetPolicy(ResourceSearch search, std::chrono::steady_clock::duration refresh);
    ~CTargetPolicy(); // ends the search thread, after a search in progress
    CTargetPolicy(const CTargetPolicy&) = delete;
    CTargetPolicy& operator=(const CTargetPolicy&) = delete;

    // The rack a target names; nothing when it is not allowed.
    std::optional<RackConfig> Allowed(const std::string& target);
    // The racks known now, for the landing page.
    std::vector<RackConfig> Known();
    // A new rack list in place of the old one (a reload of --config.file).
    void Replace(std::vector<RackConfig> racks);
    // watcher told of the racks now and after every reload or search, under the policy's
    // lock, so no target is allowed from a list it has not been told of; it must not call
    // the policy.
    void Watch(std::function<void(const std::vector<RackConfig>&)> watcher);

private:
    void Search();        // one search, off the lock while the library searches
    void SearchForever(); // on m_thread

    // First in the exporter's lock order (policy, sessions, session, log): the watcher,
    // which takes the sessions' lock, runs under it.
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::vector<RackConfig> m_racks;
    std::vector<std::string> m_canonical; // of m_racks, in its order
    ResourceSearch m_search;              // empty: the rack list is fixed
    std::chrono::steady_clock::duration m_refresh{};
    std::uint64_t m_searchVersion = 0;
    std::function<void(const std::vector<RackConfig>&)> m_watcher;
    std::unique_ptr<CWorkerThread> m_thread; // last: starts once everything above is built
};
