#pragma once
// Statuses in words for logs and messages: the name the VISA library or the driver gives
// a status, and its code as the VISA documents write it.
#include "core/InstrumentStatus.h"

#include <string>

// "VI_ERROR_TMO" for 0xBFFF0015: the statuses of VISA and of the driver convention this
// program meets; nullptr for any other.
const char* StatusName(InstrumentStatus status);
// The words the driver convention gives its own statuses, which a VISA library does not
// know ("parameter 1 out of range"); nullptr for any other status.
const char* DriverStatusText(InstrumentStatus status);
// The name, or the code where the status has none: "VI_ERROR_TMO", "0x3FFF0042".
std::string StatusWord(InstrumentStatus status);
// "0xBFFF0015".
std::string StatusHex(InstrumentStatus status);
