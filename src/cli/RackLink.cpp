#include "cli/RackLink.h"

#include "core/Text.h"

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
    : m_target(std::move(target)), m_kinds(kinds),
      m_session(libraries.VisaNames(), libraries.DriverNames(),
                RackOptions(invocation, m_target.resource)) {}

RackId CRackLink::Id() const {
    return {AsciiUpper(m_target.resource), m_target.name, {}};
}

Snapshot CRackLink::Read(RackId& rack) {
    Snapshot snapshot = m_session.Read(CSnapshotReader(m_target.errorQueue, m_kinds));
    rack = RackId{m_session.Resource(), m_target.name, snapshot.up ? "" : snapshot.reason};
    return snapshot;
}
