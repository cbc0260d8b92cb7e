#pragma once
// One rack as snapshot and log read it: a session opened on first use with identification
// and kept; a failed read closes it, and the next read opens it afresh. Every read gives a
// snapshot: one that is not up when the rack could not be opened or read, never values
// from an earlier read.
#include "cli/CommandLine.h"
#include "cli/Connection.h"
#include "cli/SnapshotFormat.h"
#include "core/SnapshotReader.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    CRackLink(const CRackLink&) = delete;
    CRackLink& operator=(const CRackLink&) = delete;

    // One snapshot; rack says which rack it is of and, when it is not up, why.
    Snapshot Read(RackId& rack);
    // The rack as named before it is read: its resource after -a (empty when discovery
    // chooses it) and name.
    RackId Id() const;

private:
    std::optional<CCommandFailure> Open();

    const RackTarget m_target;
    Invocation m_invocation;
    const std::vector<std::string> m_visaNames;
    const std::vector<std::string> m_driverNames;
    const KindSet m_kinds;
    std::unique_ptr<CDiscovery> m_discovery;
    std::optional<Mainframe> m_mainframe;
};

// The lines as one: "a; b", and a line ending in ':' with its indented list after it,
// "name one of these with -a: A, B".
std::string JoinedLines(const std::vector<std::string>& lines);

// Loads the VISA and driver libraries of discovery: when one of them is missing, throws
// CCommandFailure naming every library tried, before a log or snapshot writes a row.
void CheckLibraries(CDiscovery& discovery);
