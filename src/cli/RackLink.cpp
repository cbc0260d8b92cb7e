#include "cli/RackLink.h"

#include "core/StatusNames.h"
#include "core/Text.h"

#include <chrono>

namespace {

// A snapshot of a rack that could not be opened, from when the opening began: its status by
// name when a call gave one.
Snapshot NotOpened(WallTime began, InstrumentStatus status, ErrorQueueUse queue) {
    Snapshot snapshot;
    snapshot.time = began;
    snapshot.queue = queue;
    snapshot.status = status;
    const char* name = status != 0 ? StatusName(status) : nullptr;
    snapshot.statusName = name != nullptr ? name : status != 0 ? StatusHex(status) : "OPEN_FAILED";
    return snapshot;
}

} // namespace

std::string JoinedLines(const std::vector<std::string>& lines) {
    std::string joined;
    bool listing = false; // the indented lines after one that ends in ':' are its list
    for (const std::string& line : lines) {
        const bool listed = !joined.empty() && joined.back() == ':';
        listing = line.starts_with(' ') && (listing || listed);
        joined += joined.empty() ? "" : listed ? " " : listing ? ", " : "; ";
        joined += line.substr(line.find_first_not_of(' '));
    }
    return joined;
}

void CheckLibraries(CDiscovery& discovery) {
    const auto failure = discovery.Open();
    if (failure != DiscoveryFailure::NoVisaLibrary &&
        failure != DiscoveryFailure::NoDriverLibrary) {
        return;
    }
    std::vector<std::string> lines = OpenFailureLines(discovery, *failure);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        lines[i] = "  " + lines[i];
    }
    throw CCommandFailure{lines};
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

RackId CRackLink::Id() const {
    return {AsciiUpper(m_target.resource), m_target.name, {}};
}

Snapshot CRackLink::Read(RackId& rack) {
    rack = Id();
    if (!m_mainframe) {
        const WallTime began = std::chrono::system_clock::now();
        if (const auto failure = Open()) {
            rack.reason = JoinedLines(failure->lines);
            return NotOpened(began, failure->status, m_target.errorQueue);
        }
    }
    rack.resource = m_mainframe->resource;
    Snapshot snapshot =
        CSnapshotReader(m_target.errorQueue, m_kinds).Read(*m_mainframe->instrument);
    if (!snapshot.up) {
        rack.reason = JoinedLines(FailureLines(*m_mainframe->instrument));
        m_mainframe.reset(); // closed: the next read opens it afresh
    }
    return snapshot;
}
