#pragma once
// One rack as snapshot and log read it: the core's session, opened on first use and kept
// until a read fails. Every read gives a snapshot: one that is not up when the rack could
// not be opened or read, never values from an earlier read.
#include "cli/CommandLine.h"
#include "cli/Connection.h"
#include "cli/SnapshotFormat.h"
#include "core/SnapshotReader.h"

#include <string>

struct RackTarget {
    std::string resource; // empty: the one discovery chooses
    std::string name;
    ErrorQueueUse errorQueue = ErrorQueueUse::Drain;
};

class CRackLink {
public:
    // invocation: the switches of the connection (-n, --timeout); the libraries are those
    // discovery was given.
    CRackLink(RackTarget target, const Invocation& invocation, const CDiscovery& libraries,
              KindSet kinds);

    // One snapshot; rack says which rack it is of and, when it is not up, why.
    Snapshot Read(RackId& rack);
    // The rack as named before it is read: its resource after -a (empty when discovery
    // chooses it) and name.
    RackId Id() const;

private:
    const RackTarget m_target;
    const KindSet m_kinds;
    CMainframeSession m_session;
};

// Loads the VISA and driver libraries of discovery: when one of them is missing, throws
// CCommandFailure naming every library tried, before a log or snapshot writes a row.
void CheckLibraries(CDiscovery& discovery);
