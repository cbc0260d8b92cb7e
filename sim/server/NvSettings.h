#pragma once

#include "server/Catalogue.h"

#include <array>
#include <string>

// The mainframe's non-volatile settings: a limit for every object code and the histogram
// time unit (17 hours, 18 minutes, 19 seconds), kept in a small text file.
class CNvSettings {
public:
    static constexpr int kHours = 17;
    static constexpr int kMinutes = 18;
    static constexpr int kSeconds = 19;

    std::array<double, CCatalogue::kObjectCodes> limits{};
    int timeUnit = kHours;

    // The factory settings: the catalogue's limits and hours.
    static CNvSettings Defaults();

    enum class LoadResult { Missing, Loaded, Damaged };
    // Reads `path` over the current values. Damaged (nothing changed, why in `error`): the
    // file cannot be read, a line is malformed, or a setting is left out, as in a file cut
    // short; every file Save writes holds them all.
    LoadResult Load(const std::string& path, std::string& error);
    // Replaces `path` atomically (WriteFileAtomically); false, why in `error`, on failure.
    bool Save(const std::string& path, std::string& error) const;
};
