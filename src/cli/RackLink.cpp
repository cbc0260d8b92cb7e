#include "cli/RackLink.h"

CRackLink::CRackLink(RackTarget target, const Invocation& invocation, const CDiscovery& libraries,
                     KindSet kinds)
    : m_target(std::move(target)), m_kinds(kinds),
      m_session(libraries.VisaNames(), libraries.DriverNames(),
                RackOptions(invocation, m_target.resource)) {}

Snapshot CRackLink::Read(RackId& rack) {
    Snapshot snapshot = m_session.Read(CSnapshotReader(m_target.errorQueue, m_kinds));
    rack = RackId{m_session.Resource(), m_target.name, snapshot.up ? "" : snapshot.reason};
    return snapshot;
}
