#pragma once
// The racks the exporter may probe, from --config.file, and what the lab says about each.
#include "metrics/ScrapeResult.h"

#include <optional>
#include <string>
#include <vector>

struct RackConfig {
    std::string resource; // the VISA resource as probes name it, upper case
    std::string name;     // friendly label; may be empty
    std::optional<int> blowers;
    ErrorQueueUse errorQueue = ErrorQueueUse::Drain;
};

// Reads the file's "racks" list; throws CConfigError.
std::vector<RackConfig> LoadRackConfig(const std::string& path);
