#pragma once
// The racks the exporter may probe, from --config.file, and what the lab says about each.
#include "core/ErrorQueueUse.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RackConfig {
    std::string resource; // the VISA resource as the list spells it, upper case
    std::string name;     // friendly label; may be empty
    std::optional<int> blowers;
    ErrorQueueUse errorQueue = ErrorQueueUse::Drain;
    // Without a rack list: which of the VISA search's lists the rack came from; a new
    // number whenever the list changes.
    std::optional<std::uint64_t> searchVersion;
};

// Reads the file's "racks" list, which names no rack twice (in any spelling of its
// resource); an empty list allows no rack. Throws CConfigError with the file and line.
std::vector<RackConfig> LoadRackConfig(const std::string& path);
