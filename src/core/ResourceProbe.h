#pragma once
// What discovery learns of one VISA resource without the driver: its interface and whether
// it is a mainframe, or whether it answers at all within a time-out.
#include "core/VisaEntryPoints.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a GPIB mainframe's "*IDN?" answer begins with.
constexpr const char* kIdnPrefix = "KORVALD-SYSTEMS,M772";

// True when the received reply to "*IDN?" begins with the whole prefix, byte for byte.
bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix);

struct ResourceProbe {
    std::string descriptor;
    std::optional<visa::ViUInt16> interfaceType; // nothing when it did not open cleanly
    bool mainframe = false;                      // identified as a mainframe
};
// Searches "?*INSTR" and probes each match as the search returns it; nothing when the search
// itself failed. Without identify no resource is queried: only its interface is read.
std::optional<std::vector<ResourceProbe>> ProbeResources(const visa::VisaEntryPoints& vi,
                                                         visa::ViSession rm, bool identify);

// Opens the resource and asks "*IDN?" under the time-out; the first failing status, or
// VI_SUCCESS when it answered at all (what it answered is the driver's to judge).
visa::ViStatus AnswersWithin(const visa::VisaEntryPoints& vi, visa::SetAttributeFn setAttribute,
                             visa::ViSession rm, const std::string& resource,
                             visa::ViInt32 timeOutMs);
