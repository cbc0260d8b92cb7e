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
void OpenDiscovery(CDiscovery& discovery, const std::vector<std::string>& visaNames,
                   const std::vector<std::string>& driverNames);

// Every resource the search finds, its interface and whether it is a mainframe.
Table ListResources(const CDiscovery& discovery);

struct Mainframe {
    std::unique_ptr<CDriverInstrument> instrument;
    std::string resource; // the VISA resource it was opened as
    std::string rack;     // the name the panel shows for it
};
// The resource after -a, or the one discovery chooses; opened through the driver.
Mainframe ConnectMainframe(CDiscovery& discovery, const Invocation& invocation);
