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

    // Reads `path` over the current values; false (and nothing changed) when the file is
    // missing or any line of it is malformed.
    bool Load(const std::string& path);
    // Writes `path` through a temporary file, so a crash never leaves half a file.
    bool Save(const std::string& path) const;
};
