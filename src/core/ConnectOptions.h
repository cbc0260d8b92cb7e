#pragma once
#include "core/DriverEntryPoints.h"
#include "core/VisaEntryPoints.h"

#include <optional>

// How CDiscovery::Connect opens a resource; the defaults are the panel's.
struct ConnectOptions {
    bool reset = false;                                // the driver resets the mainframe
    visa::ViInt32 timeOutMs = ksm7720::kDriverTimeOut; // the driver's I/O time-out
    bool identify = false; // the driver checks the identity before anything else is sent
    // With identify: the resource must answer "*IDN?" within this before the driver opens
    // it, since the driver's own opening waits its own time-out on a rack that is hung.
    std::optional<visa::ViInt32> openTimeOutMs = std::nullopt;
};
