#include "cli/RackLink.h"

#include "core/StatusNames.h"
#include "core/Text.h"

#include <chrono>

namespace {

// A snapshot of a rack that could not be opened: its status by name when a call gave one.
Snapshot NotOpened(InstrumentStatus status, ErrorQueueUse queue) {
    Snapshot snapshot;
    snapshot.time = std::chrono::system_clock::now();
    snapshot.queue = queue;
    snapshot.status = status;
    snapshot.statusName = status != 0 ? StatusWord(status) : "OPEN_FAILED";
    return snapshot;
}

} // namespace

std::string JoinedLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : "; ") + line.substr(line.find_first_not_of(' '));
    }
    return joined;
}

CRackLink::CRackLink(RackTarget target, const Invocation& invocation, const CDiscovery& libraries,
                     KindSet kinds)
    : m_target(std::move(target)), m_invocation(invocation), m_visaNames(libraries.VisaNames()),
      m_driverNames(libraries.DriverNames()), m_kinds(kinds) {
    m_invocation.resource = m_target.resource;
}

std::optional<CCommandFailure> CRackLink::Open() {
    // A discovery connects once: every opening has its own.
    m_discovery = std::make_unique<CDiscovery>(m_visaNames, m_driverNames);
    try {
        m_mainframe.emplace(OpenMainframe(*m_discovery, m_invocation));
        return std::nullopt;
    } catch (const CCommandFailure& failure) {
        return failure;
    }
}

Snapshot CRackLink::Read(RackId& rack) {
    rack = RackId{AsciiUpper(m_target.resource), m_target.name, {}};
    if (!m_mainframe) {
        if (const auto failure = Open()) {
            rack.reason = JoinedLines(failure->lines);
            return NotOpened(failure->status, m_target.errorQueue);
        }
    }
    rack.resource = m_mainframe->resource;
    Snapshot snapshot =
        CSnapshotReader(m_target.errorQueue, m_kinds).Read(*m_mainframe->instrument);
    if (!snapshot.up) {
        rack.reason = snapshot.reason + " (status " + StatusHex(snapshot.status) + ")";
        m_mainframe.reset(); // closed: the next read opens it afresh
    }
    return snapshot;
}
