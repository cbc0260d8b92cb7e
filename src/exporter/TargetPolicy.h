#pragma once
// Which targets a probe may reach. With a rack list, exactly those racks; without one,
// the resources the VISA library's own search lists, searched again at most once per
// refresh interval however many probes ask, so no request can make the library open a
// resource nobody meant or search in a loop.
#include "core/VisaEntryPoints.h"
#include "exporter/RackConfig.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The "?*INSTR" search's descriptors; nothing when the search failed.
using ResourceSearch = std::function<std::optional<std::vector<std::string>>()>;

class CTargetPolicy {
public:
    explicit CTargetPolicy(std::vector<RackConfig> racks);
    CTargetPolicy(ResourceSearch search, std::chrono::steady_clock::duration refresh);

    // A rack list read again takes the place of the list or the search.
    void Replace(std::vector<RackConfig> racks);
    // The rack a target names, compared without ASCII case; nothing when it is not allowed.
    std::optional<RackConfig> Allowed(const std::string& target);
    // The racks known now, for the landing page.
    std::vector<RackConfig> Known();

private:
    void RefreshIfDue(); // with m_mutex held

    std::mutex m_mutex;
    std::vector<RackConfig> m_racks;
    ResourceSearch m_search; // empty: the rack list is fixed
    std::chrono::steady_clock::duration m_refresh{};
    std::optional<std::chrono::steady_clock::time_point> m_searched;
};

// Lists the resources that match "?*INSTR" without opening any of them.
std::optional<std::vector<std::string>> SearchInstruments(const visa::VisaEntryPoints& vi,
                                                          visa::ViSession rm);
