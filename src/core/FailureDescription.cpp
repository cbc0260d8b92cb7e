#include "core/FailureDescription.h"

#include "core/ErrorQueue.h"
#include "core/StatusNames.h"

FailureDescription DescribeFailure(CInstrument& instrument, const CInstrumentException& failure) {
    const InstrumentStatus status = failure.Status();
    FailureDescription description{status, StatusWord(status), {}, failure.Entries(), {}};
    if (const char* ours = DriverStatusText(status)) {
        description.reason = description.statusName + ": " + ours;
    } else {
        const char* text = instrument.GetStatusText(status);
        description.reason = text != nullptr ? text : "the instrument call failed";
    }
    if (status != INSTRUMENT_ERROR_DETECTED) {
        return description;
    }
    std::vector<ErrorEntry>& entries = description.entries;
    try {
        const std::vector<ErrorEntry> rest = DrainErrorQueue(instrument);
        entries.insert(entries.end(), rest.begin(), rest.end());
    } catch (const CInstrumentException& drain) {
        entries.insert(entries.end(), drain.Entries().begin(), drain.Entries().end());
        description.unread = StatusWord(drain.Status());
    }
    return description;
}
