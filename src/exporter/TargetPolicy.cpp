#include "exporter/TargetPolicy.h"

#include "core/Text.h"

#include <array>

CTargetPolicy::CTargetPolicy(std::vector<RackConfig> racks) : m_racks(std::move(racks)) {}

CTargetPolicy::CTargetPolicy(ResourceSearch search, std::chrono::steady_clock::duration refresh)
    : m_search(std::move(search)), m_refresh(refresh) {}

void CTargetPolicy::Replace(std::vector<RackConfig> racks) {
    const std::lock_guard lock(m_mutex);
    m_racks = std::move(racks);
    m_search = nullptr;
}

void CTargetPolicy::RefreshIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (!m_search || (m_searched && now - *m_searched < m_refresh)) {
        return;
    }
    m_searched = now;
    const auto found = m_search();
    if (!found) {
        return; // a failed search keeps the last list
    }
    m_racks.clear();
    for (const std::string& descriptor : *found) {
        m_racks.push_back({AsciiUpper(descriptor), "", std::nullopt, ErrorQueueUse::Drain});
    }
}

std::optional<RackConfig> CTargetPolicy::Allowed(const std::string& target) {
    const std::string wanted = AsciiUpper(target);
    const std::lock_guard lock(m_mutex);
    RefreshIfDue();
    for (const RackConfig& rack : m_racks) {
        if (rack.resource == wanted) {
            return rack;
        }
    }
    return std::nullopt;
}

std::vector<RackConfig> CTargetPolicy::Known() {
    const std::lock_guard lock(m_mutex);
    RefreshIfDue();
    return m_racks;
}

std::optional<std::vector<std::string>> SearchInstruments(const visa::VisaEntryPoints& vi,
                                                          visa::ViSession rm) {
    std::array<char, visa::kFindBufLen> descriptor{};
    visa::ViFindList list = 0;
    visa::ViUInt32 matches = 0;
    if (vi.findRsrc(rm, "?*INSTR", &list, &matches, descriptor.data()) < 0) {
        return std::nullopt;
    }
    std::vector<std::string> found;
    for (visa::ViUInt32 i = 0; i < matches; ++i) {
        if (i > 0 && vi.findNext(list, descriptor.data()) < 0) {
            break; // a list shorter than its count
        }
        descriptor.back() = '\0';
        found.emplace_back(descriptor.data());
    }
    vi.close(list);
    return found;
}
