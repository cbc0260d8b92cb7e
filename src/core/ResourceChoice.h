#pragma once
// The resource to open when the user named none, as the command line and the Python module
// choose it: the one mainframe the probe finds, or why there is no choice to make alone.
#include "core/Discovery.h"

#include <optional>
#include <string>
#include <vector>

struct ResourceChoice {
    std::string resource;                // the one to open; empty when there is no clear choice
    std::vector<std::string> candidates; // the accepted resources, in search order
    std::vector<std::string> unopened;   // resources that would not even open (a rack off?)
};

// Probes the resources of an open discovery (identifying each, unless acceptAny) and
// chooses as the panel does without asking.
ResourceChoice ChooseResource(const CDiscovery& discovery, bool acceptAny);

// "VXI", "GPIB", ... for a VISA interface type, its number when it has no name, "unknown"
// when the probe could not read it.
std::string InterfaceName(const std::optional<visa::ViUInt16>& type);
