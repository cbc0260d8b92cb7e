#pragma once
// The VISA search for "?*INSTR", on its own so that every caller walks the find list alike.
#include "core/VisaEntryPoints.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Calls each with every descriptor as the search returns it, before the next is fetched;
// false when the search itself failed.
bool SearchResources(const visa::VisaEntryPoints& vi, visa::ViSession rm,
                     const std::function<void(const std::string& descriptor)>& each);
// The descriptors in search order, none of them opened; nothing when the search failed.
std::optional<std::vector<std::string>> FindResources(const visa::VisaEntryPoints& vi,
                                                      visa::ViSession rm);
