#pragma once
// The rack session as the command does it: the core's session on the resource after -a or
// the one the search chooses, where the panel would ask the operator or show a box, the
// command fails with CCommandFailure saying why.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Table.h"
#include "core/MainframeSession.h"

// Loads the libraries and opens the resource manager; throws CCommandFailure.
void OpenDiscovery(CDiscovery& discovery);

// Every resource the search finds, its interface and whether it is a mainframe.
Table ListResources(const CDiscovery& discovery);

// The session on the rack of resource (empty: the one the search chooses) with the
// libraries discovery was given and the switches of the connection (-n, --timeout).
SessionOptions RackOptions(const Invocation& invocation, const std::string& resource);
// The session's open mainframe; throws CCommandFailure saying why it could not open. A
// warning of the opening goes to err.
CDriverInstrument& OpenRack(CMainframeSession& session, std::ostream& err);
// An opening's failure as the command says it: its details indented under it.
CCommandFailure CommandFailure(const COpenFailure& failure);
