#pragma once
// A failed instrument call in the words every front end shares: its status by name, why it
// failed, and every error-queue entry it took off the mainframe.
#include "core/Instrument.h"

#include <string>
#include <vector>

struct FailureDescription {
    InstrumentStatus status = 0;
    std::string statusName; // "VI_ERROR_TMO", or its code where it has no name
    std::string reason;     // "ERROR_QUEUE_NOT_EMPTIED: the mainframe's error queue never ..."
    std::vector<ErrorEntry> entries; // oldest first, none left behind on the mainframe
    std::string unread;              // the status by which the rest of the queue could not be read
};

// failure's own status and entries, never a status read back. When the mainframe reported
// an entry (INSTRUMENT_ERROR_DETECTED), the rest of its queue is drained into entries; a
// drain that fails there adds what it took and names its status in unread. The reason of a status
// the driver convention names is ours; any other is the driver's text for it.
FailureDescription DescribeFailure(CInstrument& instrument, const CInstrumentException& failure);
