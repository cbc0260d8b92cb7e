#pragma once
// Which probed resources may be connected, and which of them without asking.
#include "core/ResourceProbe.h"

#include <optional>
#include <string>
#include <vector>

// The descriptors of the accepted resources in search order: every one that opens and has
// an interface with acceptAny, the identified mainframes otherwise.
std::vector<std::string> AcceptedCandidates(const std::vector<ResourceProbe>& probes,
                                            bool acceptAny);
// The search, the probe and the acceptance in one; nothing when the search failed.
std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny);
// The candidate to connect without asking, or -1 when the user must choose.
int AutomaticChoice(const std::vector<std::string>& candidates, bool noIdentification);
