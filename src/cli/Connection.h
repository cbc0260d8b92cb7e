#pragma once
// Discovery as the command does it: the same libraries, search, probe and choice as the
// panel, but where the panel would ask the operator or show a box, the command fails
// with CCommandFailure saying why.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Table.h"
#include "core/Discovery.h"

#include <memory>
#include <string>

// Loads the libraries and opens the resource manager; throws CCommandFailure.
void OpenDiscovery(CDiscovery& discovery);

// Every resource the search finds, its interface and whether it is a mainframe.
Table ListResources(const CDiscovery& discovery);

// An open mainframe; its driver session is closed when it ends, where the driver can.
struct Mainframe {
    Mainframe(std::unique_ptr<CDriverInstrument> opened, std::string name);
    Mainframe(Mainframe&&) = default;
    ~Mainframe();
    std::unique_ptr<CDriverInstrument> instrument;
    std::string resource; // the VISA resource it was opened as
    std::string rack;     // the name the panel shows for it
};
// Opens the discovery, then the resource after -a or the one discovery chooses, through
// the driver; throws CCommandFailure.
Mainframe OpenMainframe(CDiscovery& discovery, const Invocation& invocation);
